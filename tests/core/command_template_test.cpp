// Command templates: selection by service name, placeholder expansion, the cluster line, and the
// limits on a line handed to /bin/sh (checked against the real kernel).
#include "core/command_template.h"
#include "core/settings_values.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sealkeep {
namespace {

enum class Via { ServiceName, Cluster };

struct TemplateCase {
    const char* what;
    Via via;
    // Service cases: the template the name must select (nullptr: none), and the name.
    std::string SettingsValues::*selected;
    const char* service;
    std::string tmpl;
    std::string host;
    std::string serviceplus;
    std::string user;
    std::string expected;
};

TEST(CommandTemplateTable, SelectsAndExpands)
{
    // Every template that a case does not select holds a marker, so a wrong selection shows as
    // the marker in the result.
    const TemplateCase cases[] = {
        // Selection: the name is a case-blind prefix of the template's name, first row winning.
        {"ssh", Via::ServiceName, &SettingsValues::ssh_cmd, "ssh", "%h", "h", "", "", "h"},
        {"SSH", Via::ServiceName, &SettingsValues::ssh_cmd, "SSH", "%h", "h", "", "", "h"},
        {"S", Via::ServiceName, &SettingsValues::ssh_cmd, "S", "%h", "h", "", "", "h"},
        {"empty name selects the first row", Via::ServiceName, &SettingsValues::ssh_cmd, "", "%h", "h", "", "", "h"},
        {"ftp", Via::ServiceName, &SettingsValues::ftp_cmd, "ftp", "%h", "h", "", "", "h"},
        {"F", Via::ServiceName, &SettingsValues::ftp_cmd, "F", "%h", "h", "", "", "h"},
        {"http", Via::ServiceName, &SettingsValues::http_cmd, "http", "%h", "h", "", "", "h"},
        {"HTTP", Via::ServiceName, &SettingsValues::http_cmd, "HTTP", "%h", "h", "", "", "h"},
        {"ht", Via::ServiceName, &SettingsValues::http_cmd, "ht", "%h", "h", "", "", "h"},
        {"telnet", Via::ServiceName, &SettingsValues::telnet_cmd, "telnet", "%h", "h", "", "", "h"},
        {"Tel", Via::ServiceName, &SettingsValues::telnet_cmd, "Tel", "%h", "h", "", "", "h"},
        {"t", Via::ServiceName, &SettingsValues::telnet_cmd, "t", "%h", "h", "", "", "h"},
        // A name longer than the template's never matches, although the template's name begins it.
        {"https", Via::ServiceName, nullptr, "https", "", "h", "", "", ""},
        {"sshd", Via::ServiceName, nullptr, "sshd", "", "h", "", "", ""},
        {"sftp", Via::ServiceName, nullptr, "sftp", "", "h", "", "", ""},
        {"rdp", Via::ServiceName, nullptr, "rdp", "", "h", "", "", ""},
        {"trailing blank", Via::ServiceName, nullptr, "ssh ", "", "h", "", "", ""},

        // Expansion of a service template.
        {"the ssh example", Via::ServiceName, &SettingsValues::ssh_cmd, "ssh", "ssh -l %u -p %s %h", "srv1", "22",
         "root", "ssh -l root -p 22 srv1"},
        {"trailing percent stays", Via::ServiceName, &SettingsValues::ssh_cmd, "ssh", "100%", "h", "", "", "100%"},
        // The host differs from the letter, so "%" followed by the host would show.
        {"double percent is one", Via::ServiceName, &SettingsValues::ssh_cmd, "ssh", "%%h", "srv", "", "", "%h"},
        {"unknown letter", Via::ServiceName, &SettingsValues::ssh_cmd, "ssh", "%x", "h", "", "", "%"},
        {"capital letter is unknown", Via::ServiceName, &SettingsValues::ssh_cmd, "ssh", "%H", "h", "", "", "%"},
        {"unknown letter inside", Via::ServiceName, &SettingsValues::ssh_cmd, "ssh", "a%xb", "h", "", "", "a%b"},
        {"value is not scanned again", Via::ServiceName, &SettingsValues::ssh_cmd, "ssh", "%u", "h", "", "a%hb",
         "a%hb"},
        {"values go in unquoted", Via::ServiceName, &SettingsValues::ftp_cmd, "ftp", "ftp %h %u", "x y", "", "$(id);|",
         "ftp x y $(id);|"},
        {"empty service template", Via::ServiceName, &SettingsValues::telnet_cmd, "telnet", "", "h", "p", "u", ""},
        {"multi-byte characters pass", Via::ServiceName, &SettingsValues::http_cmd, "http", "\xc3\xa9%h\xe2\x82\xac",
         "h", "", "", "\xc3\xa9h\xe2\x82\xac"},
        // A percent before a multi-byte character drops the whole character, not just its first
        // byte: otherwise the continuation bytes would be left as invalid text.
        {"percent before multi-byte", Via::ServiceName, &SettingsValues::ssh_cmd, "ssh", "a%\xc3\xa9z", "h", "", "",
         "a%z"},
        {"percent before euro sign", Via::ServiceName, &SettingsValues::ssh_cmd, "ssh", "%\xe2\x82\xac", "h", "", "",
         "%"},
        // Not UTF-8 at all: one byte goes, as for any other letter.
        {"percent before stray byte", Via::ServiceName, &SettingsValues::ssh_cmd, "ssh", "%\xa9z", "h", "", "", "%z"},

        // The cluster template knows only %h; the host list begins with a blank.
        {"cluster glued", Via::Cluster, nullptr, nullptr, "cssh%h", " a b", "", "", "cssh a b"},
        {"cluster two blanks", Via::Cluster, nullptr, nullptr, "cssh %h", " a b", "", "", "cssh  a b"},
        {"cluster %u is unknown", Via::Cluster, nullptr, nullptr, "cssh %h %u", " a b", "", "", "cssh  a b %"},
        {"cluster %s is unknown", Via::Cluster, nullptr, nullptr, "%s%h", " a", "", "", "% a"},
        {"cluster empty host list", Via::Cluster, nullptr, nullptr, "cssh %h", "", "", "", "cssh "},
        {"cluster empty template", Via::Cluster, nullptr, nullptr, "", " a", "", "", ""},
    };

    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.via == Via::Cluster) {
            EXPECT_EQ(expand_template(c.tmpl, TemplateKind::Cluster, c.host), c.expected);
            continue;
        }
        SettingsValues templates;
        templates.password_file_path = "<file>";
        templates.ssh_cmd = "<ssh>";
        templates.ftp_cmd = "<ftp>";
        templates.http_cmd = "<http>";
        templates.telnet_cmd = "<telnet>";
        templates.cssh_cmd = "<cssh %h>";
        if (c.selected)
            templates.*c.selected = c.tmpl;
        EXPECT_EQ(select_service_template(templates, c.service), c.selected ? &(templates.*c.selected) : nullptr);
        EXPECT_EQ(expand_service_command(templates, c.service, c.host, c.serviceplus, c.user), c.expected);
    }
}

TEST(ClusterLine, ExpandsTheClusterTemplateOfTheValuesGiven)
{
    struct LineCase {
        const char* what;
        std::string tmpl;
        std::string host_list;
        std::string expected;
    };
    const LineCase cases[] = {
        {"host list as given", "cssh%h", " a b", "cssh a b"},
        {"empty host list", "echo [%h]", "", "echo []"},
        {"hosts go in unquoted", "printf '%%s'%h", " $((40+2))", "printf '%s' $((40+2))"},
        {"empty template", "", " a", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // Every other value holds a marker, so expanding the wrong one shows.
        SettingsValues templates;
        templates.password_file_path = "<file %h>";
        templates.ssh_cmd = "<ssh %h>";
        templates.cssh_cmd = c.tmpl;
        templates.ftp_cmd = "<ftp %h>";
        templates.telnet_cmd = "<telnet %h>";
        templates.http_cmd = "<http %h>";
        EXPECT_EQ(expand_cluster_command(templates, c.host_list), c.expected);
    }
}

// What /bin/sh -c LINE costs the kernel beyond LINE: both copies of "/bin/sh", "-c", LINE's NUL, and
// four pointers (three arguments and the environment's one entry).
constexpr std::size_t FIXED_COST = 8 + 8 + 3 + 1 + 4 * sizeof(char*);

TEST(FitsOneArgument, LimitsOnOneArgumentAndOnTheWhole)
{
    const std::size_t one = max_argument_bytes();
    ASSERT_EQ(one, 32 * static_cast<std::size_t>(sysconf(_SC_PAGESIZE)));
    const std::vector<std::string> environment = {"HOME=/h"}; // 8 bytes with its NUL
    const std::size_t roomy = 64 * one;
    struct FitCase {
        const char* what;
        std::size_t line_bytes;
        std::size_t arg_max;
        bool fits;
    };
    const FitCase cases[] = {
        {"empty line", 0, roomy, true},
        {"line and NUL exactly one argument's limit", one - 1, roomy, true},
        {"one byte over one argument's limit", one, roomy, false},
        {"far over one argument's limit", 4 * one, roomy, false},
        {"whole exactly at the limit", 1000, 1000 + FIXED_COST + 8, true},
        {"whole one byte over the limit", 1001, 1000 + FIXED_COST + 8, false},
        {"the environment alone is too big", 0, FIXED_COST, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(fits_one_argument(std::string(c.line_bytes, 'x'), environment, c.arg_max), c.fits);
    }
}

// The kernel agrees at the boundary of one argument: the longest line that fits really starts, one
// byte more is refused with E2BIG. Both runs use this process's environment and limits.
TEST(FitsOneArgument, AgreesWithTheKernel)
{
    const std::size_t one = max_argument_bytes();
    for (std::size_t line_bytes : {one - 1, one}) {
        SCOPED_TRACE(line_bytes);
        // ":" ignores its arguments, so the longest line is a harmless command.
        std::string line = ": " + std::string(line_bytes - 2, 'x');
        const bool fits = fits_one_argument(line);
        int status_pipe[2];
        ASSERT_EQ(pipe2(status_pipe, O_CLOEXEC), 0);
        pid_t pid = fork();
        ASSERT_NE(pid, -1);
        if (pid == 0) {
            char* argv[] = {const_cast<char*>("/bin/sh"), const_cast<char*>("-c"), line.data(), nullptr};
            execve("/bin/sh", argv, environ);
            int error = errno;
            [[maybe_unused]] ssize_t written = write(status_pipe[1], &error, sizeof error);
            _exit(127);
        }
        close(status_pipe[1]);
        int exec_error = 0;
        const bool exec_failed = read(status_pipe[0], &exec_error, sizeof exec_error) == sizeof exec_error;
        close(status_pipe[0]);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_EQ(fits, line_bytes == one - 1);
        if (fits) {
            EXPECT_FALSE(exec_failed) << exec_error;
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        } else {
            EXPECT_TRUE(exec_failed);
            EXPECT_EQ(exec_error, E2BIG);
        }
    }
}

} // namespace
} // namespace sealkeep
