// Secrets kept short-lived, in the real window: a copied password read back with xclip from both
// selections and gone after the delay, kept where another program copied meanwhile; locking by command,
// by idle time (armed in minutes from the start) and by the screen saver's signal on the session bus; the
// tree put back after the passphrase.
#include "gui/gui_support.h"
#include "gui/robustness_support.h"

#include "core/text_encoding.h"
#include "ui/actions/clipboard.h"
#include "ui/actions/entry_actions.h"
#include "ui/lock/lock.h"
#include "ui/window/document_events.h"
#include "ui/window/main_window.h"

#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace sealkeep {
namespace {

const std::vector<std::string> FIXTURE = {
    "customer=Acme;group=web;server=alpha;service=ssh;serviceplus=;user=root;password=alpha-root-pw",
    "customer=Acme;group=web;server=beta;service=ssh;serviceplus=;user=bob;password=beta-bob-pw",
    "customer=Zeta;group=db;server=gamma;service=ssh;serviceplus=;user=carol;password=gamma-carol-pw",
};

// What the selection gives another program; "<none>" when nobody owns it or it has no text.
std::string selection_text(const char* selection, const char* target = "UTF8_STRING")
{
    auto out = test::run_beside_loop({"timeout", "5", "xclip", "-o", "-selection", selection, "-t", target});
    return out ? *out : "<none>";
}

const EntryRecord* record_of(const char* password)
{
    for (const EntryRecord* record : test::records())
        if (record->password() == password)
            return record;
    return nullptr;
}

class SecretsLifetime : public testing::Test {
protected:
    void SetUp() override
    {
        saved_ = test::main_window().settings.values;
        gtk_widget_hide(test::main_window().prompt.panel);
        ASSERT_EQ(test::load_fixture(FIXTURE), 1);
    }
    void TearDown() override
    {
        release_clipboard(test::main_window().clipboard);
        set_idle_lock_seconds(test::main_window().lock, 0);
        test::main_window().settings.values = saved_;
        test::drain_events();
    }
    SettingsValues saved_;
};

TEST_F(SecretsLifetime, CopiedPasswordLeavesBothSelectionsAfterTheDelayWithAHintForManagers)
{
    MainWindow& main = test::main_window();
    main.settings.values.clipboard_clear_seconds = 2;
    copy_password_to_clipboard(main.actions, record_of("alpha-root-pw"));
    EXPECT_EQ(selection_text("clipboard"), "alpha-root-pw");
    EXPECT_EQ(selection_text("primary"), "alpha-root-pw");
    const std::string targets = selection_text("clipboard", "TARGETS");
    EXPECT_NE(targets.find("x-kde-passwordManagerHint"), std::string::npos) << targets;
    EXPECT_NE(targets.find("UTF8_STRING"), std::string::npos) << targets;
    EXPECT_EQ(selection_text("clipboard", "x-kde-passwordManagerHint"), "secret");
    EXPECT_EQ(test::status_text(), "Clipboard cleared in 2 s");
    EXPECT_TRUE(gtk_widget_get_visible(main.status.clear_button()));

    // A new copy one second in starts the delay again: after the first delay it is still there.
    ASSERT_TRUE(test::wait_until([] { return test::status_text() == "Clipboard cleared in 1 s"; }, 3));
    copy_password_to_clipboard(main.actions, record_of("beta-bob-pw"));
    EXPECT_EQ(test::status_text(), "Clipboard cleared in 2 s");
    ASSERT_TRUE(test::wait_until([] { return test::status_text() == "Clipboard cleared in 1 s"; }, 3));
    EXPECT_EQ(selection_text("clipboard"), "beta-bob-pw");

    ASSERT_TRUE(test::wait_until([] { return test::status_text() == "Clipboard cleared."; }, 3)) << test::status_text();
    EXPECT_EQ(selection_text("clipboard"), "<none>");
    EXPECT_EQ(selection_text("primary"), "<none>");
    EXPECT_FALSE(gtk_widget_get_visible(main.status.clear_button()));
    EXPECT_TRUE(main.clipboard.text.empty());
}

TEST_F(SecretsLifetime, WhatAnotherProgramCopiedMeanwhileIsKept)
{
    MainWindow& main = test::main_window();
    main.settings.values.clipboard_clear_seconds = 1;
    copy_password_to_clipboard(main.actions, record_of("alpha-root-pw"));
    ASSERT_TRUE(test::run_beside_loop(
        {"sh", "-c", "printf 'from another program' | xclip -i -selection clipboard >/dev/null 2>&1"}));
    ASSERT_TRUE(test::wait_until([&] { return !main.clipboard.owned[0]; }, 3));
    ASSERT_TRUE(test::wait_until([] { return test::status_text() == "Clipboard cleared."; }, 3)) << test::status_text();
    EXPECT_EQ(selection_text("clipboard"), "from another program");
    EXPECT_EQ(selection_text("primary"), "<none>");
}

TEST_F(SecretsLifetime, CommandLinesStayAndClearNowEndsTheCountDown)
{
    MainWindow& main = test::main_window();
    main.settings.values.clipboard_clear_seconds = 1;
    main.settings.values.ssh_cmd = "ssh %u@%h";
    // Command lines are built at load time.
    ASSERT_EQ(test::load_fixture(FIXTURE), 1);
    copy_command_line_to_clipboard(main.actions, record_of("alpha-root-pw"));
    EXPECT_EQ(selection_text("clipboard", "TARGETS").find("x-kde-passwordManagerHint"), std::string::npos);
    EXPECT_FALSE(gtk_widget_get_visible(main.status.clear_button()));
    test::wait_until([] { return false; }, 1.5);
    EXPECT_EQ(selection_text("clipboard"), "ssh root@alpha");

    // A password copied over it, then taken off at once by the button beside the count-down.
    main.settings.values.clipboard_clear_seconds = 45;
    copy_password_to_clipboard(main.actions, record_of("gamma-carol-pw"));
    ASSERT_TRUE(gtk_widget_get_visible(main.status.clear_button()));
    gtk_button_clicked(GTK_BUTTON(main.status.clear_button()));
    EXPECT_EQ(test::status_text(), "Clipboard cleared.");
    EXPECT_EQ(selection_text("clipboard"), "<none>");
    EXPECT_EQ(selection_text("primary"), "<none>");

    // 0 never clears; the hint is still offered.
    main.settings.values.clipboard_clear_seconds = 0;
    copy_password_to_clipboard(main.actions, record_of("beta-bob-pw"));
    EXPECT_FALSE(gtk_widget_get_visible(main.status.clear_button()));
    test::wait_until([] { return false; }, 1.2);
    EXPECT_EQ(selection_text("clipboard"), "beta-bob-pw");
}

// Copy password & Execute whose command fails at once: the failure stays readable while the password
// counts down, instead of being covered by the next second of the count.
TEST_F(SecretsLifetime, ACommandsFailureIsNotCoveredByTheCountDown)
{
    MainWindow& main = test::main_window();
    main.settings.values.clipboard_clear_seconds = 3;
    main.settings.values.ssh_cmd = "exit 3 # %h";
    ASSERT_EQ(test::load_fixture(FIXTURE), 1);
    copy_password_and_run(main.actions, record_of("alpha-root-pw"));
    const std::string failure = "The command failed (exit status 3): exit 3 # alpha";
    ASSERT_TRUE(test::wait_until([&] { return test::status_text() == failure; }, 3)) << test::status_text();
    const int left = main.clipboard.seconds_left;
    ASSERT_TRUE(test::wait_until([&] { return main.clipboard.seconds_left < left; }, 2));
    EXPECT_EQ(test::status_text(), failure);
    EXPECT_TRUE(gtk_widget_get_visible(main.status.clear_button()));
    EXPECT_EQ(selection_text("clipboard"), "alpha-root-pw");

    // The count still ends the copy, and says so.
    ASSERT_TRUE(test::wait_until([] { return test::status_text() == "Clipboard cleared."; }, 4)) << test::status_text();
    EXPECT_EQ(selection_text("clipboard"), "<none>");

    // A new copy is the latest thing done: its count-down shows again, and an emptied bar (Refresh
    // empties it) is nothing to keep it from showing.
    copy_password_to_clipboard(main.actions, record_of("beta-bob-pw"));
    EXPECT_EQ(test::status_text(), "Clipboard cleared in 3 s");
    show_status(main, "");
    ASSERT_TRUE(test::wait_until([] { return test::status_text() == "Clipboard cleared in 2 s"; }, 2)) << test::status_text();
}

// The rows expanded and selected, as texts from the top down, each sorted.
std::vector<std::string> tree_state(bool selected)
{
    MainWindow& main = test::main_window();
    std::vector<std::string> result;
    GtkTreeModel* model = gtk_tree_view_get_model(main.tree.view);
    auto describe = [model](GtkTreePath* path) {
        std::string text;
        for (gint depth = 1; depth <= gtk_tree_path_get_depth(path); ++depth) {
            TreePathPtr up{gtk_tree_path_new_from_indices(gtk_tree_path_get_indices(path)[0], -1)};
            for (gint d = 1; d < depth; ++d)
                gtk_tree_path_append_index(up.get(), gtk_tree_path_get_indices(path)[d]);
            GtkTreeIter iter;
            gtk_tree_model_get_iter(model, &iter, up.get());
            gchar* raw = nullptr;
            gtk_tree_model_get(model, &iter, 1, &raw, -1);
            text += std::string("/") + (raw ? raw : "");
            g_free(raw);
        }
        return text;
    };
    if (selected) {
        PathListPtr rows{gtk_tree_selection_get_selected_rows(gtk_tree_view_get_selection(main.tree.view), nullptr)};
        for (GList* row = rows.get(); row; row = row->next)
            result.push_back(describe(static_cast<GtkTreePath*>(row->data)));
    } else {
        for (const std::string& path : test::expanded_paths()) {
            TreePathPtr tree_path{gtk_tree_path_new_from_string(path.c_str())};
            result.push_back(describe(tree_path.get()));
        }
    }
    std::sort(result.begin(), result.end());
    return result;
}

void expect_locked(const char* how)
{
    SCOPED_TRACE(how);
    MainWindow& main = test::main_window();
    EXPECT_EQ(gtk_tree_model_iter_n_children(gtk_tree_view_get_model(main.tree.view), nullptr), 0);
    EXPECT_TRUE(test::records().empty());
    EXPECT_EQ(test::document(), nullptr);
    EXPECT_FALSE(main.tree.database_loaded);
    EXPECT_TRUE(main.search.matches.empty());
    EXPECT_TRUE(gtk_widget_get_visible(main.prompt.panel));
    EXPECT_TRUE(gtk_widget_has_focus(GTK_WIDGET(main.prompt.entry)));
    EXPECT_EQ(test::status_text(), "Locked.");
    EXPECT_FALSE(main.clipboard.owned[0] || main.clipboard.owned[1]);
}

TEST_F(SecretsLifetime, LockDropsEverythingAndThePassphraseBringsTheTreeBackAsItWas)
{
    MainWindow& main = test::main_window();
    test::GnupgHome home;
    std::string plaintext;
    for (const std::string& line : FIXTURE)
        plaintext += line + "\n";
    main.settings.values.password_file_path = home.encrypt_symmetric(plaintext, "unlock-pw");
    ASSERT_EQ(test::load_through_prompt("unlock-pw").loaded, 1);

    // Gamma's user expanded down to carol, beta selected, and alpha, which stays closed; a search with
    // matches; a password copied.
    GtkTreeView* view = main.tree.view;
    gtk_window_present(GTK_WINDOW(main.window));
    gtk_entry_set_text(main.search.entry, "bob");
    ASSERT_FALSE(main.search.matches.empty());
    gtk_tree_view_collapse_all(view);
    TreePathPtr carol{gtk_tree_path_new_from_string("1:0:0:0")};
    gtk_tree_view_expand_to_path(view, carol.get());
    TreePathPtr beta{gtk_tree_path_new_from_string("0:0:1")};
    gtk_tree_view_expand_to_path(view, beta.get());
    GtkTreeSelection* selection = gtk_tree_view_get_selection(view);
    gtk_tree_selection_unselect_all(selection);
    gtk_tree_selection_select_path(selection, beta.get());
    gtk_tree_selection_select_path(selection, carol.get());
    TreePathPtr alpha{gtk_tree_path_new_from_string("0:0:0")};
    gtk_tree_selection_select_path(selection, alpha.get());
    const auto expanded = tree_state(false);
    const auto selected = tree_state(true);
    ASSERT_EQ(selected.size(), 3u);

    const struct {
        const char* how;
        std::function<void()> lock;
    } ways[] = {
        {"Ctrl+L", [&] { gtk_accel_groups_activate(G_OBJECT(main.window), GDK_KEY_l, GDK_CONTROL_MASK); }},
        {"the screen saver's signal",
         [] {
             ASSERT_TRUE(
                 test::run_beside_loop({"gdbus", "emit", "--session", "--object-path", "/org/freedesktop/ScreenSaver",
                                        "--signal", "org.freedesktop.ScreenSaver.ActiveChanged", "true"}));
             ASSERT_TRUE(test::wait_until([] { return test::status_text() == "Locked."; }, 5));
         }},
        {"idle time",
         [&] {
             set_idle_lock_seconds(main.lock, 1);
             ASSERT_TRUE(test::wait_until([] { return test::status_text() == "Locked."; }, 4));
             set_idle_lock_seconds(main.lock, 0);
         }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.how);
        copy_password_to_clipboard(main.actions, record_of("gamma-carol-pw"));
        way.lock();
        expect_locked(way.how);
        EXPECT_EQ(std::string(gtk_entry_get_text(main.search.entry)), "bob");
        EXPECT_EQ(selection_text("clipboard"), "<none>");
        EXPECT_EQ(selection_text("primary"), "<none>");
        // The search entry takes PRIMARY back for its own text when it gets the focus after the load.

        // A second lock before the passphrase keeps what the first remembered.
        lock_window(main);
        ASSERT_EQ(test::load_through_prompt("unlock-pw").loaded, 1);
        EXPECT_EQ(tree_state(false), expanded);
        EXPECT_EQ(tree_state(true), selected);
        EXPECT_TRUE(main.tree.shape.expanded.empty());
        EXPECT_TRUE(main.tree.shape.selected.empty());
    }
}

TEST_F(SecretsLifetime, IdleTimeLocksOnlyWhatIsLoadedAndInputPostponesIt)
{
    MainWindow& main = test::main_window();
    set_idle_lock_seconds(main.lock, 1);
    // Input in the window every half second keeps it open.
    const gint64 end = g_get_monotonic_time() + 2 * G_USEC_PER_SEC;
    while (g_get_monotonic_time() < end) {
        GdkEvent* motion = gdk_event_new(GDK_MOTION_NOTIFY);
        motion->motion.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(main.window)));
        gdk_event_put(motion);
        gdk_event_free(motion);
        test::wait_until([] { return false; }, 0.4);
    }
    EXPECT_TRUE(main.tree.database_loaded);
    ASSERT_TRUE(test::wait_until([&] { return !main.tree.database_loaded; }, 3));
    EXPECT_EQ(test::status_text(), "Locked.");
    // Nothing loaded: the next idle period shows nothing new.
    show_status(main, "after");
    test::wait_until([] { return false; }, 1.5);
    EXPECT_EQ(test::status_text(), "after");
}

// The idle limit is stored in minutes: the window's start arms the idle lock with that many minutes.
// Creating the window starts the triggers with the settings as loaded; read as seconds, a stored 1 would
// lock a loaded window after one second without input.
TEST_F(SecretsLifetime, IdleMinutesStoredBeforeTheStartArmTheLockInMinutes)
{
    MainWindow& main = test::main_window();
    const struct {
        int stored_minutes;
        guint armed_seconds;
    } cases[] = {{1, 60}, {10, 600}, {1440, 86400}, {0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored_minutes);
        stop_lock_triggers(main.lock);
        main.settings.values.lock_idle_minutes = c.stored_minutes;
        start_lock_triggers(main.lock, idle_lock_seconds(main.settings.values.lock_idle_minutes));
        EXPECT_EQ(main.lock.idle_seconds, c.armed_seconds);
        // 0 arms nothing: no check wakes up at all.
        EXPECT_EQ(main.lock.idle_source != 0, c.armed_seconds != 0);
    }
}

} // namespace
} // namespace sealkeep
