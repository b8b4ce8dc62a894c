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

std::vector<std::string> gpg_encrypt_arguments(std::string_view program, int status_fd, int passphrase_fd,
                                               bool symmetric, const std::vector<std::string>& recipients)
{
    std::vector<std::string> arguments{std::string(program), "--batch", "--no-tty", "--yes", "--status-fd",
                                       std::to_string(status_fd), "--no-encrypt-to", "--output", "-"};
    if (symmetric) {
        // --no-symkey-cache: the agent must not keep the passphrase for a later load to find.
        for (const char* argument : {"--pinentry-mode", "loopback", "--no-symkey-cache", "--passphrase-fd"})
            arguments.emplace_back(argument);
        arguments.push_back(std::to_string(passphrase_fd));
        arguments.emplace_back("--symmetric");
    }
    if (!recipients.empty()) {
        // The file was encrypted to these keys already: whether the user certified them is not asked
        // again. gpg still refuses a key that is missing, expired, revoked or cannot encrypt.
        arguments.emplace_back("--trust-model");
        arguments.emplace_back("always");
        arguments.emplace_back("--encrypt");
        for (const std::string& recipient : recipients) {
            arguments.emplace_back("--recipient");
            arguments.push_back(recipient);
        }
    }
    return arguments;
}

} // namespace sealkeep
