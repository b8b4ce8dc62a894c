// Command templates: selection by service name, placeholder expansion, and the cluster command run
// through the real shell.
#include "core/settings_values.h"
#include "core/command_template.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdlib.h>

namespace sealkeep {
namespace {

// Saves the five templates and puts them back, so no case leaks into the next.
class TemplatesTest : public testing::Test {
protected:
    void SetUp() override { saved_ = {ssh_cmd, cssh_cmd, ftp_cmd, telnet_cmd, http_cmd}; }
    void TearDown() override
    {
        ssh_cmd = saved_[0];
        cssh_cmd = saved_[1];
        ftp_cmd = saved_[2];
        telnet_cmd = saved_[3];
        http_cmd = saved_[4];
    }

private:
    std::array<std::string, 5> saved_;
};

enum class Via { ServiceName, Cluster };

struct TemplateCase {
    const char* what;
    Via via;
    // Service cases: the template the name must select (nullptr: none), and the name.
    std::string* selected;
    const char* service;
    std::string tmpl;
    std::string host;
    std::string serviceplus;
    std::string user;
    std::string expected;
};

using CommandTemplateTable = TemplatesTest;

TEST_F(CommandTemplateTable, SelectsAndExpands)
{
    // Every template that a case does not select holds a marker, so a wrong selection shows as
    // the marker in the result.
    const TemplateCase cases[] = {
        // Selection: the name is a case-blind prefix of the template's name, first row winning.
        {"ssh", Via::ServiceName, &ssh_cmd, "ssh", "%h", "h", "", "", "h"},
        {"SSH", Via::ServiceName, &ssh_cmd, "SSH", "%h", "h", "", "", "h"},
        {"S", Via::ServiceName, &ssh_cmd, "S", "%h", "h", "", "", "h"},
        {"empty name selects the first row", Via::ServiceName, &ssh_cmd, "", "%h", "h", "", "", "h"},
        {"ftp", Via::ServiceName, &ftp_cmd, "ftp", "%h", "h", "", "", "h"},
        {"F", Via::ServiceName, &ftp_cmd, "F", "%h", "h", "", "", "h"},
        {"http", Via::ServiceName, &http_cmd, "http", "%h", "h", "", "", "h"},
        {"HTTP", Via::ServiceName, &http_cmd, "HTTP", "%h", "h", "", "", "h"},
        {"ht", Via::ServiceName, &http_cmd, "ht", "%h", "h", "", "", "h"},
        {"telnet", Via::ServiceName, &telnet_cmd, "telnet", "%h", "h", "", "", "h"},
        {"Tel", Via::ServiceName, &telnet_cmd, "Tel", "%h", "h", "", "", "h"},
        {"t", Via::ServiceName, &telnet_cmd, "t", "%h", "h", "", "", "h"},
        // A name longer than the template's never matches, although the template's name begins it.
        {"https", Via::ServiceName, nullptr, "https", "", "h", "", "", ""},
        {"sshd", Via::ServiceName, nullptr, "sshd", "", "h", "", "", ""},
        {"sftp", Via::ServiceName, nullptr, "sftp", "", "h", "", "", ""},
        {"rdp", Via::ServiceName, nullptr, "rdp", "", "h", "", "", ""},
        {"trailing blank", Via::ServiceName, nullptr, "ssh ", "", "h", "", "", ""},

        // Expansion of a service template.
        {"the ssh example", Via::ServiceName, &ssh_cmd, "ssh", "ssh -l %u -p %s %h", "srv1", "22", "root",
         "ssh -l root -p 22 srv1"},
        {"trailing percent stays", Via::ServiceName, &ssh_cmd, "ssh", "100%", "h", "", "", "100%"},
        // The host differs from the letter, so "%" followed by the host would show.
        {"double percent is one", Via::ServiceName, &ssh_cmd, "ssh", "%%h", "srv", "", "", "%h"},
        {"unknown letter", Via::ServiceName, &ssh_cmd, "ssh", "%x", "h", "", "", "%"},
        {"capital letter is unknown", Via::ServiceName, &ssh_cmd, "ssh", "%H", "h", "", "", "%"},
        {"unknown letter inside", Via::ServiceName, &ssh_cmd, "ssh", "a%xb", "h", "", "", "a%b"},
        {"value is not scanned again", Via::ServiceName, &ssh_cmd, "ssh", "%u", "h", "", "a%hb", "a%hb"},
        {"values go in unquoted", Via::ServiceName, &ftp_cmd, "ftp", "ftp %h %u", "x y", "", "$(id);|",
         "ftp x y $(id);|"},
        {"empty service template", Via::ServiceName, &telnet_cmd, "telnet", "", "h", "p", "u", ""},
        {"multi-byte characters pass", Via::ServiceName, &http_cmd, "http", "\xc3\xa9%h\xe2\x82\xac", "h", "", "",
         "\xc3\xa9h\xe2\x82\xac"},
        // A percent before a multi-byte character drops the whole character, not just its first
        // byte: otherwise the continuation bytes would be left as invalid text.
        {"percent before multi-byte", Via::ServiceName, &ssh_cmd, "ssh", "a%\xc3\xa9z", "h", "", "", "a%z"},
        {"percent before euro sign", Via::ServiceName, &ssh_cmd, "ssh", "%\xe2\x82\xac", "h", "", "", "%"},
        // Not UTF-8 at all: one byte goes, as for any other letter.
        {"percent before stray byte", Via::ServiceName, &ssh_cmd, "ssh", "%\xa9z", "h", "", "", "%z"},

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
        ssh_cmd = "<ssh>";
        ftp_cmd = "<ftp>";
        http_cmd = "<http>";
        telnet_cmd = "<telnet>";
        cssh_cmd = "<cssh %h>";
        if (c.selected)
            *c.selected = c.tmpl;
        EXPECT_EQ(select_service_template(c.service), c.selected);
        EXPECT_EQ(expand_service_command(c.service, c.host, c.serviceplus, c.user), c.expected);
    }
}

// A temporary folder that goes with the test.
class TempDir {
public:
    TempDir()
    {
        char name[] = "/tmp/skct.XXXXXX";
        path_ = mkdtemp(name);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string file(const char* name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

using ClusterRun = TemplatesTest;

TEST_F(ClusterRun, ShellRunsTheExpandedLineAndIsAwaited)
{
    TempDir dir;
    const std::string out = dir.file("out");
    struct RunCase {
        const char* what;
        std::string tmpl;
        std::string host_list;
        std::string expected;
    };
    // "%%s" is how a cluster template writes printf's own "%s".
    const RunCase cases[] = {
        {"host list as given", "printf '%%s' \"%h\" > " + out, " a b", " a b"},
        {"empty host list still runs", "echo \"[%h]\" > " + out, "", "[]\n"},
        {"hosts reach the shell unquoted", "printf '%%s' %h > " + out, " $((40+2))", "42"},
        // No "&" is added: the call returns only when the command has ended.
        {"waits for the command", "sleep 0.3; printf '%%s' \"done%h\" > " + out, " x", "done x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(out);
        // The template is read at every run, so this one applies at once.
        cssh_cmd = c.tmpl;
        expand_cluster_command(c.host_list);
        EXPECT_EQ(read_file(out), c.expected);
    }

    // An empty template hands an empty line to the shell, which runs nothing; the call still returns.
    std::filesystem::remove(out);
    cssh_cmd.clear();
    expand_cluster_command(" a");
    EXPECT_FALSE(std::filesystem::exists(out));
}

} // namespace
} // namespace sealkeep
