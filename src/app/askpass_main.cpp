// sealkeep-askpass: the program that ssh runs for a password when Sealkeep's Log in started it
// (SSH_ASKPASS with SSH_ASKPASS_REQUIRE=force). It prints the password for ssh's own password prompt
// when the running Sealkeep gives one for this launch's token, and declines everything else: a host
// key to confirm, a key's passphrase, a second factor. Declining is an exit status other than 0 with
// nothing printed; ssh then treats the question as unanswered.
#include "core/login_client.h"
#include "core/login_protocol.h"
#include "core/text_encoding.h"

#include <libintl.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

// The program's messages come from the same catalogue as Sealkeep's, without GLib.
#define _(text) dgettext(TEXT_DOMAIN, text)

namespace {

constexpr const char* TEXT_DOMAIN = "sealkeep";

int decline(const char* message)
{
    std::fprintf(stderr, "sealkeep-askpass: %s\n", message);
    return 1;
}

bool write_all(int fd, const std::string& bytes)
{
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
        if (n <= 0)
            return false;
        written += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    std::setlocale(LC_ALL, "");
    bindtextdomain(TEXT_DOMAIN, SEALKEEP_LOCALE_DIR);
    bind_textdomain_codeset(TEXT_DOMAIN, "UTF-8");

    // "none" only announces a security key to touch; ssh ends the helper itself when it is touched.
    const char* hint = std::getenv("SSH_ASKPASS_PROMPT");
    if (hint && std::strcmp(hint, "none") == 0)
        return 0;
    if (hint && std::strcmp(hint, "confirm") == 0)
        return decline(_("Sealkeep does not confirm questions for ssh; declined."));

    const char* socket_path = std::getenv(sealkeep::LOGIN_SOCKET_VARIABLE);
    const char* token = std::getenv(sealkeep::LOGIN_TOKEN_VARIABLE);
    if (argc != 2 || !socket_path || !token)
        return decline(_("This program answers ssh for Sealkeep's Log in only."));

    // Only a password prompt can get a password; Sealkeep checks it again.
    const std::string prompt = argv[1];
    if (!sealkeep::parse_password_prompt(prompt)) {
        // Sealkeep is told which question it was (its first line: ssh's words that name it), so that
        // its status bar can say the way out. A first line that would read as a password prompt on its
        // own is not sent: nothing may spend an account's one answer on a question declined here.
        const std::string first_line = prompt.substr(0, prompt.find('\n'));
        if (!sealkeep::parse_password_prompt(first_line))
            if (std::optional<std::string> answer = sealkeep::ask_for_login_password(socket_path, token, first_line))
                sealkeep::scrub(*answer);
        return decline(_("Not ssh's password prompt; Sealkeep leaves it unanswered."));
    }

    std::optional<std::string> password = sealkeep::ask_for_login_password(socket_path, token, prompt);
    if (!password)
        return decline(_("Sealkeep gave no password for this prompt."));
    password->push_back('\n');
    const bool written = write_all(STDOUT_FILENO, *password);
    sealkeep::scrub(*password);
    return written ? 0 : 1;
}
