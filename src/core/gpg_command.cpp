// The shell command that decrypts the password file.
#include "core/gpg_command.h"

namespace sealkeep {

std::string escape_for_double_quotes(std::string_view text)
{
    std::string escaped;
    escaped.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '"' || c == '$' || c == '`' || c == '\\')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

std::string gpg_command(int passphrase_fd, std::string_view path)
{
    // --pinentry-mode loopback: without it GnuPG 2.1 and later ignore --passphrase-fd for a secret
    // key with a passphrase and ask the agent's pinentry instead.
    // "--" keeps a path that begins with "-" from being taken as an option (gpg would then decrypt
    // standard input and wait forever).
    // "2>&-" keeps gpg's own messages out of sight; a failed load shows as an empty tree.
    std::string command = "gpg --batch --no-tty --pinentry-mode loopback --decrypt --passphrase-fd ";
    command += std::to_string(passphrase_fd);
    command += " -- \"";
    command += escape_for_double_quotes(path);
    command += "\" 2>&-";
    return command;
}

} // namespace sealkeep
