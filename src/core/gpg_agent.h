// Making gpg-agent forget the passphrase of the key that decrypted the password file: the commands
// that find the key's keygrip and clear its cache entry, and the reading of gpg's answer.
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace sealkeep {

// gpg lists the secret key with this fingerprint with its keygrips, in colon format.
std::vector<std::string> keygrip_query_arguments(std::string_view gpg_program, std::string_view fingerprint);

// The keygrip of the (sub)key with this fingerprint in gpg's colon listing ("fpr" then "grp" records
// follow each "sec" or "ssb" record); empty when it is not there or not a keygrip.
std::string keygrip_of(std::string_view colon_listing, std::string_view fingerprint);

// gpg-connect-agent clears the agent's cached passphrase of this keygrip alone; other keys stay cached.
std::vector<std::string> clear_passphrase_arguments(std::string_view keygrip);

// gpg names the keys a file is encrypted to (ENC_TO on its status output) without decrypting anything.
std::vector<std::string> recipient_query_arguments(std::string_view gpg_program, std::string_view path);

// The long key ids of the ENC_TO lines of gpg's status output, each once; hex only.
std::vector<std::string> encrypted_to_key_ids(std::string_view status);

// The keygrips of the (sub)keys whose fingerprints end in one of these long key ids, from gpg's colon
// listing of secret keys.
std::vector<std::string> keygrips_of_key_ids(std::string_view colon_listing, const std::vector<std::string>& key_ids);

// Before a decryption: the agent forgets the cached passphrases of the secret keys the file is encrypted
// to, so that the passphrase given to this load is the one checked, whatever another program (a terminal
// gpg) left in the agent's cache meanwhile. Runs gpg and gpg-connect-agent on the calling thread, each
// bounded by `timeout`; a file without such keys (symmetric), no agent or a failing step costs one gpg run
// and changes nothing. `stop` (a cancelled load) ends it early.
void forget_file_keys(std::string_view gpg_program, const std::string& path, std::chrono::milliseconds timeout,
                      const std::atomic<bool>* stop = nullptr);

} // namespace sealkeep
