// Saving in the real window with real gpg and real files: the title's mark, File > Save, the Save /
// Discard / Cancel question on every way out answered with real key presses, a file changed by someone
// else, the reload offered when the file changes on disk, and a new passphrase.
#include "gui_support.h"

#include "core/text_encoding.h"
#include "ui/window/document_events.h"
#include "ui/actions/account_edits.h"
#include "ui/dialogs/setup_dialog.h"
#include "ui/file/load_job.h"
#include "ui/file/save_job.h"
#include "ui/file/unsaved_edits.h"
#include "ui/lock/lock.h"
#include "ui/window/view_commands.h"

#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

namespace sealkeep {
namespace {

namespace fs = std::filesystem;
using test::drain_events;

const std::string PASSPHRASE = "Save Test 7";
// Unmatched and CRLF lines too: a save writes back every byte as loaded.
const std::string ORIGINAL = "# accounts\r\n" + test::record_line("Acme;web;srv1;ssh;22;alice;pw-a") +
                             "\r\nnot a record\n" + test::record_line("Bolt;db;srv3;ssh;22;bob;pw-b");
const std::string EDITED = ORIGINAL + "\n" + test::record_line("Cute;;srv9;ssh;;carol;pw-c") + "\n";

std::optional<std::string> gpg_decrypt(const std::string& path, const std::string& passphrase)
{
    return test::run_beside_loop({"gpg", "--batch", "--quiet", "--pinentry-mode", "loopback", "--no-symkey-cache",
                                  "--passphrase", passphrase.c_str(), "--decrypt", path.c_str()});
}

std::string title()
{
    return gtk_window_get_title(GTK_WINDOW(test::main_window().window));
}

// A key pressed in a dialog goes to the widget that has the focus there, as a person's would.
void press_in_dialog(GtkWidget* dialog, guint key, GdkModifierType modifiers)
{
    GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(dialog));
    gtk_test_widget_send_key(focus ? focus : dialog, key, modifiers);
}

// Runs a nested main loop in which `start` is called; true when something ended it (Quit).
bool ends_main_loop(const std::function<void()>& start, int seconds = 15)
{
    bool timed_out = false;
    g_idle_add(
        [](gpointer start) {
            (*static_cast<const std::function<void()>*>(start))();
            return gboolean(FALSE);
        },
        const_cast<std::function<void()>*>(&start));
    guint guard = g_timeout_add_seconds(
        seconds,
        [](gpointer flag) {
            *static_cast<bool*>(flag) = true;
            gtk_main_quit();
            return gboolean(FALSE);
        },
        &timed_out);
    gtk_main();
    if (!timed_out)
        g_source_remove(guard);
    return !timed_out;
}

// The question of a refused save is answered Save As, and the chooser given "mine.gpg" in the folder it
// opens at (the file's own).
void answer_save_as_mine()
{
    test::respond_in_nested_loop(
        [](GtkWidget* question, void*) {
            test::respond_in_nested_loop(
                [](GtkWidget* dialog, void*) {
                    // The chooser names a file only once it knows the folder it opened at: an OK before that
                    // keeps it open. It is answered once it does, or cancelled so that the test fails
                    // instead of waiting for ever.
                    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
                    gtk_file_chooser_set_current_name(chooser, "mine.gpg");
                    const gint64 deadline = g_get_monotonic_time() + 10 * G_TIME_SPAN_SECOND;
                    for (;;) {
                        GCharPtr named{gtk_file_chooser_get_filename(chooser)};
                        if (named && g_str_has_suffix(named.get(), "/mine.gpg"))
                            break;
                        if (g_get_monotonic_time() >= deadline) {
                            ADD_FAILURE() << "the chooser did not name mine.gpg";
                            gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
                            return;
                        }
                        gtk_main_iteration_do(FALSE);
                        g_usleep(1000);
                    }
                    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
                },
                nullptr);
            gtk_dialog_response(GTK_DIALOG(question), GTK_RESPONSE_ACCEPT);
        },
        nullptr);
}

// The next error dialog is closed, its explanation kept in `message` (which must outlive it).
void close_error_keeping_its_text(std::string& message)
{
    test::respond_in_nested_loop(
        [](GtkWidget* dialog, void* data) {
            gchar* text = nullptr;
            g_object_get(dialog, "secondary-text", &text, nullptr);
            *static_cast<std::string*>(data) = text ? text : "";
            g_free(text);
            gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CLOSE);
        },
        &message);
}

class SaveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        path_ = gnupg_.encrypt_symmetric(ORIGINAL, PASSPHRASE);
        MainWindow& main = test::main_window();
        main.settings.values.password_file_path = path_;
        start_load(main, PASSPHRASE);
        ASSERT_TRUE(test::wait_for_load());
        ASSERT_TRUE(test::document());
        ASSERT_EQ(test::document()->plaintext(), ORIGINAL);
        ASSERT_TRUE(main.file.loaded_file);
        EXPECT_EQ(title(), "Sealkeep");
    }

    void TearDown() override
    {
        test::wait_until([] { return !save_running(test::main_window().file); });
        test::load_fixture({});
        drain_events();
    }

    // What an edit does: a new document from new plaintext, shown in place of the old one.
    static void edit(const std::string& plaintext)
    {
        MainWindow& main = test::main_window();
        auto document = std::make_unique<Document>(main.settings.values);
        std::size_t start = 0;
        while (start < plaintext.size()) {
            const std::size_t newline = plaintext.find('\n', start);
            const std::size_t end = newline == std::string::npos ? plaintext.size() : newline + 1;
            document->add_line(std::string_view(plaintext).substr(start, end - start));
            start = end;
        }
        document->finish();
        show_loaded_rows(main, std::move(document));
        note_document_edited(main.file);
        drain_events();
    }

    std::string on_disk() { return gpg_decrypt(path_, PASSPHRASE).value_or("<does not decrypt>"); }

    test::GnupgHome gnupg_;
    std::string path_;
};

TEST_F(SaveTest, CtrlSSavesTheDocumentAsItStandsAndTheTitleMarkFollows)
{
    MainWindow& main = test::main_window();
    edit(EDITED);
    EXPECT_EQ(title(), "*Sealkeep");
    EXPECT_TRUE(main.file.unsaved_edits);
    gtk_widget_grab_focus(GTK_WIDGET(main.search.entry));
    drain_events();
    ASSERT_TRUE(gtk_test_widget_send_key(GTK_WIDGET(main.search.entry), GDK_KEY_s, GDK_CONTROL_MASK));
    drain_events();
    ASSERT_TRUE(save_running(main.file) || !main.file.unsaved_edits) << "Ctrl+S started a save";
    ASSERT_TRUE(test::wait_until([&] { return !save_running(main.file); }));
    EXPECT_EQ(test::status_text(), "Saved accounts.gpg.");
    EXPECT_EQ(title(), "Sealkeep");
    EXPECT_FALSE(main.file.unsaved_edits);
    EXPECT_EQ(on_disk(), EDITED);
    EXPECT_TRUE(fs::exists(path_ + "~"));
    EXPECT_EQ(gpg_decrypt(path_ + "~", PASSPHRASE), ORIGINAL);

    // An edit made while a save runs stays unsaved after it.
    edit(EDITED + "Dyn;;h;ssh;;u;p\n");
    save_document(main.file);
    edit(EDITED + "Dyn;;h;ssh;;u;p\nEl;;h;ssh;;u;p\n");
    ASSERT_TRUE(test::wait_until([&] { return !save_running(main.file); }));
    EXPECT_EQ(on_disk(), EDITED + "Dyn;;h;ssh;;u;p\n");
    EXPECT_TRUE(main.file.unsaved_edits);
    EXPECT_EQ(title(), "*Sealkeep");
}

// The question's answer, as a person gives it: Escape for Cancel, Alt+D for Discard, Enter for Save.
struct Answer {
    const char* name;
    guint key;
    GdkModifierType modifiers;
};
const Answer CANCEL{"Cancel", GDK_KEY_Escape, GdkModifierType(0)};
const Answer DISCARD{"Discard", GDK_KEY_d, GDK_MOD1_MASK};
const Answer SAVE{"Save", GDK_KEY_Return, GdkModifierType(0)};

struct Asked {
    const Answer* answer;
    std::string question;
    bool chooser_seen = false;
};

// Answers the question with a key press once it shows; for Open file, the chooser that may follow is
// cancelled and noted.
void answer_question(Asked& asked, bool chooser_follows)
{
    test::respond_in_nested_loop(
        [](GtkWidget* dialog, void* data) {
            auto& a = *static_cast<std::pair<Asked*, bool>*>(data);
            if (GTK_IS_MESSAGE_DIALOG(dialog)) {
                gchar* text = nullptr;
                g_object_get(dialog, "text", &text, nullptr);
                a.first->question = text ? text : "";
                g_free(text);
            }
            if (a.second && a.first->answer != &CANCEL) {
                test::respond_in_nested_loop(
                    [](GtkWidget* chooser, void* data) {
                        static_cast<Asked*>(data)->chooser_seen = GTK_IS_FILE_CHOOSER(chooser);
                        gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_CANCEL);
                    },
                    a.first);
            }
            press_in_dialog(dialog, a.first->answer->key, a.first->answer->modifiers);
            delete &a;
        },
        new std::pair<Asked*, bool>(&asked, chooser_follows));
}

TEST_F(SaveTest, EveryWayOutAsksSaveDiscardOrCancel)
{
    MainWindow& main = test::main_window();
    // The window manager's close button; the program's own handler decides, and a handler behind it
    // keeps the test's window when the close goes through (the program would end there).
    int closes = 0;
    const gulong keep_window = g_signal_connect(main.window, "delete-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, int* n) {
                                                    ++*n;
                                                    return gboolean(TRUE);
                                                }),
                                                &closes);
    const auto close_window = [&] {
        GdkEvent* event = gdk_event_new(GDK_DELETE);
        event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(main.window)));
        event->any.send_event = TRUE;
        gtk_main_do_event(event);
        gdk_event_free(event);
    };

    enum class Way { Quit, Close, Refresh, OpenFile };
    const struct {
        const char* name;
        Way way;
    } ways[] = {{"Quit (Ctrl+Q)", Way::Quit},
                {"closing the window", Way::Close},
                {"Refresh (Ctrl+R)", Way::Refresh},
                {"Open file", Way::OpenFile}};
    for (const auto& way : ways) {
        for (const Answer* answer : {&CANCEL, &DISCARD, &SAVE}) {
            SCOPED_TRACE(std::string(way.name) + ", " + answer->name);
            // A fresh file and load for each case, and one edit.
            fs::remove(path_ + "~");
            gnupg_.encrypt_symmetric(ORIGINAL, PASSPHRASE);
            test::load_fixture({});
            start_load(main, PASSPHRASE);
            ASSERT_TRUE(test::wait_for_load());
            edit(EDITED);
            ASSERT_EQ(title(), "*Sealkeep");

            Asked asked{answer, {}};
            answer_question(asked, way.way == Way::OpenFile);
            closes = 0;
            bool loop_ended = false;
            switch (way.way) {
            case Way::Quit:
                gtk_widget_grab_focus(GTK_WIDGET(main.search.entry));
                drain_events();
                loop_ended = ends_main_loop(
                    [&] { gtk_test_widget_send_key(GTK_WIDGET(main.search.entry), GDK_KEY_q, GDK_CONTROL_MASK); },
                    answer == &CANCEL ? 2 : 15);
                break;
            case Way::Close:
                close_window();
                break;
            case Way::Refresh:
                gtk_widget_grab_focus(GTK_WIDGET(main.search.entry));
                drain_events();
                gtk_test_widget_send_key(GTK_WIDGET(main.search.entry), GDK_KEY_r, GDK_CONTROL_MASK);
                break;
            case Way::OpenFile: {
                GtkWidget* bar = nullptr;
                for (GtkWidget* w : test::child_widgets(test::child_widgets(main.window)[0]))
                    if (GTK_IS_MENU_BAR(w))
                        bar = w;
                ASSERT_TRUE(bar);
                GtkWidget* file_menu = gtk_menu_item_get_submenu(GTK_MENU_ITEM(test::child_widgets(bar)[0]));
                gtk_menu_item_activate(GTK_MENU_ITEM(test::child_widgets(file_menu)[0]));
                break;
            }
            }
            // Keys are delivered through the event queue: the question may come only now.
            ASSERT_TRUE(test::wait_until([&] { return !asked.question.empty() && !save_running(main.file); }));
            drain_events();
            EXPECT_EQ(asked.question, "The accounts have changes that are not saved.");

            const bool went_on = answer != &CANCEL;
            switch (way.way) {
            case Way::Quit:
                EXPECT_EQ(loop_ended, went_on);
                break;
            case Way::Close:
                EXPECT_EQ(closes, went_on ? 1 : 0);
                break;
            case Way::Refresh:
                EXPECT_EQ(gtk_widget_get_visible(main.prompt.panel), went_on);
                EXPECT_EQ(test::document() != nullptr && !test::document()->plaintext().empty(), !went_on);
                break;
            case Way::OpenFile:
                EXPECT_EQ(asked.chooser_seen, went_on);
                break;
            }
            EXPECT_EQ(on_disk(), answer == &SAVE ? EDITED : ORIGINAL) << test::status_text();
            // Discard for Open file drops the edits only for another file: the chooser was cancelled.
            if (answer == &CANCEL || (answer == &DISCARD && way.way == Way::OpenFile)) {
                EXPECT_TRUE(main.file.unsaved_edits) << "the edits are kept";
                EXPECT_EQ(title(), "*Sealkeep");
                ASSERT_TRUE(test::document());
                EXPECT_EQ(test::document()->plaintext(), EDITED);
            } else {
                EXPECT_FALSE(main.file.unsaved_edits);
                EXPECT_EQ(title(), "Sealkeep");
            }
            gtk_widget_hide(main.prompt.panel);
        }
    }
    g_signal_handler_disconnect(main.window, keep_window);
}

TEST_F(SaveTest, AFileChangedByOthersIsNotWrittenOverAndTheEditsStay)
{
    MainWindow& main = test::main_window();
    edit(EDITED);
    // Someone else saves meanwhile.
    test::GnupgHome other;
    const std::string theirs = other.encrypt_symmetric("Theirs;;h;ssh;;u;p\n", PASSPHRASE);
    fs::copy_file(theirs, path_, fs::copy_options::overwrite_existing);

    std::string question;
    test::respond_in_nested_loop(
        [](GtkWidget* dialog, void* data) {
            gchar* text = nullptr;
            g_object_get(dialog, "text", &text, nullptr);
            *static_cast<std::string*>(data) = text ? text : "";
            g_free(text);
            press_in_dialog(dialog, GDK_KEY_Escape, GdkModifierType(0));
        },
        &question);
    save_document(main.file);
    ASSERT_TRUE(test::wait_until([&] { return !save_running(main.file) && !question.empty(); }));
    EXPECT_EQ(question, "The password file was changed since it was loaded.");
    EXPECT_EQ(test::status_text(), "Not saved: the file was changed by someone else.");
    EXPECT_EQ(on_disk(), "Theirs;;h;ssh;;u;p\n");
    EXPECT_FALSE(fs::exists(path_ + "~"));
    EXPECT_TRUE(main.file.unsaved_edits);
    EXPECT_EQ(test::document()->plaintext(), EDITED);
}

// Refused because someone else changed the file, the edits are saved under another name through the
// chooser. The window then works on that file: the next Refresh loads it, with the edits, and the file
// of the other person is left as they wrote it.
TEST_F(SaveTest, SavedUnderAnotherNameTheWindowGoesOnWithThatFile)
{
    MainWindow& main = test::main_window();
    edit(EDITED);
    test::GnupgHome other;
    fs::copy_file(other.encrypt_symmetric("Theirs;;h;ssh;;u;p\n", PASSPHRASE), path_, fs::copy_options::overwrite_existing);
    const std::string mine = (fs::path(path_).parent_path() / "mine.gpg").string();
    answer_save_as_mine();
    save_document(main.file);
    ASSERT_TRUE(test::wait_until([&] { return fs::exists(mine) && !save_running(main.file) && !main.file.unsaved_edits; }));
    EXPECT_EQ(gpg_decrypt(mine, PASSPHRASE).value_or("<does not decrypt>"), EDITED);
    EXPECT_EQ(on_disk(), "Theirs;;h;ssh;;u;p\n");
    EXPECT_EQ(title(), "Sealkeep");
    EXPECT_EQ(test::status_text(), "Saved mine.gpg.");

    refresh_entries(main);
    start_load(main, PASSPHRASE);
    ASSERT_TRUE(test::wait_for_load());
    gtk_widget_hide(main.prompt.panel);
    ASSERT_TRUE(test::document());
    EXPECT_EQ(test::document()->plaintext(), EDITED) << "Refresh loads the file the edits went to";
    main.settings.values.password_file_path = path_;
    main.settings.file_path_given = false;
}

// A new passphrase whose save is refused (someone else changed the file) and then saved under another
// name: the new file has the new passphrase, not the one the user wanted gone.
TEST_F(SaveTest, SavedUnderAnotherNameKeepsTheNewPassphrase)
{
    MainWindow& main = test::main_window();
    test::GnupgHome other;
    fs::copy_file(other.encrypt_symmetric("Theirs;;h;ssh;;u;p\n", PASSPHRASE), path_, fs::copy_options::overwrite_existing);
    const std::string mine = (fs::path(path_).parent_path() / "mine.gpg").string();
    answer_save_as_mine();
    SaveChoice choice;
    choice.new_passphrase = true;
    choice.passphrase.assign("A New One 8");
    start_save(main.file, std::move(choice));
    ASSERT_TRUE(test::wait_until([&] { return fs::exists(mine) && !save_running(main.file); }));
    EXPECT_EQ(gpg_decrypt(mine, "A New One 8").value_or("<does not decrypt>"), ORIGINAL);
    EXPECT_FALSE(gpg_decrypt(mine, PASSPHRASE)) << "the old passphrase must not open the new file";
    EXPECT_EQ(main.file.loaded_file->passphrase.view(), "A New One 8");
    main.settings.values.password_file_path = path_;
    main.settings.file_path_given = false;
}

TEST_F(SaveTest, AChangeOnDiskWhileNothingIsEditedOffersAReload)
{
    MainWindow& main = test::main_window();
    ASSERT_FALSE(gtk_widget_get_visible(main.status.reload_button()));
    test::GnupgHome other;
    const std::string theirs = other.encrypt_symmetric("Theirs;;h;ssh;;u;p\n", PASSPHRASE);
    // Written in place, as an editor would.
    {
        std::ifstream in(theirs, std::ios::binary);
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out << in.rdbuf();
    }
    ASSERT_TRUE(test::wait_until([&] { return gtk_widget_get_visible(main.status.reload_button()) != FALSE; }, 10));
    EXPECT_EQ(test::status_text(), "The password file was changed on disk.");
    gtk_button_clicked(GTK_BUTTON(main.status.reload_button()));
    ASSERT_TRUE(test::wait_for_load());
    ASSERT_TRUE(test::document());
    EXPECT_EQ(test::document()->plaintext(), "Theirs;;h;ssh;;u;p\n") << "reloaded with the passphrase kept";
    EXPECT_FALSE(gtk_widget_get_visible(main.status.reload_button()));

    // Our own save is no change by others.
    edit("Mine;;h;ssh;;u;p\n");
    save_document(main.file);
    ASSERT_TRUE(test::wait_until([&] { return !save_running(main.file); }));
    test::wait_until([] { return false; }, 1);
    EXPECT_FALSE(gtk_widget_get_visible(main.status.reload_button()));
}

// Runs `respond` once a mapped dialog passes `wanted` (the newest such one); returns at once.
struct Waiting {
    bool (*wanted)(GtkWidget* dialog, void* data);
    void (*respond)(GtkWidget* dialog, void* data);
    void* data;
};

void respond_to(bool (*wanted)(GtkWidget*, void*), void (*respond)(GtkWidget*, void*), void* data)
{
    g_timeout_add(
        20,
        [](gpointer w) {
            auto* waiting = static_cast<Waiting*>(w);
            GtkWidget* found = nullptr;
            GList* toplevels = gtk_window_list_toplevels();
            for (GList* l = toplevels; l; l = l->next)
                if (GTK_IS_DIALOG(l->data) && gtk_widget_get_mapped(GTK_WIDGET(l->data)) &&
                    waiting->wanted(GTK_WIDGET(l->data), waiting->data))
                    found = GTK_WIDGET(l->data);
            g_list_free(toplevels);
            if (!found)
                return gboolean(TRUE);
            waiting->respond(found, waiting->data);
            delete waiting;
            return gboolean(FALSE);
        },
        new Waiting{wanted, respond, data});
}

// What one run of Setup with another path saw and did.
struct SetupRun {
    const Answer* answer = nullptr;
    std::string other_path;
    std::string question;
    int setup_rounds = 0;         // how often the Setup dialog was answered
    std::string entry_after_cancel; // the file entry's text when the dialog came back after Cancel
};

bool is_question(GtkWidget* dialog, void*)
{
    return GTK_IS_MESSAGE_DIALOG(dialog);
}

bool is_setup_alone(GtkWidget* dialog, void*)
{
    if (GTK_IS_MESSAGE_DIALOG(dialog))
        return false;
    // The question is gone (destroyed or at least unmapped) and Setup runs again.
    bool question_shown = false;
    GList* toplevels = gtk_window_list_toplevels();
    for (GList* l = toplevels; l; l = l->next)
        question_shown = question_shown || (GTK_IS_MESSAGE_DIALOG(l->data) && gtk_widget_get_mapped(GTK_WIDGET(l->data)));
    g_list_free(toplevels);
    return !question_shown && test::main_window().setup.file_entry &&
           gtk_widget_get_toplevel(test::main_window().setup.file_entry) == dialog;
}

void answer_setup_question(GtkWidget* dialog, void* data)
{
    auto& run = *static_cast<SetupRun*>(data);
    gchar* text = nullptr;
    g_object_get(dialog, "text", &text, nullptr);
    run.question = text ? text : "";
    g_free(text);
    if (run.answer == &CANCEL) {
        // Back in Setup, which stays open with what was typed; then Setup itself is cancelled.
        respond_to(is_setup_alone,
                   [](GtkWidget* setup, void* data) {
                       auto& run = *static_cast<SetupRun*>(data);
                       ++run.setup_rounds;
                       run.entry_after_cancel = gtk_entry_get_text(GTK_ENTRY(test::main_window().setup.file_entry));
                       gtk_dialog_response(GTK_DIALOG(setup), GTK_RESPONSE_CANCEL);
                   },
                   data);
    }
    press_in_dialog(dialog, run.answer->key, run.answer->modifiers);
}

// Types another path and another ssh command into Setup and presses OK.
void type_other_path(GtkWidget* setup, void* data)
{
    auto& run = *static_cast<SetupRun*>(data);
    MainWindow& main = test::main_window();
    ++run.setup_rounds;
    gtk_entry_set_text(GTK_ENTRY(main.setup.file_entry), run.other_path.c_str());
    for (const auto& field : main.setup.fields)
        if (field.value == &SettingsValues::ssh_cmd)
            gtk_entry_set_text(GTK_ENTRY(field.entry), "ssh -v %h");
    respond_to(is_question, answer_setup_question, data);
    gtk_dialog_response(GTK_DIALOG(setup), GTK_RESPONSE_OK);
}

TEST_F(SaveTest, SetupWithAnotherPathAsksSaveDiscardOrCancel)
{
    MainWindow& main = test::main_window();
    const std::string ssh_before = main.settings.values.ssh_cmd;
    for (const Answer* answer : {&CANCEL, &DISCARD, &SAVE}) {
        SCOPED_TRACE(answer->name);
        fs::remove(path_ + "~");
        gnupg_.encrypt_symmetric(ORIGINAL, PASSPHRASE);
        main.settings.values.password_file_path = path_;
        main.settings.values.ssh_cmd = ssh_before;
        test::load_fixture({});
        start_load(main, PASSPHRASE);
        ASSERT_TRUE(test::wait_for_load());
        edit(EDITED);
        ASSERT_EQ(title(), "*Sealkeep");

        SetupRun run;
        run.answer = answer;
        run.other_path = gnupg_.path() + "/other.gpg";
        test::respond_in_nested_loop(type_other_path, &run);
        show_setup_dialog(main.setup);
        ASSERT_TRUE(test::wait_until([&] { return !save_running(main.file); }));
        drain_events();

        EXPECT_EQ(run.question, "The accounts have changes that are not saved.");
        EXPECT_EQ(on_disk(), answer == &SAVE ? EDITED : ORIGINAL) << "a save goes to the file loaded";
        if (answer == &CANCEL) {
            EXPECT_EQ(run.setup_rounds, 2) << "Setup stays open after Cancel";
            EXPECT_EQ(run.entry_after_cancel, run.other_path) << "with what was typed";
            EXPECT_EQ(main.settings.values.password_file_path, path_) << "nothing applied";
            EXPECT_EQ(main.settings.values.ssh_cmd, ssh_before) << "nothing applied";
            EXPECT_TRUE(main.file.unsaved_edits);
            ASSERT_TRUE(test::document());
            EXPECT_EQ(test::document()->plaintext(), EDITED);
            continue;
        }
        EXPECT_EQ(run.setup_rounds, 1);
        EXPECT_EQ(main.settings.values.password_file_path, run.other_path);
        EXPECT_EQ(main.settings.values.ssh_cmd, "ssh -v %h");
        EXPECT_FALSE(main.file.unsaved_edits);
        EXPECT_EQ(title(), "Sealkeep");
        if (answer == &DISCARD) {
            // The discarded edits are not left on show: the prompt offers the new file.
            EXPECT_TRUE(gtk_widget_get_visible(main.prompt.panel));
            EXPECT_TRUE(test::document() == nullptr || test::document()->plaintext().empty());
            EXPECT_FALSE(main.file.loaded_file);
        } else {
            ASSERT_TRUE(test::document());
            EXPECT_EQ(test::document()->plaintext(), EDITED) << "the saved accounts stay shown until Refresh";
        }
        gtk_widget_hide(main.prompt.panel);
    }
    main.settings.values.password_file_path = path_;
    main.settings.values.ssh_cmd = ssh_before;
}

struct Typing {
    int rounds = 0;
    std::string message; // the dialog's note after the first, refused round
};

// Types into the two entries of the passphrase dialog and presses Enter: first two different texts
// (refused; the dialog stays and is answered again), then the same twice.
void type_new_passphrase(GtkWidget* dialog, void* data)
{
    auto& t = *static_cast<Typing*>(data);
    std::vector<GtkWidget*> entries;
    std::vector<GtkWidget*> labels;
    std::vector<GtkWidget*> pending{dialog};
    while (!pending.empty()) {
        GtkWidget* w = pending.back();
        pending.pop_back();
        if (GTK_IS_ENTRY(w))
            entries.push_back(w);
        else if (GTK_IS_LABEL(w))
            labels.push_back(w);
        else if (GTK_IS_CONTAINER(w))
            for (GtkWidget* child : test::child_widgets(w))
                pending.push_back(child);
    }
    if (entries.size() != 2)
        return gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
    for (GtkWidget* label : labels)
        if (std::string text = gtk_label_get_text(GTK_LABEL(label)); !text.empty() && !gtk_label_get_mnemonic_widget(GTK_LABEL(label)))
            t.message = text;
    ++t.rounds;
    for (GtkWidget* entry : entries)
        gtk_entry_set_text(GTK_ENTRY(entry), "New Pass 2");
    if (t.rounds == 1) {
        gtk_entry_set_text(GTK_ENTRY(entries[0]), "New Pass 3");
        test::respond_in_nested_loop(type_new_passphrase, data);
    }
    gtk_widget_grab_focus(entries[0]);
    gtk_test_widget_send_key(entries[0], GDK_KEY_Return, GdkModifierType(0));
}

TEST_F(SaveTest, ChangePassphraseAsksTwiceAndSavesWithTheNewOne)
{
    MainWindow& main = test::main_window();
    Typing typing;
    test::respond_in_nested_loop(type_new_passphrase, &typing);
    change_passphrase(main.file);
    ASSERT_TRUE(test::wait_until([&] { return !save_running(main.file); }));
    EXPECT_EQ(typing.rounds, 2);
    EXPECT_EQ(typing.message, "The two passphrases differ.");
    EXPECT_EQ(gpg_decrypt(path_, "New Pass 2"), ORIGINAL);
    EXPECT_FALSE(gpg_decrypt(path_, PASSPHRASE).has_value());
    EXPECT_EQ(main.file.loaded_file->passphrase.view(), "New Pass 2");
}

// A lock comes while edits are unsaved: it saves them and drops the document. When that save fails, the
// edits must not go with the document: the error says they are kept, the title keeps its mark, and the
// unlock shows them again, unsaved, as edits of the file as it was (a change by someone else is still
// refused). Each way the save can fail, then the unlock and a save.
TEST_F(SaveTest, ALockWhoseSaveFailsKeepsTheEditsForTheUnlock)
{
    MainWindow& main = test::main_window();
    const std::string stand_in_dir = fs::path(path_).parent_path() / "stand-in";
    fs::create_directories(stand_in_dir);
    {
        std::ofstream(stand_in_dir + "/gpg") << "#!/bin/sh\necho 'gpg: simulated failure' >&2\nexit 2\n";
        fs::permissions(stand_in_dir + "/gpg", fs::perms::owner_all);
    }
    const std::string theirs_plaintext = "Theirs;;h;ssh;;u;p\n";
    struct Case {
        const char* how;
        bool changed_by_others; // else gpg fails
    };
    for (const Case& failure : {Case{"gpg fails", false}, Case{"the file changed on disk", true}}) {
        SCOPED_TRACE(failure.how);
        edit(EDITED);
        if (failure.changed_by_others) {
            test::GnupgHome other;
            fs::copy_file(other.encrypt_symmetric(theirs_plaintext, PASSPHRASE), path_,
                          fs::copy_options::overwrite_existing);
        }
        const std::string before = on_disk();
        std::string message;
        close_error_keeping_its_text(message);
        {
            const std::string saved_path = std::getenv("PATH");
            if (!failure.changed_by_others)
                setenv("PATH", (stand_in_dir + ":" + saved_path).c_str(), 1);
            lock_window(main);
            EXPECT_FALSE(test::document() && test::document()->accounts() > 0) << "the lock drops the tree";
            ASSERT_TRUE(test::wait_until([&] { return !save_running(main.file) && !message.empty(); }));
            setenv("PATH", saved_path.c_str(), 1);
        }
        EXPECT_NE(message.find("your changes are kept and come back when you unlock"), std::string::npos) << message;
        EXPECT_EQ(on_disk(), before) << "nothing written";
        EXPECT_EQ(title(), "*Sealkeep") << "the edits are still unsaved";
        EXPECT_TRUE(main.file.held_edits);

        // A wrong passphrase first: the edits stay held and marked, so that quitting now would still ask.
        start_load(main, "not the passphrase");
        ASSERT_TRUE(test::wait_for_load());
        EXPECT_TRUE(main.file.held_edits);
        EXPECT_EQ(title(), "*Sealkeep");

        // The unlock.
        start_load(main, PASSPHRASE);
        ASSERT_TRUE(test::wait_for_load());
        gtk_widget_hide(main.prompt.panel);
        ASSERT_TRUE(test::document());
        EXPECT_EQ(test::document()->plaintext(), EDITED);
        EXPECT_EQ(title(), "*Sealkeep");
        EXPECT_EQ(test::status_text(), "Your changes from before the lock are back; they are not saved yet.");
        EXPECT_FALSE(main.file.held_edits);

        // Only a refused save asks something.
        std::string question;
        if (failure.changed_by_others)
            test::respond_in_nested_loop(
                [](GtkWidget* dialog, void* data) {
                    gchar* text = nullptr;
                    g_object_get(dialog, "text", &text, nullptr);
                    *static_cast<std::string*>(data) = text ? text : "";
                    g_free(text);
                    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
                },
                &question);
        save_document(main.file);
        ASSERT_TRUE(test::wait_until([&] { return !save_running(main.file) && (!question.empty() || !main.file.unsaved_edits); }));
        if (failure.changed_by_others) {
            EXPECT_EQ(question, "The password file was changed since it was loaded.");
            EXPECT_EQ(on_disk(), theirs_plaintext);
            EXPECT_TRUE(main.file.unsaved_edits);
        } else {
            EXPECT_EQ(question, "");
            EXPECT_EQ(on_disk(), EDITED);
            EXPECT_EQ(title(), "Sealkeep");
        }
    }
}

// Edits made while a save runs are in the document only. A lock then takes the document: they are kept
// for the unlock, as edits of the file that save writes, whether it is written or fails.
TEST_F(SaveTest, EditsMadeWhileASaveRunsOutliveALock)
{
    MainWindow& main = test::main_window();
    const std::string later = EDITED + test::record_line("Dune;;srv10;ssh;;dan;pw-d") + "\n";
    const std::string stand_in_dir = fs::path(path_).parent_path() / "slow";
    fs::create_directories(stand_in_dir);
    gchar* real_gpg = g_find_program_in_path("gpg");
    ASSERT_TRUE(real_gpg);
    const std::string run_gpg = std::string("exec ") + real_gpg + " \"$@\"\n";
    g_free(real_gpg);
    struct Case {
        const char* how;
        std::string gpg; // the stand-in: a second's wait, then the real gpg or a failure
        bool written;
    } cases[] = {
        {"the save is written", "#!/bin/sh\nsleep 1\n" + run_gpg, true},
        {"the save fails", "#!/bin/sh\nsleep 1\necho 'gpg: simulated failure' >&2\nexit 2\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        SetUp();
        {
            std::ofstream(stand_in_dir + "/gpg") << c.gpg;
            fs::permissions(stand_in_dir + "/gpg", fs::perms::owner_all);
        }
        // Only a failed save says something.
        std::string message;
        if (!c.written)
            close_error_keeping_its_text(message);
        edit(EDITED);
        const std::string saved_path = std::getenv("PATH");
        setenv("PATH", (stand_in_dir + ":" + saved_path).c_str(), 1);
        save_document(main.file);
        ASSERT_TRUE(save_running(main.file));
        edit(later);
        lock_window(main);
        ASSERT_TRUE(test::wait_until([&] { return !save_running(main.file) && (c.written || !message.empty()); }));
        setenv("PATH", saved_path.c_str(), 1);
        EXPECT_EQ(on_disk(), c.written ? EDITED : ORIGINAL);
        EXPECT_TRUE(main.file.held_edits);
        EXPECT_EQ(title(), "*Sealkeep");
        if (!c.written) {
            EXPECT_NE(message.find("your changes are kept and come back when you unlock"), std::string::npos)
                << message;
        }

        start_load(main, PASSPHRASE);
        ASSERT_TRUE(test::wait_for_load());
        gtk_widget_hide(main.prompt.panel);
        ASSERT_TRUE(test::document());
        EXPECT_EQ(test::document()->plaintext(), later);
        EXPECT_EQ(title(), "*Sealkeep");
        // They stand on the file as it is now: the save is not refused as a change by someone else.
        save_document(main.file);
        ASSERT_TRUE(test::wait_until([&] { return !save_running(main.file); }));
        EXPECT_EQ(on_disk(), later);
        EXPECT_EQ(title(), "Sealkeep");
    }
}

// Edits a lock kept go when the user discards them: nothing comes back at the unlock.
TEST_F(SaveTest, EditsALockKeptCanBeDiscarded)
{
    MainWindow& main = test::main_window();
    edit(EDITED);
    test::GnupgHome other;
    fs::copy_file(other.encrypt_symmetric("Theirs;;h;ssh;;u;p\n", PASSPHRASE), path_, fs::copy_options::overwrite_existing);
    test::respond_in_nested_loop(
        [](GtkWidget* dialog, void*) { gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CLOSE); }, nullptr);
    lock_window(main);
    ASSERT_TRUE(test::wait_until([&] { return !save_running(main.file) && main.file.held_edits; }));
    // Refresh while locked asks; Discard.
    test::respond_in_nested_loop(
        [](GtkWidget* dialog, void*) { gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_REJECT); }, nullptr);
    refresh_entries(main);
    EXPECT_FALSE(main.file.held_edits);
    EXPECT_EQ(title(), "Sealkeep");
    start_load(main, PASSPHRASE);
    ASSERT_TRUE(test::wait_for_load());
    gtk_widget_hide(main.prompt.panel);
    EXPECT_EQ(test::document()->plaintext(), "Theirs;;h;ssh;;u;p\n");
    EXPECT_FALSE(main.file.unsaved_edits);
}

// What a lock that comes while a dialog is open leaves shown.
struct LockInDialog {
    std::string title;         // of the dialog opened
    bool through_generate;     // the lock comes while the Generate popup is open over it
    int left_open = 0;         // dialogs still shown a second after the lock
};

// Locks; whatever is still shown a second later the lock did not close: counted, then cancelled.
void lock_and_count_left_open(GtkWidget*, void* data)
{
    lock_window(test::main_window());
    g_timeout_add(
        1000,
        [](gpointer data) {
            GListPtr toplevels{gtk_window_list_toplevels()};
            for (GList* window = toplevels.get(); window; window = window->next)
                if (GTK_IS_DIALOG(window->data) && gtk_widget_get_mapped(GTK_WIDGET(window->data))) {
                    ++static_cast<LockInDialog*>(data)->left_open;
                    gtk_dialog_response(GTK_DIALOG(window->data), GTK_RESPONSE_CANCEL);
                }
            return gboolean(FALSE);
        },
        data);
}

GtkWidget* button_labelled(GtkWidget* widget, const char* label)
{
    if (GTK_IS_BUTTON(widget) && g_strcmp0(gtk_button_get_label(GTK_BUTTON(widget)), label) == 0)
        return widget;
    if (GTK_IS_CONTAINER(widget))
        for (GtkWidget* child : test::child_widgets(widget))
            if (GtkWidget* found = button_labelled(child, label))
                return found;
    return nullptr;
}

// A lock that comes while a dialog shows account data (the idle time runs out, the screen saver starts)
// closes it as Cancel: nothing of an account stays on a locked screen, and nothing typed is applied to a
// document the lock took away. The Generate popup closes with the dialog under it.
TEST_F(SaveTest, ALockClosesTheDialogsThatShowAccounts)
{
    MainWindow& main = test::main_window();
    struct Case {
        const char* dialog;
        void (*open)(MainWindow&);
        bool through_generate;
    };
    const Case cases[] = {
        {"Edit account", [](MainWindow& m) { edit_account_command(m.editing); }, false},
        {"Edit account", [](MainWindow& m) { edit_account_command(m.editing); }, true},
        {"Change password", [](MainWindow& m) { change_password_command(m.editing); }, false},
        {"Change passphrase", [](MainWindow& m) { change_passphrase(m.file); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.dialog) + (c.through_generate ? ", Generate open" : ""));
        if (!test::document() || test::document()->accounts() == 0) {
            start_load(main, PASSPHRASE);
            ASSERT_TRUE(test::wait_for_load());
            gtk_widget_hide(main.prompt.panel);
        }
        TreePathPtr user{gtk_tree_path_new_from_string("0:0:0:0:0:0")};
        gtk_tree_view_expand_to_path(main.tree.view, user.get());
        gtk_tree_view_set_cursor(main.tree.view, user.get(), nullptr, FALSE);
        ASSERT_EQ(test::row_text("0:0:0:0:0:0"), "alice");

        LockInDialog seen{"", c.through_generate};
        test::respond_in_nested_loop(
            [](GtkWidget* dialog, void* data) {
                auto* seen = static_cast<LockInDialog*>(data);
                seen->title = gtk_window_get_title(GTK_WINDOW(dialog));
                if (!seen->through_generate) {
                    lock_and_count_left_open(dialog, data);
                    return;
                }
                test::respond_in_nested_loop(&lock_and_count_left_open, data);
                gtk_button_clicked(GTK_BUTTON(button_labelled(dialog, "Ge_nerate")));
            },
            &seen);
        c.open(main);
        test::wait_until([] { return false; }, 2); // the count a second after the lock
        EXPECT_EQ(seen.title, c.dialog);
        EXPECT_EQ(seen.left_open, 0);
        EXPECT_FALSE(main.file.unsaved_edits);
        EXPECT_EQ(on_disk(), ORIGINAL);
        EXPECT_EQ(test::status_text(), "Locked.");
    }
}

TEST_F(SaveTest, RefreshAndLockForgetThePassphrase)
{
    MainWindow& main = test::main_window();
    ASSERT_EQ(main.file.loaded_file->passphrase.view(), PASSPHRASE);
    EXPECT_TRUE(main.file.loaded_file->passphrase.locked()) << "kept in memory that is not swapped out";
    refresh_entries(main);
    EXPECT_FALSE(main.file.loaded_file);
    start_load(main, PASSPHRASE);
    ASSERT_TRUE(test::wait_for_load());
    ASSERT_TRUE(main.file.loaded_file);
    lock_window(main);
    EXPECT_FALSE(main.file.loaded_file);
    gtk_widget_hide(main.prompt.panel);
}

} // namespace
} // namespace sealkeep
