// The four entry actions on a real loaded tree: what reaches CLIPBOARD and PRIMARY (read back through
// the toolkit and through xclip) and what the shell really runs.
#include "core/entry_record.h"
#include "core/settings_values.h"
#include "gui/gui_support.h"
#include "ui/actions/entry_actions.h"
#include "ui/glib_ptr.h"
#include "ui/tree/entry_store.h"
#include "ui/window/document_events.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdlib.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace sealkeep {
namespace {

// Every command writes what it was given to $OUT, so the test sees the exact line the shell ran.
// "%%s" is how a template writes printf's own "%s".
constexpr const char* SSH_TEMPLATE = "printf '%%s' \"ssh %u@%h:%s\" > \"$OUT\"";
constexpr const char* FTP_TEMPLATE = "printf '%%s' \"ftp %u@%h:%s\" > \"$OUT\"";
constexpr const char* CSSH_TEMPLATE = "printf '%%s' \"cssh%h\" > \"$OUT\"";
// Asks for the clipboard while the command runs: the request goes to whoever owns CLIPBOARD at that
// moment, and we answer from the main loop, which keeps running while the command does.
constexpr const char* HTTP_TEMPLATE = "timeout 5 xclip -o -selection clipboard > \"$OUT\" & sleep 1";

// Paths of the fixture's rows once loaded (the tree is fully expanded before selecting):
constexpr const char* ACME = "0";          // customer, no record
constexpr const char* ALPHA = "0:0";       // server with root's ssh shortcut
constexpr const char* ROOT = "0:0:0:0";    // alpha / ssh / root
constexpr const char* BOB = "0:0:0:1";     // alpha / ssh / bob
constexpr const char* CAROL = "0:1:0:0:0"; // beta / ftp / 21 / carol, Latin-1 password
constexpr const char* GAMMA = "0:2";       // server without shortcut
constexpr const char* DAVE = "0:2:0:0";    // gamma / rdp / dave: no template, empty password
constexpr const char* ADMIN = "1:0:0:0";   // www / http / admin

const std::vector<std::string> FIXTURE = {
    "customer=Acme;group=;server=alpha;service=ssh;serviceplus=;user=root;password=rootpw",
    "customer=Acme;group=;server=alpha;service=ssh;serviceplus=;user=bob;password=bobpw",
    "customer=Acme;group=;server=beta;service=ftp;serviceplus=21;user=carol;password=b\351b",
    "customer=Acme;group=;server=gamma;service=rdp;serviceplus=;user=dave;password=",
    "customer=Web;group=;server=www;service=http;serviceplus=;user=admin;password=webpw",
};

const std::string ROOT_LINE = "printf '%s' \"ssh root@alpha:\" > \"$OUT\"";
const std::string BOB_LINE = "printf '%s' \"ssh bob@alpha:\" > \"$OUT\"";
constexpr const char* SENTINEL = "held before";
constexpr std::nullopt_t NOTHING_RAN = std::nullopt;

std::string clipboard_text(GdkAtom selection)
{
    GCharPtr text{gtk_clipboard_wait_for_text(gtk_clipboard_get(selection))};
    return text ? text.get() : "<empty>";
}

// Runs xclip -o and keeps the main loop running meanwhile: xclip asks this very process for the
// selection, and we can answer only from the loop. nullopt when xclip failed.
std::optional<std::string> xclip_output(const char* selection, const char* target)
{
    return test::run_beside_loop({"timeout", "5", "xclip", "-o", "-selection", selection, "-t", target});
}

class EntryActions : public testing::Test {
protected:
    void SetUp() override
    {
        saved_ = {test::main_window().settings.values.ssh_cmd, test::main_window().settings.values.cssh_cmd,
                  test::main_window().settings.values.ftp_cmd, test::main_window().settings.values.telnet_cmd,
                  test::main_window().settings.values.http_cmd};
        char name[] = "/tmp/skea.XXXXXX";
        dir_ = mkdtemp(name);
        out_ = (dir_ / "out").string();
        // Commands see the startup environment, not ours: OUT goes there.
        out_variable_.emplace("OUT", out_);
        // Command lines are expanded while loading, so the templates go in first.
        test::main_window().settings.values.ssh_cmd = SSH_TEMPLATE;
        test::main_window().settings.values.ftp_cmd = FTP_TEMPLATE;
        test::main_window().settings.values.http_cmd = HTTP_TEMPLATE;
        test::main_window().settings.values.cssh_cmd = CSSH_TEMPLATE;
        ASSERT_EQ(test::load_fixture(FIXTURE), 1);
        gtk_tree_view_expand_all(test::main_window().tree.view);
        test::drain_events();
    }

    void TearDown() override
    {
        gtk_tree_selection_unselect_all(gtk_tree_view_get_selection(test::main_window().tree.view));
        clear_document(test::main_window());
        test::main_window().settings.values.ssh_cmd = saved_[0];
        test::main_window().settings.values.cssh_cmd = saved_[1];
        test::main_window().settings.values.ftp_cmd = saved_[2];
        test::main_window().settings.values.telnet_cmd = saved_[3];
        test::main_window().settings.values.http_cmd = saved_[4];
        out_variable_.reset();
        std::filesystem::remove_all(dir_);
    }

    static void select_rows(const std::vector<const char*>& paths)
    {
        GtkTreeSelection* selection = gtk_tree_view_get_selection(test::main_window().tree.view);
        gtk_tree_selection_unselect_all(selection);
        for (const char* path : paths) {
            TreePathPtr tree_path{gtk_tree_path_new_from_string(path)};
            gtk_tree_selection_select_path(selection, tree_path.get());
        }
        ASSERT_EQ(gtk_tree_selection_count_selected_rows(selection), static_cast<gint>(paths.size()));
    }

    // Both selections hold a value of our own, so "nothing copied" shows as that value kept.
    static void seed_selections()
    {
        gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), SENTINEL, -1);
        gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_PRIMARY), SENTINEL, -1);
        test::drain_events();
    }

    std::optional<std::string> ran() const { return test::read_file(out_); }

    std::filesystem::path dir_;
    std::string out_;

private:
    std::optional<test::StartupVariable> out_variable_;
    std::array<std::string, 5> saved_;
};

enum class Loaded { Yes, No };

struct ActionCase {
    const char* what;
    void (*action)(const AccountActions&);
    Loaded loaded;
    std::vector<const char*> rows;
    std::string clipboard;              // SENTINEL when nothing is copied
    std::optional<std::string> command; // what the shell wrote to $OUT
};

TEST_F(EntryActions, CopyAndRunWhatTheSelectionSays)
{
    const auto COPY_LINE = on_copy_command_line;
    const auto COPY_PASSWORD = on_copy_password;
    const auto COPY_RUN = on_copy_password_and_execute;
    const auto EXECUTE = on_execute;
    const auto YES = Loaded::Yes;
    const auto NO = Loaded::No;
    // clang-format off
    const ActionCase cases[] = {
        // Copy command line: the top-most selected row alone.
        {"line: nothing loaded", COPY_LINE, NO, {ROOT}, SENTINEL, NOTHING_RAN},
        {"line: nothing selected", COPY_LINE, YES, {}, SENTINEL, NOTHING_RAN},
        {"line: row without record", COPY_LINE, YES, {ACME}, SENTINEL, NOTHING_RAN},
        {"line: one row", COPY_LINE, YES, {ROOT}, ROOT_LINE, NOTHING_RAN},
        {"line: root shortcut", COPY_LINE, YES, {ALPHA}, ROOT_LINE, NOTHING_RAN},
        {"line: top-most of several", COPY_LINE, YES, {BOB, CAROL}, BOB_LINE, NOTHING_RAN},
        // The top row has no record: nothing is copied although a lower row has one.
        {"line: top row without record", COPY_LINE, YES, {ACME, ROOT}, SENTINEL, NOTHING_RAN},
        // No template for rdp: the empty command line leaves the clipboard as it was.
        {"line: empty command line", COPY_LINE, YES, {DAVE}, SENTINEL, NOTHING_RAN},

        {"password: nothing loaded", COPY_PASSWORD, NO, {ROOT}, SENTINEL, NOTHING_RAN},
        {"password: nothing selected", COPY_PASSWORD, YES, {}, SENTINEL, NOTHING_RAN},
        {"password: row without record", COPY_PASSWORD, YES, {GAMMA}, SENTINEL, NOTHING_RAN},
        {"password: one row", COPY_PASSWORD, YES, {BOB}, "bobpw", NOTHING_RAN},
        {"password: root shortcut", COPY_PASSWORD, YES, {ALPHA}, "rootpw", NOTHING_RAN},
        {"password: top-most of several", COPY_PASSWORD, YES, {ROOT, BOB, CAROL}, "rootpw", NOTHING_RAN},
        {"password: top row without record", COPY_PASSWORD, YES, {ACME, BOB}, SENTINEL, NOTHING_RAN},
        // Not UTF-8: taken as Latin-1 and offered whole, never cut at the odd byte.
        {"password: Latin-1", COPY_PASSWORD, YES, {CAROL}, "b\303\251b", NOTHING_RAN},
        {"password: empty password", COPY_PASSWORD, YES, {DAVE}, SENTINEL, NOTHING_RAN},

        {"copy & run: nothing loaded", COPY_RUN, NO, {BOB}, SENTINEL, NOTHING_RAN},
        {"copy & run: nothing selected", COPY_RUN, YES, {}, SENTINEL, NOTHING_RAN},
        {"copy & run: row without record", COPY_RUN, YES, {ACME}, SENTINEL, NOTHING_RAN},
        {"copy & run: one row", COPY_RUN, YES, {BOB}, "bobpw", "ssh bob@alpha:"},
        {"copy & run: root shortcut", COPY_RUN, YES, {ALPHA}, "rootpw", "ssh root@alpha:"},
        {"copy & run: top-most of several", COPY_RUN, YES, {BOB, CAROL}, "bobpw", "ssh bob@alpha:"},
        {"copy & run: top row without record", COPY_RUN, YES, {GAMMA, DAVE}, SENTINEL, NOTHING_RAN},
        // An empty password copies nothing; the empty command line runs nothing.
        {"copy & run: empty password and line", COPY_RUN, YES, {DAVE}, SENTINEL, NOTHING_RAN},

        // Execute never touches the clipboard.
        {"execute: nothing loaded", EXECUTE, NO, {BOB, CAROL}, SENTINEL, NOTHING_RAN},
        {"execute: nothing selected", EXECUTE, YES, {}, SENTINEL, NOTHING_RAN},
        {"execute: one row without record", EXECUTE, YES, {ACME}, SENTINEL, NOTHING_RAN},
        {"execute: one row", EXECUTE, YES, {CAROL}, SENTINEL, "ftp carol@beta:21"},
        {"execute: root shortcut row", EXECUTE, YES, {ALPHA}, SENTINEL, "ssh root@alpha:"},
        // Several rows: the cluster template, whatever their services, hosts from the top down.
        {"execute: two rows", EXECUTE, YES, {BOB, CAROL}, SENTINEL, "cssh alpha beta"},
        {"execute: tree order, not selection order", EXECUTE, YES, {CAROL, ROOT}, SENTINEL, "cssh alpha beta"},
        {"execute: rows without record add nothing", EXECUTE, YES, {ACME, ROOT, GAMMA, DAVE}, SENTINEL,
         "cssh alpha gamma"},
        {"execute: shortcut and its user row", EXECUTE, YES, {ALPHA, ROOT}, SENTINEL, "cssh alpha alpha"},
        {"execute: no row has a record", EXECUTE, YES, {ACME, GAMMA}, SENTINEL, "cssh"},
    };
    // clang-format on

    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(out_);
        seed_selections();
        select_rows(c.rows);
        // A cleared store leaves nothing to select, so only a selection that outlives the flag shows
        // that the flag alone stops the action.
        test::main_window().tree.database_loaded = c.loaded == Loaded::Yes ? 1 : 0;
        c.action(test::main_window().actions);
        test::main_window().tree.database_loaded = 1;
        EXPECT_TRUE(test::wait_for_commands());
        test::drain_events();
        EXPECT_EQ(clipboard_text(GDK_SELECTION_CLIPBOARD), c.clipboard);
        EXPECT_EQ(clipboard_text(GDK_SELECTION_PRIMARY), c.clipboard);
        EXPECT_EQ(ran(), c.command);
    }
}

// Other programs read the selections over X: xclip sees what a paste in another window would get.
TEST_F(EntryActions, OtherProgramsPasteTheWholeValue)
{
    struct PasteCase {
        const char* what;
        const char* row;
        const char* selection;
        const char* target;
        std::string expected;
    };
    const PasteCase cases[] = {
        {"clipboard", BOB, "clipboard", "UTF8_STRING", "bobpw"},
        {"primary", BOB, "primary", "UTF8_STRING", "bobpw"},
        {"Latin-1 as UTF-8", CAROL, "clipboard", "UTF8_STRING", "b\303\251b"},
        {"Latin-1 as UTF-8, primary", CAROL, "primary", "UTF8_STRING", "b\303\251b"},
        // The STRING target is Latin-1: the password's own bytes come back.
        {"Latin-1 as STRING", CAROL, "clipboard", "STRING", "b\351b"},
        {"Latin-1 as STRING, primary", CAROL, "primary", "STRING", "b\351b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        seed_selections();
        select_rows({c.row});
        on_copy_password(test::main_window().actions);
        EXPECT_EQ(xclip_output(c.selection, c.target), c.expected);
    }
}

TEST_F(EntryActions, CopyingTheSameValueAgainTakesTheClipboardBack)
{
    select_rows({ROOT});
    on_copy_password(test::main_window().actions);
    // Another copy elsewhere replaces it, as another program's would.
    seed_selections();
    on_copy_password(test::main_window().actions);
    EXPECT_EQ(clipboard_text(GDK_SELECTION_CLIPBOARD), "rootpw");
    EXPECT_EQ(xclip_output("clipboard", "UTF8_STRING"), "rootpw");
}

// The command's own paste must find the password: it asks for CLIPBOARD while it runs. Another
// program owns the clipboard beforehand, so a copy made only after the command would hand the
// command that program's value instead.
TEST_F(EntryActions, PasswordIsOnTheClipboardBeforeTheCommandStarts)
{
    ASSERT_EQ(system("printf 'other program' | xclip -i -selection clipboard"), 0);
    for (int i = 0; i < 100 && clipboard_text(GDK_SELECTION_CLIPBOARD) != "other program"; ++i)
        g_usleep(50 * 1000);
    ASSERT_EQ(clipboard_text(GDK_SELECTION_CLIPBOARD), "other program");

    select_rows({ADMIN});
    on_copy_password_and_execute(test::main_window().actions);
    // The command's xclip is waiting for our answer: let the loop serve it.
    for (int i = 0; i < 500 && ran().value_or("").empty(); ++i) {
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        g_usleep(10 * 1000);
    }
    EXPECT_EQ(ran(), "webpw");
}

// A command that reads the clipboard and is not sent to the background with " &" still gets the
// password: Sealkeep goes on serving the clipboard while the command runs.
TEST_F(EntryActions, ACommandInTheForegroundCanReadTheClipboard)
{
    test::main_window().settings.values.http_cmd = "timeout 5 xclip -o -selection clipboard > \"$OUT\"";
    ASSERT_EQ(test::load_fixture(FIXTURE), 1);
    gtk_tree_view_expand_all(test::main_window().tree.view);
    test::drain_events();
    select_rows({ADMIN});
    on_copy_password_and_execute(test::main_window().actions);
    EXPECT_TRUE(test::wait_for_commands());
    EXPECT_EQ(ran(), "webpw");
}

} // namespace
} // namespace sealkeep
