// Log in in the real window, with the real helper and socket: the launched command runs the helper the
// way ssh does (SSH_ASKPASS with the prompt as its argument), so what reaches it, what the status bar
// says about a refused password, and what Refresh and a service other than ssh do can be read here.
#include "gui_support.h"

#include "ui/actions/entry_actions.h"
#include "ui/window/view_commands.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace sealkeep {
namespace {

using test::drain_events;

class LoginTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* scratch = std::getenv("SEALKEEP_SCRATCH");
        ASSERT_NE(scratch, nullptr) << "run inside tests/harness/session.sh";
        ASSERT_FALSE(test::main_window().login.helper.empty()) << "SEALKEEP_ASKPASS names the helper";
        dir_ = std::string(scratch) + "/login-test-";
        for (const char* name : {"first", "second", "status", "env", "ftp"})
            std::remove((dir_ + name).c_str());
        saved_ = test::main_window().settings.values;
    }

    void TearDown() override
    {
        test::main_window().settings.values = saved_;
        drain_events();
    }

    // Loads the lines with these templates in force and selects the account on the first row.
    void load_and_select(const std::string& ssh_cmd, const std::string& ftp_cmd, const std::string& line)
    {
        test::main_window().settings.values.ssh_cmd = ssh_cmd;
        test::main_window().settings.values.ftp_cmd = ftp_cmd;
        ASSERT_EQ(test::load_fixture({test::record_line(line)}), 1);
        TreePathPtr path{gtk_tree_path_new_from_string("0:0:0:0:0:0")};
        gtk_tree_view_expand_to_path(test::main_window().tree.view, path.get());
        gtk_tree_view_set_cursor(test::main_window().tree.view, path.get(), nullptr, FALSE);
    }

    std::string file(const char* name) const { return test::read_file(dir_ + name).value_or("<none>"); }

    // The helper asked as ssh asks: "user@host's password: " as its one argument.
    std::string ask_into(const char* name) const
    {
        return "\"$SSH_ASKPASS\" \"%u@%h's password: \" > " + dir_ + name + " 2>/dev/null";
    }

    std::string dir_;
    SettingsValues saved_;
};

TEST_F(LoginTest, APasswordIsAnsweredOnceAndTheRefusingHostIsNamed)
{
    // ssh asks a second time when the server refused the first answer.
    load_and_select("echo \"$SSH_ASKPASS_REQUIRE\" > " + dir_ + "env; " + ask_into("first") + "; " +
                        ask_into("second") + "; echo $? > " + dir_ + "status",
                    "", "Acme;web;srv2;ssh;22;alice;pw-b");
    on_log_in(test::main_window().actions);
    ASSERT_TRUE(test::wait_for_commands());
    drain_events();
    EXPECT_EQ(file("env"), "force\n");
    EXPECT_EQ(file("first"), "pw-b\n");
    EXPECT_EQ(file("second"), "");
    EXPECT_EQ(file("status"), "1\n");
    EXPECT_EQ(test::status_text(), "srv2 refused the password of alice.");
}

// A question the helper declines is named in the status bar with the way out; the server's own text is
// never shown.
TEST_F(LoginTest, ADeclinedQuestionIsNamedWithTheWayOut)
{
    const struct {
        const char* prompt; // %u and %h as in a template
        const char* status;
    } cases[] = {
        {"The authenticity of host '%h (10.0.0.5)' can't be established.",
         "ssh asked to confirm the host key of srv2: connect once with Execute, or set "
         "StrictHostKeyChecking=accept-new."},
        {"Enter passphrase for key '/home/alice/.ssh/id_ed25519': ",
         "ssh asked for the passphrase of the key /home/alice/.ssh/id_ed25519; Log in answers only password "
         "prompts: add the key to your agent with ssh-add."},
        {"(%u@%h) Enter the code sent to you, then your password: ",
         "alice@srv2 asked a question other than the password (a one-time code, say): log in with Execute "
         "and answer it yourself."},
        {"Allow use of key?",
         "ssh asked something Log in does not answer: log in with Execute and answer it yourself."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.prompt);
        load_and_select(std::string("\"$SSH_ASKPASS\" \"") + c.prompt + "\" > " + dir_ + "first 2>/dev/null", "",
                        "Acme;web;srv2;ssh;22;alice;pw-b");
        on_log_in(test::main_window().actions);
        ASSERT_TRUE(test::wait_for_commands());
        drain_events();
        EXPECT_EQ(file("first"), "");
        EXPECT_EQ(test::status_text(), c.status);
    }
}

// A cluster Log in writes each ssh host as its account's user@host; Execute keeps the hosts alone. A user
// that is no portable user name stays out of the shell text.
TEST_F(LoginTest, AClusterLogInNamesEachHostsOwnUser)
{
    test::main_window().settings.values.cssh_cmd = "echo %h > " + dir_ + "first";
    ASSERT_EQ(test::load_fixture({test::record_line("Acme;web;srv1;ssh;;alice;pw-a"),
                                  test::record_line("Acme;web;srv2;ssh;;bob.b;pw-b"),
                                  test::record_line("Acme;web;srv3;ssh;;;pw-c"),
                                  test::record_line("Acme;web;srv4;ssh;;x y;pw-d"),
                                  test::record_line("Acme;web;srv5;ftp;;carol;pw-e")}),
              1);
    gtk_tree_view_expand_all(test::main_window().tree.view);
    GtkTreeSelection* selection = gtk_tree_view_get_selection(test::main_window().tree.view);
    gtk_tree_selection_select_all(selection);
    on_log_in(test::main_window().actions);
    ASSERT_TRUE(test::wait_for_commands());
    drain_events();
    const std::string logged_in = file("first");
    on_execute(test::main_window().actions);
    ASSERT_TRUE(test::wait_for_commands());
    EXPECT_NE(logged_in.find("alice@srv1"), std::string::npos) << logged_in;
    EXPECT_NE(logged_in.find("bob.b@srv2"), std::string::npos) << logged_in;
    EXPECT_EQ(logged_in.find("@srv3"), std::string::npos) << logged_in;
    EXPECT_EQ(logged_in.find("@srv4"), std::string::npos) << logged_in;
    EXPECT_EQ(logged_in.find("carol@"), std::string::npos) << logged_in;
    EXPECT_EQ(file("first").find('@'), std::string::npos) << "Execute: " << file("first");
}

TEST_F(LoginTest, RefreshRevokesTheTokenOfALaunchStillRunning)
{
    load_and_select("sleep 1; " + ask_into("first") + "; echo $? > " + dir_ + "status", "",
                    "Acme;web;srv2;ssh;22;alice;pw-b");
    on_log_in(test::main_window().actions);
    ASSERT_TRUE(test::wait_until([] { return test::main_window().login.resolving.empty(); }));
    drain_events();
    refresh_entries(test::main_window());
    ASSERT_TRUE(test::wait_for_commands());
    EXPECT_EQ(file("first"), "");
    EXPECT_EQ(file("status"), "1\n");
}

// A lock or Refresh while ssh is still asked how it reaches the hosts: the records are going, and the
// Log in launches nothing.
TEST_F(LoginTest, ALogInStillAskingSshLaunchesNothingAfterRefresh)
{
    load_and_select("echo launched > " + dir_ + "first", "", "Acme;web;srv2;ssh;22;alice;pw-b");
    on_log_in(test::main_window().actions);
    ASSERT_FALSE(test::main_window().login.resolving.empty());
    refresh_entries(test::main_window());
    EXPECT_TRUE(test::main_window().login.resolving.empty());
    ASSERT_TRUE(test::wait_for_commands());
    g_usleep(200000);
    drain_events();
    EXPECT_EQ(file("first"), "<none>");
}

TEST_F(LoginTest, AnotherServiceIsCopyPasswordAndExecute)
{
    load_and_select("echo ssh > " + dir_ + "ftp", "echo \"ftp %u@%h ${SSH_ASKPASS:-no helper}\" > " + dir_ + "ftp",
                    "Acme;web;srv2;ftp;21;alice;pw-ftp");
    on_log_in(test::main_window().actions);
    ASSERT_TRUE(test::wait_for_commands());
    drain_events();
    EXPECT_EQ(file("ftp"), "ftp alice@srv2 no helper\n");
    auto clipboard = test::run_beside_loop({"xclip", "-o", "-selection", "clipboard", nullptr});
    EXPECT_EQ(clipboard.value_or("<failed>"), "pw-ftp");
}

} // namespace
} // namespace sealkeep
