// Faults around a load and around a command line: gpg missing or dying halfway, the file gone, a
// command that fails or never starts. Each ends with the main loop running, the tree as the load left
// it (a failed load leaves it empty), and the settings in memory, the clipboard and the search text
// as they were. Also what the window shows while a load runs.
#include "gui/gui_support.h"
#include "gui/robustness_support.h"

#include "core/entry_record.h"
#include "core/settings_values.h"
#include "ui/actions/clipboard.h"
#include "ui/actions/entry_actions.h"
#include "ui/file/load_job.h"
#include "ui/search/search_bar.h"
#include "ui/tree/entry_store.h"
#include "ui/window/main_window.h"
#include "ui/window/view_commands.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <unistd.h>

namespace sealkeep {
namespace {

const std::string LINE_A = "customer=Acme;group=;server=alpha;service=ssh;serviceplus=;user=root;password=pa\n";
const std::string LINE_B = "customer=Acme;group=;server=beta;service=ssh;serviceplus=;user=bob;password=pb\n";
const std::string LINE_C = "customer=Cut;group=;server=gamma;service=ssh;serviceplus=;user=carl;password=pc\n";

// Puts a directory first on PATH (or makes it all of PATH) while it lives.
class PathFirst {
public:
    explicit PathFirst(const std::string& dir, bool only = false) : saved_(std::getenv("PATH"))
    {
        setenv("PATH", only ? dir.c_str() : (dir + ":" + saved_).c_str(), 1);
    }
    ~PathFirst() { setenv("PATH", saved_.c_str(), 1); }

private:
    std::string saved_;
};

void write_script(const std::string& path, const std::string& body)
{
    std::ofstream(path) << "#!/bin/sh\n" << body;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

std::string real_gpg()
{
    std::string found;
    std::string path = std::getenv("PATH");
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t end = std::min(path.find(':', start), path.size());
        const std::string candidate = path.substr(start, end - start) + "/gpg";
        if (found.empty() && access(candidate.c_str(), X_OK) == 0)
            found = candidate;
        start = end + 1;
    }
    return found;
}

class Faults : public testing::Test {
protected:
    void SetUp() override
    {
        saved_settings_ = test::main_window().settings.values;
        // Something worth keeping in each place a fault could disturb: a loaded tree, a password on the
        // clipboard, a search text.
        test::load_fixture({LINE_A.substr(0, LINE_A.size() - 1)});
        copy_to_clipboard(test::main_window().clipboard, "kept on the clipboard");
        gtk_entry_set_text(search_entry(), "alpha");
        test::drain_events();
    }
    void TearDown() override
    {
        refresh_entries(test::main_window());
        test::main_window().settings.values = saved_settings_;
    }

    static GtkEntry* search_entry() { return test::main_window().search.entry; }
    static GtkTreeView* tree_view() { return test::main_window().tree.view; }

    // The main loop runs, and nothing but what the fault may change has changed.
    void expect_nothing_else_lost(const test::Untouched& expected)
    {
        EXPECT_TRUE(test::main_loop_runs());
        const test::Untouched now = test::Untouched::now();
        EXPECT_EQ(now.settings, expected.settings);
        EXPECT_EQ(now.clipboard, expected.clipboard);
        EXPECT_EQ(now.search_text, expected.search_text);
    }

    SettingsValues saved_settings_;
};

// Loads that cannot read the file end as a wrong passphrase does: an empty tree, nothing on standard
// error, and the reason in the status bar.
TEST_F(Faults, ALoadThatReadsNothingLeavesAnEmptyTreeAndSaysNothing)
{
    struct Case {
        const char* name;
        std::function<void(const test::GnupgHome&)> arrange;
    };
    std::unique_ptr<PathFirst> path;
    const Case cases[] = {
        {"gpg absent from PATH",
         [&](const test::GnupgHome& home) {
             test::main_window().settings.values.password_file_path = home.encrypt_symmetric(LINE_A, "secret");
             std::filesystem::create_directory(home.path() + "/empty");
             path = std::make_unique<PathFirst>(home.path() + "/empty", true);
         }},
        {"file deleted between Setup and the load",
         [&](const test::GnupgHome& home) {
             test::main_window().settings.values.password_file_path = home.encrypt_symmetric(LINE_A, "secret");
             std::filesystem::remove(test::main_window().settings.values.password_file_path);
         }},
        {"a folder where the file should be",
         [&](const test::GnupgHome& home) { test::main_window().settings.values.password_file_path = home.path(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::GnupgHome home;
        test::load_fixture({LINE_A.substr(0, LINE_A.size() - 1)});
        c.arrange(home);
        test::Untouched expected = test::Untouched::now();
        const test::LoadOutcome outcome = test::load_through_prompt("secret");
        path.reset();
        EXPECT_EQ(outcome.loaded, 0);
        EXPECT_EQ(outcome.errors, "");
        EXPECT_EQ(test::status_text().rfind("Not loaded:", 0), 0u) << test::status_text();
        EXPECT_TRUE(test::tree_rows().empty());
        EXPECT_TRUE(test::records().empty());
        expect_nothing_else_lost(expected);
    }
}

// gpg killed halfway through its output: nothing of what it wrote is shown, since gpg never vouched for
// it, not even the cut line on standard error; the status bar says the file was not loaded.
TEST_F(Faults, AGpgThatDiesHalfwayLeavesNothingOfWhatItWrote)
{
    test::GnupgHome home;
    test::main_window().settings.values.password_file_path =
        home.encrypt_symmetric(LINE_A + LINE_B + LINE_C + LINE_A, "secret");
    const std::size_t written = LINE_A.size() + LINE_B.size() + LINE_C.size() / 2;
    // gpg gets a standard error of its own: started without one, it says so on standard output.
    write_script(home.path() + "/gpg", "\"" + real_gpg() + "\" \"$@\" 2>/dev/null | head -c " +
                                           std::to_string(written) + "\nkill -KILL $$\n");
    const test::Untouched expected = test::Untouched::now();
    test::LoadOutcome outcome;
    {
        PathFirst path(home.path());
        outcome = test::load_through_prompt("secret");
    }
    EXPECT_EQ(outcome.loaded, 0);
    EXPECT_TRUE(test::tree_rows().empty());
    EXPECT_TRUE(test::records().empty());
    EXPECT_EQ(test::status_text().rfind("Not loaded:", 0), 0u) << test::status_text();
    EXPECT_EQ(outcome.errors, "");
    expect_nothing_else_lost(expected);
}

// A command line that fails or cannot start ends like any other: the program goes on as it was.
TEST_F(Faults, ACommandLineThatFailsOrNeverStartsChangesNothing)
{
    struct Case {
        const char* name;
        const char* ssh_template;
        void (*action)(const AccountActions&);
        bool copies_password;
    };
    const Case cases[] = {
        {"never starts, Execute", "/nonexistent/cmd", on_execute, false},
        {"never starts, Copy & Execute", "/nonexistent/cmd", on_copy_password_and_execute, true},
        {"exits with 3, Execute", "exit 3", on_execute, false},
        {"exits with 3, Copy & Execute", "exit 3", on_copy_password_and_execute, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::main_window().settings.values.ssh_cmd = c.ssh_template;
        test::load_fixture({LINE_A.substr(0, LINE_A.size() - 1), LINE_B.substr(0, LINE_B.size() - 1)});
        copy_to_clipboard(test::main_window().clipboard, "kept on the clipboard");
        // A search selects root's row (the text changes each time, or no search would run).
        gtk_entry_set_text(search_entry(), "");
        gtk_entry_set_text(search_entry(), "root");
        test::drain_events();
        ASSERT_EQ(gtk_tree_selection_count_selected_rows(gtk_tree_view_get_selection(tree_view())), 1);
        const std::vector<std::string> rows = test::tree_rows();
        test::Untouched expected = test::Untouched::now();
        ASSERT_EQ(test::records().front()->command_line(), c.ssh_template);

        c.action(test::main_window().actions);
        EXPECT_TRUE(test::wait_for_commands());

        if (c.copies_password)
            expected.clipboard = "pa";
        expect_nothing_else_lost(expected);
        EXPECT_EQ(test::tree_rows(), rows);
        EXPECT_EQ(test::main_window().tree.database_loaded, 1);
    }
}

// While gpg runs, the window keeps answering and says so: the stop button shows and the status bar names
// the file being decrypted; afterwards the button goes and the status bar gives the count. The gpg on
// PATH waits a little first, so the load is sure to be seen running.
TEST_F(Faults, ALoadShowsThatItRunsAndStopsShowingItWhenDone)
{
    test::GnupgHome home;
    test::main_window().settings.values.password_file_path = home.encrypt_symmetric(LINE_A, "secret");
    write_script(home.path() + "/gpg", "sleep 1\nexec \"" + real_gpg() + "\" \"$@\"\n");
    GtkWidget* stop = test::main_window().status.stop_button();
    PathFirst path(home.path());
    gtk_widget_show(test::main_window().prompt.panel);
    gtk_entry_set_text(test::main_window().prompt.entry, "secret");
    gtk_widget_activate(GTK_WIDGET(test::main_window().prompt.entry));
    ASSERT_TRUE(load_running(test::main_window().file));
    test::drain_events();
    EXPECT_TRUE(gtk_widget_get_visible(stop));
    EXPECT_EQ(test::status_text().rfind("Decrypting accounts.gpg", 0), 0u) << test::status_text();
    EXPECT_TRUE(test::main_loop_runs());

    ASSERT_TRUE(test::wait_for_load());
    EXPECT_FALSE(gtk_widget_get_visible(stop));
    EXPECT_EQ(test::status_text(), "1 account loaded.");
    EXPECT_EQ(test::main_window().tree.database_loaded, 1);
    // No cursor of the load's is left on the window.
    EXPECT_EQ(gdk_window_get_cursor(gtk_widget_get_window(test::main_window().window)), nullptr);
}

} // namespace
} // namespace sealkeep
