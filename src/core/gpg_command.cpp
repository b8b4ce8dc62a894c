// The argument vector gpg is started with to decrypt the password file.
#include "core/gpg_command.h"

namespace sealkeep {

std::vector<std::string> gpg_arguments(std::string_view program, int status_fd, int passphrase_fd,
                                       std::string_view path)
{
    // --pinentry-mode loopback: without it GnuPG 2.1 and later ignore --passphrase-fd for a secret
    // key with a passphrase and ask the agent's pinentry instead.
    // --no-symkey-cache: a symmetric passphrase that the agent kept would open the file again without
    // the passphrase being typed, so every load checks what was typed.
    // "--" keeps a path that begins with "-" from being taken as an option (gpg would then decrypt
    // standard input).
    return {std::string(program),
            "--batch",
            "--no-tty",
            "--pinentry-mode",
            "loopback",
            "--no-symkey-cache",
            "--status-fd",
            std::to_string(status_fd),
            "--passphrase-fd",
            std::to_string(passphrase_fd),
            "--decrypt",
            "--",
            std::string(path)};
}

} // namespace sealkeep
