// The shell command that decrypts the password file.
#pragma once

#include <string>
#include <string_view>

namespace sealkeep {

// Escapes the four characters that keep their meaning inside double quotes: " $ ` and backslash.
std::string escape_for_double_quotes(std::string_view text);

// The command text handed to the shell: gpg reads the passphrase from passphrase_fd and writes
// the plaintext to standard output; the path is quoted and escaped, and follows "--".
std::string gpg_command(int passphrase_fd, std::string_view path);

} // namespace sealkeep
