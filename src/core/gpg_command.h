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

} // namespace sealkeep
