// The widgets speak the user's language: built under French and under German with this build's
// catalogues, every text that passes through gettext shows translated, and the texts that are meant to
// stay as they are (the program's name, the two search-button tooltips) do.
#include "core/document_edit.h"
#include "gui/gui_support.h"
#include "ui/actions/account_edits.h"
#include "ui/dialogs/account_dialog.h"
#include "ui/dialogs/password_change_dialog.h"
#include "ui/dialogs/password_field.h"
#include "ui/dialogs/setup_dialog.h"
#include "ui/file/save_job.h"
#include "ui/file/unsaved_edits.h"
#include "ui/glib_ptr.h"
#include "ui/i18n.h"
#include "ui/prompt/passphrase_prompt.h"
#include "ui/search/search_bar.h"
#include "ui/window/main_window.h"
#include "ui/window/menus.h"
#include "ui/window/view_commands.h"

#include <gtest/gtest.h>
#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>
#include <libintl.h>

#include <clocale>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace sealkeep {
namespace {

using Texts = std::set<std::string>;

// Every text a person can read on a widget and its descendants: labels (with their mnemonic
// underscores), entry texts, frame labels, tool-button labels, tooltips, window titles, and the
// items of menus hanging off menu items.
void collect_texts(GtkWidget* widget, Texts& texts)
{
    auto add = [&texts](const char* text) {
        if (text && *text)
            texts.insert(text);
    };
    if (GTK_IS_LABEL(widget))
        add(gtk_label_get_label(GTK_LABEL(widget)));
    if (GTK_IS_ENTRY(widget))
        add(gtk_entry_get_text(GTK_ENTRY(widget)));
    if (GTK_IS_FRAME(widget))
        add(gtk_frame_get_label(GTK_FRAME(widget)));
    if (GTK_IS_TOOL_BUTTON(widget))
        add(gtk_tool_button_get_label(GTK_TOOL_BUTTON(widget)));
    if (GTK_IS_WINDOW(widget))
        add(gtk_window_get_title(GTK_WINDOW(widget)));
    GCharPtr tooltip{gtk_widget_get_tooltip_text(widget)};
    add(tooltip.get());
    if (GTK_IS_MENU_ITEM(widget))
        if (GtkWidget* submenu = gtk_menu_item_get_submenu(GTK_MENU_ITEM(widget)))
            collect_texts(submenu, texts);
    if (GTK_IS_CONTAINER(widget))
        gtk_container_forall(
            GTK_CONTAINER(widget),
            [](GtkWidget* child, gpointer data) { collect_texts(child, *static_cast<Texts*>(data)); }, &texts);
}

// Messages in `language` from this build's catalogues while the object lives. LANGUAGE is ignored
// under the plain C locale, hence C.UTF-8. Afterwards the locale, LANGUAGE and the domain's folder are
// as they were, so the other tests of this process keep seeing the English texts.
class Language {
public:
    explicit Language(const char* language)
    {
        const char* build_dir = std::getenv("SEALKEEP_BUILD_DIR");
        if (!build_dir)
            ADD_FAILURE() << "SEALKEEP_BUILD_DIR is not set: run this test through ctest";
        locale_dir_ = std::string(build_dir ? build_dir : ".") + "/locale";
        previous_locale_ = std::setlocale(LC_ALL, nullptr);
        previous_dir_ = bindtextdomain(SEALKEEP_TEXT_DOMAIN, nullptr);
        if (const char* previous = std::getenv("LANGUAGE"))
            previous_language_ = previous;

        setenv("LANGUAGE", language, 1);
        if (!std::setlocale(LC_ALL, "C.UTF-8"))
            ADD_FAILURE() << "the C.UTF-8 locale is missing";
        bindtextdomain(SEALKEEP_TEXT_DOMAIN, locale_dir_.c_str());
        bind_textdomain_codeset(SEALKEEP_TEXT_DOMAIN, "UTF-8");
    }

    ~Language()
    {
        if (previous_language_)
            setenv("LANGUAGE", previous_language_->c_str(), 1);
        else
            unsetenv("LANGUAGE");
        std::setlocale(LC_ALL, previous_locale_.c_str());
        bindtextdomain(SEALKEEP_TEXT_DOMAIN, previous_dir_.c_str());
    }

    const std::string& locale_dir() const { return locale_dir_; }

private:
    std::string locale_dir_;
    std::string previous_locale_;
    std::string previous_dir_;
    std::optional<std::string> previous_language_;
};

// A builder's widgets, owned here and destroyed afterwards, built around a window state of their own,
// so the main window and its state are left untouched.
Texts texts_of_new(const std::function<GtkWidget*(MainWindow&)>& build)
{
    MainWindow scratch;
    RefPtr<GtkWidget> widget = take_ref(GTK_WIDGET(g_object_ref_sink(build(scratch))));
    Texts texts;
    collect_texts(widget.get(), texts);
    gtk_widget_destroy(widget.get());
    return texts;
}

// Opens a dialog through `open` (which runs it in a nested loop), collects its texts once it is shown
// and answers `response`, which ends that loop.
Texts texts_of_dialog(const std::function<void()>& open, int response)
{
    struct Capture {
        Texts texts;
        int response;
    } capture{{}, response};
    test::respond_in_nested_loop(
        [](GtkWidget* dialog, void* data) {
            auto* capture = static_cast<Capture*>(data);
            collect_texts(dialog, capture->texts);
            // The About dialog shows these in markup of its own; its properties hold them plainly.
            if (GTK_IS_ABOUT_DIALOG(dialog)) {
                GtkAboutDialog* about = GTK_ABOUT_DIALOG(dialog);
                for (const char* text : {gtk_about_dialog_get_program_name(about), gtk_about_dialog_get_version(about),
                                         gtk_about_dialog_get_comments(about)})
                    if (text)
                        capture->texts.insert(text);
            }
            gtk_dialog_response(GTK_DIALOG(dialog), capture->response);
        },
        &capture);
    open();
    test::drain_events();
    return capture.texts;
}

struct Surface {
    const char* name;
    std::function<Texts()> texts;
    std::vector<const char*> translated; // msgids that must show as their translation
    std::vector<const char*> unchanged;  // texts that must show as they are, in every language
};

std::vector<Surface> surfaces()
{
    return {
        {"menu bar",
         [] {
             // Not the window's group: the window must not get a second set of shortcuts.
             RefPtr<GtkAccelGroup> accel_group = take_ref(gtk_accel_group_new());
             return texts_of_new([&](MainWindow& main) { return create_menu_bar(accel_group.get(), main); });
         },
         {"_File", "_Open file", "_Action", "Copy command line", "Copy password", "Copy password & Execute",
          "_View", "Collapse all", "Expand a little", "Expand all", "Unselect all", "_Help"},
         {}},
        {"toolbar",
         [] { return texts_of_new([](MainWindow& main) { return create_toolbar(main); }); },
         {"Copy cmd line", "Copy command line.", "Copy passwd", "Copy password.", "Copy & Execute",
          "Copy password and execute command line.", "Execute command line."},
         {}},
        {"passphrase prompt",
         [] { return texts_of_new([](MainWindow& main) { return create_passphrase_prompt(main.prompt); }); },
         {"Please enter your PGP Passphrase:"},
         {}},
        {"search bar",
         [] { return texts_of_new([](MainWindow& main) { return create_search_bar(main.search); }); },
         {"Search : ", "enter your search here", "Filter", "Show only the matching rows."},
         {"Find forward.", "Find back."}},
        {"Setup dialog",
         [] { return texts_of_dialog([] { show_setup_dialog(test::main_window().setup); }, GTK_RESPONSE_CANCEL); },
         {"Setup", "Password file database encrypted whith GnuPG:", "Default file", "External commands to launch:",
          "SSH command", "CSSH command", "FTP command", "TELNET command", "HTTP command"},
         {}},
        {"password-file chooser",
         [] { return texts_of_dialog([] { choose_password_file(test::main_window().setup); }, GTK_RESPONSE_CANCEL); },
         {"Select a new password file"},
         {}},
        {"About dialog",
         [] { return texts_of_dialog([] { show_about_dialog(test::main_window()); }, GTK_RESPONSE_CANCEL); },
         {"Lightweight password manager based on GPG and GTK+."},
         {"Sealkeep", "0.12.1"}},
    };
}

class TranslatedWidgets : public testing::TestWithParam<const char*> {};

TEST_P(TranslatedWidgets, EveryTextShowsInTheLanguage)
{
    Language language(GetParam());
    for (const Surface& surface : surfaces()) {
        SCOPED_TRACE(surface.name);
        const Texts shown = surface.texts();
        for (const char* msgid : surface.translated) {
            const std::string translation = g_dgettext(SEALKEEP_TEXT_DOMAIN, msgid);
            EXPECT_NE(translation, msgid) << "no " << GetParam() << " translation in " << language.locale_dir()
                                          << " for \"" << msgid << "\"";
            EXPECT_TRUE(shown.count(translation)) << "\"" << translation << "\" is not shown";
            EXPECT_FALSE(shown.count(msgid)) << "\"" << msgid << "\" is shown untranslated";
        }
        for (const char* text : surface.unchanged)
            EXPECT_TRUE(shown.count(text)) << "\"" << text << "\" should stay as it is";
    }
}

INSTANTIATE_TEST_SUITE_P(Languages, TranslatedWidgets, testing::Values("fr", "de"),
                         [](const testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

// A mnemonic a menu holds twice only selects: the keyboard user's Alt+letter must reach one item. The
// stock items' labels come from the toolkit's own catalogue, so a translation of ours can clash with one
// it never sees; each menu is checked as the user gets it, the menu bar's titles among themselves too.
std::vector<std::string> mnemonic_clashes(GtkWidget* menu_shell, const std::string& where)
{
    std::vector<std::string> clashes;
    std::map<guint, std::string> seen;
    for (GtkWidget* item : test::child_widgets(menu_shell)) {
        GtkWidget* child = gtk_bin_get_child(GTK_BIN(item));
        if (!child || !GTK_IS_LABEL(child))
            continue;
        const guint key = gdk_keyval_to_lower(gtk_label_get_mnemonic_keyval(GTK_LABEL(child)));
        const std::string label = gtk_label_get_label(GTK_LABEL(child));
        if (key != GDK_KEY_VoidSymbol) {
            if (const auto [at, fresh] = seen.emplace(key, label); !fresh)
                clashes.push_back(where + ": \"" + at->second + "\" and \"" + label + "\"");
        }
        if (GtkWidget* submenu = gtk_menu_item_get_submenu(GTK_MENU_ITEM(item))) {
            const auto inner = mnemonic_clashes(submenu, label);
            clashes.insert(clashes.end(), inner.begin(), inner.end());
        }
    }
    return clashes;
}

class MenuMnemonics : public testing::TestWithParam<const char*> {};

TEST_P(MenuMnemonics, NoMenuHoldsAMnemonicTwice)
{
    Language language(GetParam());
    RefPtr<GtkAccelGroup> accel_group = take_ref(gtk_accel_group_new());
    for (const bool status_icon : {false, true}) {
        MainWindow scratch;
        RefPtr<GtkWidget> menu = take_ref(GTK_WIDGET(g_object_ref_sink(
            status_icon ? create_status_icon_menu(scratch) : create_menu_bar(accel_group.get(), scratch))));
        EXPECT_EQ(mnemonic_clashes(menu.get(), status_icon ? "status icon menu" : "menu bar"),
                  std::vector<std::string>{});
        gtk_widget_destroy(menu.get());
    }
}

// "C" is the English of the sources.
INSTANTIATE_TEST_SUITE_P(Languages, MenuMnemonics, testing::Values("C", "fr", "de"),
                         [](const testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

// The same in the dialogs of editing and saving: every label and button of one dialog, the toolkit's
// Cancel and OK among them, has a mnemonic of its own.
void collect_mnemonics(GtkWidget* widget, std::map<guint, std::string>& seen, std::vector<std::string>& clashes)
{
    if (GTK_IS_LABEL(widget)) {
        const guint key = gdk_keyval_to_lower(gtk_label_get_mnemonic_keyval(GTK_LABEL(widget)));
        const std::string label = gtk_label_get_label(GTK_LABEL(widget));
        if (key != GDK_KEY_VoidSymbol)
            if (const auto [at, fresh] = seen.emplace(key, label); !fresh)
                clashes.push_back("\"" + at->second + "\" and \"" + label + "\"");
    }
    if (GTK_IS_CONTAINER(widget))
        for (GtkWidget* child : test::child_widgets(widget))
            collect_mnemonics(child, seen, clashes);
}

struct DialogSeen {
    std::vector<std::string> titles;
    std::vector<std::string> clashes;
};

// Opens a dialog through `open`, notes its title and its clashes, and cancels it.
void note_dialog(const std::function<void()>& open, DialogSeen& seen)
{
    test::respond_in_nested_loop(
        [](GtkWidget* dialog, void* data) {
            auto* seen = static_cast<DialogSeen*>(data);
            std::map<guint, std::string> keys;
            std::vector<std::string> found;
            collect_mnemonics(dialog, keys, found);
            const char* title = gtk_window_get_title(GTK_WINDOW(dialog));
            seen->titles.push_back(title ? title : "");
            for (const std::string& clash : found)
                seen->clashes.push_back(seen->titles.back() + ": " + clash);
            gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
        },
        &seen);
    open();
    test::drain_events();
}

class DialogMnemonics : public testing::TestWithParam<const char*> {};

TEST_P(DialogMnemonics, NoDialogOfEditingHoldsAMnemonicTwice)
{
    Language language(GetParam());
    MainWindow& main = test::main_window();
    ASSERT_TRUE(test::load_fixture({"customer=A;group=;server=s;service=ssh;serviceplus=;user=u;password=p",
                                   "customer=A;group=;server=s;service=ssh;serviceplus=;user=v;password=q"}));
    auto file = std::make_unique<LoadedFile>();
    file->path = "/nonexistent/accounts.gpg";
    file->symmetric = true; // its digest unknown: a save asks what to do
    main.file.loaded_file = std::move(file);

    DialogSeen seen;
    const auto check = [&seen](const std::function<void()>& open) { note_dialog(open, seen); };
    check([&] {
        AccountText values;
        run_account_dialog(GTK_WINDOW(main.window), main.settings, "account", values);
    });
    check([&] {
        std::string user = "u";
        std::string password;
        run_password_change_dialog(GTK_WINDOW(main.window), main.settings, user, password, [](std::string_view) { return std::size_t{1}; });
    });
    check([&] {
        PasswordField* field = create_password_field(main.settings, GTK_WINDOW(main.window));
        RefPtr<GtkWidget> row = take_ref(GTK_WIDGET(g_object_ref_sink(field->row)));
        RefPtr<GtkWidget> strength = take_ref(GTK_WIDGET(g_object_ref_sink(field->strength)));
        generate_into_field(*field);
        gtk_widget_destroy(row.get());
        gtk_widget_destroy(strength.get());
    });
    check([&] { change_passphrase(main.file); });
    check([&] { save_document(main.file); }); // the file changed while it was loaded: save elsewhere or reload?
    check([&] {
        TreePathPtr customer{gtk_tree_path_new_from_string("0")};
        gtk_tree_view_set_cursor(main.tree.view, customer.get(), nullptr, FALSE);
        delete_accounts_command(main.editing); // two accounts: asks first
    });
    check([&] {
        main.file.unsaved_edits = true;
        may_drop_edits(main.file, {});
        main.file.unsaved_edits = false;
    });
    EXPECT_EQ(seen.titles.size(), 7u) << "each dialog opened once";
    EXPECT_EQ(seen.clashes, std::vector<std::string>{});
    main.file.loaded_file.reset();
    test::load_fixture({});
}

INSTANTIATE_TEST_SUITE_P(Languages, DialogMnemonics, testing::Values("C", "fr", "de"),
                         [](const testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

// The catalogue must not leak past its test: back in the C locale the same builders speak English.
TEST(TranslatedWidgets, OtherTestsStillSeeEnglish)
{
    { Language french("fr"); }
    const Texts shown = texts_of_new([](MainWindow& main) { return create_search_bar(main.search); });
    EXPECT_TRUE(shown.count("Search : "));
    EXPECT_TRUE(shown.count("enter your search here"));
}

} // namespace
} // namespace sealkeep
