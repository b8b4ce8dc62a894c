// Making gpg-agent forget the passphrase of the key that decrypted the password file: the commands
// that find the key's keygrip and clear its cache entry, and the reading of gpg's answer.
#pragma once

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

} // namespace sealkeep
