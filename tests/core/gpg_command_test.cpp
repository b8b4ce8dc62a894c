// The gpg command text: every file name must reach gpg whole, as a file name, and run nothing.
#include "core/gpg_command.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace sealkeep {
namespace {

TEST(GpgCommand, QuotesAndEscapesThePath)
{
    const struct {
        const char* name;
        std::string path;
        std::string command;
    } cases[] = {
        {"plain", "/home/a/.sealkeep/accounts.gpg",
         "gpg --batch --no-tty --pinentry-mode loopback --decrypt --passphrase-fd 7 -- "
         "\"/home/a/.sealkeep/accounts.gpg\" 2>&-"},
        {"blanks", "/tmp/my files/a b.gpg",
         "gpg --batch --no-tty --pinentry-mode loopback --decrypt --passphrase-fd 7 -- \"/tmp/my files/a b.gpg\" 2>&-"},
        {"double quote", "a\"b",
         "gpg --batch --no-tty --pinentry-mode loopback --decrypt --passphrase-fd 7 -- \"a\\\"b\" 2>&-"},
        {"dollar", "$HOME/x",
         "gpg --batch --no-tty --pinentry-mode loopback --decrypt --passphrase-fd 7 -- \"\\$HOME/x\" 2>&-"},
        {"backquote", "`id`",
         "gpg --batch --no-tty --pinentry-mode loopback --decrypt --passphrase-fd 7 -- \"\\`id\\`\" 2>&-"},
        {"backslash", "a\\b\\",
         "gpg --batch --no-tty --pinentry-mode loopback --decrypt --passphrase-fd 7 -- \"a\\\\b\\\\\" 2>&-"},
        // Characters that mean nothing between double quotes stay as they are.
        {"quiet characters", "'*?~!;&|<>#",
         "gpg --batch --no-tty --pinentry-mode loopback --decrypt --passphrase-fd 7 -- \"'*?~!;&|<>#\" 2>&-"},
        {"leading dash", "-n",
         "gpg --batch --no-tty --pinentry-mode loopback --decrypt --passphrase-fd 7 -- \"-n\" 2>&-"},
        {"empty", "", "gpg --batch --no-tty --pinentry-mode loopback --decrypt --passphrase-fd 7 -- \"\" 2>&-"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(gpg_command(7, c.path), c.command) << c.name;
}

TEST(GpgCommand, LongPathAndLargeDescriptorAreNotCut)
{
    const std::string path = "/" + std::string(3000, 'd') + "/x.gpg";
    const std::string command = gpg_command(123456, path);
    EXPECT_EQ(command, "gpg --batch --no-tty --pinentry-mode loopback --decrypt --passphrase-fd 123456 -- \"" + path +
                           "\" 2>&-");
}

// What the shell makes of the escaped text between double quotes is the text itself.
TEST(GpgCommand, EscapedTextReachesTheShellsCommandWhole)
{
    const std::string texts[] = {
        "a b", "q\"uote", "$HOME", "${PATH}", "`echo ran`", "$(echo ran)", "back\\slash", "trailing\\",
        "\\\"", "\\$", "new\nline", "'single'", "-n", "~/tilde", "*.gpg", "caf\xe9",
    };
    for (const auto& text : texts) {
        const std::string command = "printf '%s' \"" + escape_for_double_quotes(text) + "\"";
        FILE* shell = popen(command.c_str(), "r");
        ASSERT_NE(shell, nullptr);
        std::string output;
        char buffer[256];
        std::size_t got;
        while ((got = fread(buffer, 1, sizeof buffer, shell)) > 0)
            output.append(buffer, got);
        EXPECT_EQ(pclose(shell), 0) << text;
        EXPECT_EQ(output, text);
    }
}

} // namespace
} // namespace sealkeep
