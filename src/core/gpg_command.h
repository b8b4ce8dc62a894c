// The argument vector gpg is started with to decrypt the password file (no shell is involved).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sealkeep {

// gpg reads the passphrase from passphrase_fd, reports its progress on status_fd and writes the
// plaintext to standard output. The path is one argument, after "--", exactly as given.
std::vector<std::string> gpg_arguments(std::string_view program, int status_fd, int passphrase_fd,
                                       std::string_view path);

// gpg encrypts its standard input to its standard output: with the passphrase read from passphrase_fd
// when `symmetric`, and to each recipient (a key id or fingerprint) as well when there are any. The
// user's own default recipients (encrypt-to in gpg.conf) are left out: the file goes to exactly these.
std::vector<std::string> gpg_encrypt_arguments(std::string_view program, int status_fd, int passphrase_fd,
                                               bool symmetric, const std::vector<std::string>& recipients);

} // namespace sealkeep
