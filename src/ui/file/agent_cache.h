// Making gpg-agent forget the passphrase of the key that decrypted the password file, so that the next
// load (an unlock among them) checks what was typed instead of taking the agent's cached copy.
#pragma once

#include <functional>
#include <string>

namespace sealkeep {

// Looks up the keygrip of the (sub)key with this fingerprint and clears the agent's cache entry of it
// alone, through gpg and gpg-connect-agent run beside the main loop; returns at once. `done` runs on
// the main thread when both have ended or one could not run.
void forget_key_passphrase(const std::string& fingerprint, std::function<void()> done = {});

} // namespace sealkeep
