// The load as a job beside the main loop, with real gpg: what the window shows for a good file and for
// each file gpg does not vouch for, stopping a load that hangs (stop button, Escape, Refresh), and keys
// typed while a load runs.
#include "gui/gui_support.h"

#include "ui/file/load_job.h"
#include "ui/glib_ptr.h"
#include "ui/search/search_bar.h"
#include "ui/tree/entry_store.h"
#include "ui/window/document_events.h"
#include "ui/window/main_window.h"
#include "ui/window/view_commands.h"

#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace sealkeep {
namespace {

const std::string TWO_ACCOUNTS = "customer=Acme;group=;server=alpha;service=ssh;serviceplus=;user=root;password=pa\n"
                                 "customer=Acme;group=;server=beta;service=ftp;serviceplus=;user=bob;password=pb\n";

// Enough plaintext that a byte flipped in the middle of the file lands in the encrypted data.
std::string many_accounts()
{
    std::string text;
    for (int i = 0; i < 40; ++i)
        text += "customer=C" + std::to_string(i) + ";group=;server=s;service=ssh;serviceplus=;user=u;password=p\n";
    return text;
}

bool starts_with(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

int top_rows()
{
    return gtk_tree_model_iter_n_children(GTK_TREE_MODEL(test::main_window().tree.model), nullptr);
}

// How many processes have `path` among their arguments: the gpg of a load reading that file.
int processes_reading(const std::string& path)
{
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream in(entry.path() / "cmdline", std::ios::binary);
        std::string arguments((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (std::size_t start = 0; start < arguments.size();) {
            const std::size_t end = arguments.find('\0', start);
            if (arguments.substr(start, end - start) == path) {
                ++count;
                break;
            }
            start = end == std::string::npos ? arguments.size() : end + 1;
        }
    }
    return count;
}

// A key press as the display would deliver it to the main window: through the event queue, so that it
// takes the way every real key takes (the window's handlers first, then the focus widget).
void press_key(guint keyval)
{
    GtkWidget* window = test::main_window().window;
    GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
    event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
    event->key.send_event = TRUE;
    event->key.time = GDK_CURRENT_TIME;
    event->key.keyval = keyval;
    GdkKeymapKey* keys = nullptr;
    gint n_keys = 0;
    if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_default(), keyval, &keys, &n_keys) && n_keys > 0) {
        event->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
        event->key.group = static_cast<guint8>(keys[0].group);
    }
    g_free(keys);
    const gunichar character = gdk_keyval_to_unicode(keyval);
    if (character >= 0x20 && character < 0x7f) {
        event->key.string = g_strdup_printf("%c", static_cast<char>(character));
        event->key.length = 1;
    } else {
        event->key.string = g_strdup("");
    }
    gdk_event_put(event);
    gdk_event_free(event);
    test::drain_events();
}

class LoadJobTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // gpg's own messages reach the status bar: they are read in English here.
        for (const char* name : {"LANGUAGE", "LC_ALL"}) {
            const char* value = std::getenv(name);
            saved_environment().push_back(value ? std::optional<std::string>(value) : std::nullopt);
        }
        setenv("LANGUAGE", "en", 1);
        setenv("LC_ALL", "C", 1);
    }
    static void TearDownTestSuite()
    {
        const char* names[] = {"LANGUAGE", "LC_ALL"};
        for (std::size_t i = 0; i < saved_environment().size(); ++i) {
            if (saved_environment()[i])
                setenv(names[i], saved_environment()[i]->c_str(), 1);
            else
                unsetenv(names[i]);
        }
        saved_environment().clear();
    }

    void SetUp() override
    {
        saved_settings_ = main().settings.values;
        home_.emplace();
        refresh_entries(main());
        gtk_widget_hide(main().prompt.panel);
        gtk_entry_set_text(main().search.entry, "");
        test::drain_events();
    }

    void TearDown() override
    {
        stop_load(main().file);
        // A stopped load's worker hands the job back once gpg is gone; nothing of it may outlive the test.
        EXPECT_TRUE(test::wait_until([] { return test::main_window().file.stopping.empty(); }));
        clear_document(main());
        gtk_entry_set_text(main().search.entry, "");
        main().settings.values = saved_settings_;
        home_.reset();
    }

    static MainWindow& main() { return test::main_window(); }
    static std::vector<std::optional<std::string>>& saved_environment()
    {
        static std::vector<std::optional<std::string>> saved;
        return saved;
    }

    // Types the passphrase into the real prompt and confirms it, with this file as the password file.
    void confirm(const std::string& path, const std::string& passphrase)
    {
        main().settings.values.password_file_path = path;
        gtk_widget_show(main().prompt.panel);
        gtk_entry_set_text(main().prompt.entry, passphrase.c_str());
        gtk_widget_activate(GTK_WIDGET(main().prompt.entry));
    }

    // A load that cannot end by itself: gpg waits for a writer that never comes.
    std::string start_hanging_load()
    {
        const std::string fifo = home_->path() + "/pipe.gpg";
        EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        confirm(fifo, "secret");
        EXPECT_TRUE(test::wait_until([&] { return processes_reading(fifo) > 0; })) << "gpg never started on the FIFO";
        test::drain_events();
        return fifo;
    }

    // Nothing of the load stays: the button and the job are gone, and so is its gpg, shortly after.
    void expect_stopped(const std::string& fifo)
    {
        EXPECT_FALSE(load_running(main().file));
        EXPECT_EQ(test::status_text(), "Loading stopped.");
        EXPECT_FALSE(gtk_widget_get_visible(main().status.stop_button()));
        EXPECT_TRUE(test::wait_until([&] { return processes_reading(fifo) == 0; }, 3)) << "gpg still runs";
        EXPECT_TRUE(test::wait_until([] { return test::main_window().file.stopping.empty(); }, 3));
        // The status stays: a stopped load reports nothing later.
        EXPECT_EQ(test::status_text(), "Loading stopped.");
        EXPECT_EQ(top_rows(), 0);
        EXPECT_TRUE(test::records().empty());
    }

    std::optional<test::GnupgHome> home_;
    SettingsValues saved_settings_;
};

TEST_F(LoadJobTest, AGoodFileShowsItsRowsAndTheCountAndFocusesTheSearch)
{
    confirm(home_->encrypt_symmetric(TWO_ACCOUNTS, "right"), "right");
    // The load runs beside the main loop: nothing is shown before gpg has vouched for the whole file.
    EXPECT_TRUE(load_running(main().file));
    EXPECT_EQ(top_rows(), 0);
    ASSERT_TRUE(test::wait_for_load());

    EXPECT_EQ(test::status_text(), "2 accounts loaded.");
    EXPECT_EQ(test::row_text("0"), "Acme");
    EXPECT_EQ(test::row_text("0:0:0:0"), "root");
    EXPECT_EQ(test::row_text("0:1:0:0"), "bob");
    // One record per account; root's shortcut on its server row is the same record.
    EXPECT_EQ(test::records().size(), 2u);
    EXPECT_TRUE(main().tree.database_loaded);
    EXPECT_TRUE(gtk_widget_has_focus(GTK_WIDGET(main().search.entry)));
    EXPECT_FALSE(gtk_widget_get_visible(main().status.stop_button()));
    EXPECT_FALSE(gtk_widget_get_visible(main().prompt.panel));
}

TEST_F(LoadJobTest, AWrongPassphraseShowsNothingAndAsksAgain)
{
    const std::string path = home_->encrypt_symmetric(TWO_ACCOUNTS, "right");
    test::load_fixture({test::record_line("Old;;srv;ssh;;u;p")});
    confirm(path, "wrong");
    ASSERT_TRUE(test::wait_for_load());

    EXPECT_EQ(top_rows(), 0);
    EXPECT_TRUE(test::records().empty());
    EXPECT_FALSE(main().tree.database_loaded);
    const std::string status = test::status_text();
    EXPECT_TRUE(starts_with(status, "Not loaded: ")) << status;
    // gpg's own words for it, not a guess of ours.
    EXPECT_TRUE(status.find("Bad session key") != std::string::npos ||
                status.find("Bad passphrase") != std::string::npos)
        << status;
    EXPECT_TRUE(gtk_widget_get_visible(main().prompt.panel));
    EXPECT_TRUE(gtk_widget_has_focus(GTK_WIDGET(main().prompt.entry)));
    EXPECT_STREQ(gtk_entry_get_text(main().prompt.entry), "");
    EXPECT_FALSE(gtk_widget_get_visible(main().status.stop_button()));
}

// A file name that does not lead to a file says what it leads to; gpg's own words for a folder say
// nothing a user can act on. The name may hold spaces and bytes of no encoding.
TEST_F(LoadJobTest, AFolderOrAMissingFileGivenAsThePasswordFileIsNamedAsSuch)
{
    const std::string folder = home_->path() + "/my \xe9 folder";
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    struct Case {
        std::string path;
        std::string status;
    };
    const Case cases[] = {
        {folder, "Not loaded: '" + home_->path() + "/my \xef\xbf\xbd folder' is a folder, not a password file"},
        {folder + "/", "Not loaded: '" + home_->path() + "/my \xef\xbf\xbd folder/' is a folder, not a password file"},
        {folder + "/none.gpg", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        confirm(c.path, "secret");
        ASSERT_TRUE(test::wait_for_load());
        const std::string status = test::status_text();
        if (!c.status.empty()) {
            EXPECT_EQ(status, c.status);
        } else {
            EXPECT_TRUE(starts_with(status, "Not loaded: ")) << status;
            EXPECT_NE(status.find("No such file"), std::string::npos) << status;
        }
        EXPECT_FALSE(main().tree.database_loaded);
    }
}

// A file gpg cannot vouch for in full shows no row at all, even where gpg wrote part of the plaintext.
TEST_F(LoadJobTest, FilesGpgDoesNotVouchForShowNoRows)
{
    struct Case {
        const char* name;
        void (*spoil)(const std::string& path);
    };
    const Case cases[] = {
        {"cut in half",
         [](const std::string& path) { std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2); }},
        {"one byte flipped in the middle",
         [](const std::string& path) {
             std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
             const auto middle = static_cast<std::streamoff>(std::filesystem::file_size(path) / 2);
             file.seekg(middle);
             const char byte = static_cast<char>(file.get());
             file.seekp(middle);
             file.put(static_cast<char>(byte ^ 0x01));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Uncompressed, so that gpg writes out plaintext before it finds the damage.
        const std::string path =
            home_->encrypt_symmetric(many_accounts(), "right", "spoiled.gpg", "--compress-algo none");
        c.spoil(path);
        test::load_fixture({test::record_line("Old;;srv;ssh;;u;p")});
        confirm(path, "right");
        ASSERT_TRUE(test::wait_for_load());
        EXPECT_EQ(top_rows(), 0);
        EXPECT_TRUE(test::records().empty());
        EXPECT_FALSE(main().tree.database_loaded);
        EXPECT_TRUE(starts_with(test::status_text(), "Not loaded: ")) << test::status_text();
    }
}

TEST_F(LoadJobTest, AHangingLoadShowsItRunsAndTheStopButtonEndsIt)
{
    const std::string fifo = start_hanging_load();
    EXPECT_TRUE(load_running(main().file));
    EXPECT_TRUE(gtk_widget_get_visible(main().status.stop_button()));
    EXPECT_TRUE(starts_with(test::status_text(), "Decrypting pipe.gpg")) << test::status_text();
    // The progress keeps the file's name in front while the count goes up.
    g_usleep(250 * 1000);
    test::drain_events();
    EXPECT_TRUE(starts_with(test::status_text(), "Decrypting pipe.gpg")) << test::status_text();

    gtk_button_clicked(GTK_BUTTON(main().status.stop_button()));
    expect_stopped(fifo);
}

TEST_F(LoadJobTest, StopLoadAndEscapeEndAHangingLoad)
{
    struct Case {
        const char* name;
        void (*stop)();
    };
    const Case cases[] = {
        {"stop_load", [] { EXPECT_TRUE(stop_load(test::main_window().file)); }},
        {"Escape sent to the window", [] { press_key(GDK_KEY_Escape); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string fifo = start_hanging_load();
        ASSERT_TRUE(load_running(main().file));
        c.stop();
        expect_stopped(fifo);
        std::filesystem::remove(fifo);
    }
    // With nothing running there is nothing to stop, and the status is left alone.
    EXPECT_FALSE(stop_load(main().file));
    EXPECT_EQ(test::status_text(), "Loading stopped.");
}

// While a load runs, typed keys land in no text field, wherever the focus is; once it has ended, the
// same key reaches the field again (so the key does travel the way a real one does).
TEST_F(LoadJobTest, KeysTypedDuringALoadReachNoTextField)
{
    start_hanging_load();
    // The load took the focus away from the prompt.
    EXPECT_FALSE(gtk_widget_has_focus(GTK_WIDGET(main().prompt.entry)));

    gtk_widget_grab_focus(GTK_WIDGET(main().search.entry));
    press_key(GDK_KEY_a);
    EXPECT_STREQ(gtk_entry_get_text(main().search.entry), "");

    gtk_widget_show(main().prompt.panel);
    gtk_widget_grab_focus(GTK_WIDGET(main().prompt.entry));
    press_key(GDK_KEY_b);
    EXPECT_STREQ(gtk_entry_get_text(main().prompt.entry), "");
    EXPECT_TRUE(load_running(main().file));

    stop_load(main().file);
    gtk_widget_grab_focus(GTK_WIDGET(main().prompt.entry));
    press_key(GDK_KEY_b);
    EXPECT_STREQ(gtk_entry_get_text(main().prompt.entry), "b");
    gtk_widget_hide(main().prompt.panel);
}

TEST_F(LoadJobTest, RefreshDuringALoadCancelsIt)
{
    const std::string fifo = start_hanging_load();
    refresh_entries(main());
    expect_stopped(fifo);
    EXPECT_TRUE(gtk_widget_get_visible(main().prompt.panel));
    EXPECT_TRUE(gtk_widget_has_focus(GTK_WIDGET(main().prompt.entry)));
    gtk_widget_hide(main().prompt.panel);
}

// Refresh takes the tree away, and with it the count that described it; the search typed before stays
// in the bar and steps through the tree the next load brings.
TEST_F(LoadJobTest, RefreshTakesTheCountAwayAndTheNextLoadKeepsTheSearch)
{
    const std::string path = home_->encrypt_symmetric(TWO_ACCOUNTS, "right");
    confirm(path, "right");
    ASSERT_TRUE(test::wait_for_load());
    ASSERT_EQ(test::status_text(), "2 accounts loaded.");
    gtk_entry_set_text(main().search.entry, "root");
    test::drain_events();

    refresh_entries(main());
    test::drain_events();
    EXPECT_EQ(top_rows(), 0);
    EXPECT_EQ(test::status_text(), "");
    gtk_widget_hide(main().prompt.panel); // Cancel
    EXPECT_EQ(test::status_text(), "");

    confirm(path, "right");
    ASSERT_TRUE(test::wait_for_load());
    EXPECT_EQ(test::status_text(), "2 accounts loaded.");
    find_next_match(main().search);
    GtkTreePath* raw = nullptr;
    gtk_tree_view_get_cursor(main().tree.view, &raw, nullptr);
    TreePathPtr cursor{raw};
    ASSERT_TRUE(cursor);
    EXPECT_EQ(test::path_string(cursor.get()), "0:0:0:0");
    EXPECT_EQ(test::row_text("0:0:0:0"), "root");
}

// A second passphrase confirmed while a load runs replaces that load: only the second one's rows show.
TEST_F(LoadJobTest, ANewLoadReplacesARunningOne)
{
    const std::string fifo = start_hanging_load();
    confirm(home_->encrypt_symmetric(TWO_ACCOUNTS, "right"), "right");
    ASSERT_TRUE(test::wait_for_load());
    EXPECT_EQ(test::status_text(), "2 accounts loaded.");
    EXPECT_EQ(test::row_text("0:0:0:0"), "root");
    EXPECT_TRUE(test::wait_until([&] { return processes_reading(fifo) == 0; }, 3)) << "the first gpg still runs";
}

} // namespace
} // namespace sealkeep
