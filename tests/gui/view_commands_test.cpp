// The View commands, Refresh and About in the real main window, on a loaded fixture tree.
#include "gui/gui_support.h"

#include "core/entry_record.h"
#include "ui/glib_ptr.h"
#include "ui/search/search_bar.h"
#include "ui/tree/entry_store.h"
#include "ui/window/main_window.h"
#include "ui/window/view_commands.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <string>
#include <vector>

namespace sealkeep {
namespace {

using test::drain_events;
using test::load_fixture;

// Acme is six levels deep (group and service detail present), Other four (neither).
const std::vector<std::string> DEEP_FIXTURE = {
    "customer=Acme;group=Prod;server=web1;service=ssh;serviceplus=port2222;user=root;password=a1",
    "customer=Acme;group=Prod;server=web1;service=http;serviceplus=;user=admin;password=a2",
    "customer=Other;group=;server=mail;service=ssh;serviceplus=;user=root;password=o1",
};

GtkTreeView* tree_view()
{
    return GTK_TREE_VIEW(GTK_WIDGET(test::main_window().tree.view));
}

using test::path_string;

using test::expanded_paths;

void open_row(const char* where)
{
    TreePathPtr path{gtk_tree_path_new_from_string(where)};
    gtk_tree_view_expand_to_path(tree_view(), path.get());
}

std::string cursor_path()
{
    GtkTreePath* raw = nullptr;
    gtk_tree_view_get_cursor(tree_view(), &raw, nullptr);
    TreePathPtr path{raw};
    return path ? path_string(path.get()) : std::string{};
}

int top_level_rows()
{
    return gtk_tree_model_iter_n_children(gtk_tree_view_get_model(tree_view()), nullptr);
}

TEST(ViewCommands, ExpandALittleOpensThreeLevelsAndClosesNothing)
{
    ASSERT_EQ(load_fixture(DEEP_FIXTURE), 1);
    using Paths = std::vector<std::string>;

    gtk_tree_view_collapse_all(tree_view());
    expand_a_little(test::main_window());
    // Customers and their children open, so their grandchildren show; nothing below those.
    EXPECT_EQ(expanded_paths(), (Paths{"0", "0:0", "1", "1:0"}));

    // A row opened by hand far down stays open.
    gtk_tree_view_collapse_all(tree_view());
    open_row("0:0:0:0:0");
    expand_a_little(test::main_window());
    EXPECT_EQ(expanded_paths(), (Paths{"0", "0:0", "0:0:0", "0:0:0:0", "0:0:0:0:0", "1", "1:0"}));

    gtk_tree_view_expand_all(tree_view());
    const Paths all = expanded_paths();
    expand_a_little(test::main_window());
    EXPECT_EQ(expanded_paths(), all);
}

TEST(ViewCommands, ExpandALittleNeedsALoadedDatabase)
{
    // Rows without a successful load behind them (the flag is what the command obeys).
    ASSERT_EQ(load_fixture(DEEP_FIXTURE), 1);
    gtk_tree_view_collapse_all(tree_view());
    test::main_window().tree.database_loaded = 0;
    expand_a_little(test::main_window());
    EXPECT_EQ(expanded_paths(), std::vector<std::string>{});
    test::main_window().tree.database_loaded = 1;

    // After Refresh the tree is empty and the flag cleared; every view command is then a no-op.
    refresh_entries(test::main_window());
    drain_events();
    expand_a_little(test::main_window());
    gtk_tree_view_collapse_all(tree_view());
    gtk_tree_view_expand_all(tree_view());
    unselect_all(test::main_window());
    EXPECT_EQ(top_level_rows(), 0);
    EXPECT_EQ(expanded_paths(), std::vector<std::string>{});
}

TEST(ViewCommands, UnselectAllKeepsTheCursor)
{
    ASSERT_EQ(load_fixture(DEEP_FIXTURE), 1);
    gtk_tree_view_expand_all(tree_view());
    TreePathPtr cursor{gtk_tree_path_new_from_string("0:0:0")};
    TreePathPtr other{gtk_tree_path_new_from_string("1:0")};
    gtk_tree_view_set_cursor(tree_view(), cursor.get(), nullptr, FALSE);
    GtkTreeSelection* selection = gtk_tree_view_get_selection(tree_view());
    gtk_tree_selection_select_path(selection, other.get());
    ASSERT_EQ(gtk_tree_selection_count_selected_rows(selection), 2);

    unselect_all(test::main_window());
    EXPECT_EQ(gtk_tree_selection_count_selected_rows(selection), 0);
    EXPECT_EQ(cursor_path(), "0:0:0");
}

TEST(ViewCommands, RefreshEmptiesTheTreeShowsThePromptAndKeepsTheSearch)
{
    GtkWidget* prompt = test::main_window().prompt.panel;
    GtkEntry* search = GTK_ENTRY(GTK_WIDGET(test::main_window().search.entry));
    ASSERT_NE(prompt, nullptr);
    ASSERT_EQ(load_fixture(DEEP_FIXTURE), 1);
    gtk_widget_hide(prompt);
    gtk_entry_set_text(search, "root");
    drain_events();
    find_next_match(test::main_window().search);
    const std::vector<std::uint32_t> matches = test::main_window().search.matches;
    ASSERT_EQ(matches.size(), 2u);

    // The second round: Refresh while the prompt is shown and the tree empty changes nothing.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        refresh_entries(test::main_window());
        drain_events();
        EXPECT_EQ(top_level_rows(), 0);
        EXPECT_EQ(test::main_window().tree.database_loaded, 0);
        EXPECT_TRUE(test::records().empty());
        EXPECT_TRUE(gtk_widget_get_visible(prompt));
        GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(test::main_window().window));
        EXPECT_TRUE(focus && GTK_IS_ENTRY(focus) && gtk_widget_is_ancestor(focus, prompt));
        EXPECT_STREQ(gtk_entry_get_text(search), "root");
        EXPECT_EQ(test::main_window().search.matches, matches);
        EXPECT_EQ(test::main_window().search.match_index, 1u);
    }

    gtk_entry_set_text(search, "");
    drain_events();
}

// What the About dialog showed while it ran, read from inside its nested loop.
struct AboutSeen {
    bool close_by_button = true;
    GtkWidget* dialog = nullptr;  // weak: null again once the dialog is gone
    std::string program_name, version, comments, website, copyright;
    std::vector<std::string> authors;
    int logo_width = 0, logo_height = 0;
    bool transient_for_main = false, modal = false;
};

void read_and_close_about(GtkWidget* dialog, void* data)
{
    auto* seen = static_cast<AboutSeen*>(data);
    EXPECT_TRUE(GTK_IS_ABOUT_DIALOG(dialog));
    if (!GTK_IS_ABOUT_DIALOG(dialog)) {
        gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
        return;
    }
    GtkAboutDialog* about = GTK_ABOUT_DIALOG(dialog);
    seen->dialog = dialog;
    g_object_add_weak_pointer(G_OBJECT(dialog), reinterpret_cast<gpointer*>(&seen->dialog));
    seen->program_name = gtk_about_dialog_get_program_name(about);
    seen->version = gtk_about_dialog_get_version(about);
    seen->comments = gtk_about_dialog_get_comments(about);
    seen->website = gtk_about_dialog_get_website(about);
    seen->copyright = gtk_about_dialog_get_copyright(about);
    for (const gchar* const* author = gtk_about_dialog_get_authors(about); author && *author; ++author)
        seen->authors.emplace_back(*author);
    if (GdkPixbuf* logo = gtk_about_dialog_get_logo(about)) {
        seen->logo_width = gdk_pixbuf_get_width(logo);
        seen->logo_height = gdk_pixbuf_get_height(logo);
    }
    seen->transient_for_main =
        gtk_window_get_transient_for(GTK_WINDOW(dialog)) == GTK_WINDOW(test::main_window().window);
    seen->modal = gtk_window_get_modal(GTK_WINDOW(dialog));

    if (seen->close_by_button) {
        GtkWidget* close = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
        EXPECT_TRUE(close && GTK_IS_BUTTON(close));
        if (close && GTK_IS_BUTTON(close))
            gtk_button_clicked(GTK_BUTTON(close));
        else
            gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
    } else {
        // What the window manager's close button sends.
        GdkEvent* event = gdk_event_new(GDK_DELETE);
        event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(dialog)));
        event->any.send_event = TRUE;
        gtk_main_do_event(event);
        gdk_event_free(event);
    }
}

TEST(AboutDialog, ShowsItsFieldsAndGoesWhenClosed)
{
    gint dialog_size_w = 0, dialog_size_h = 0;
    ASSERT_TRUE(gtk_icon_size_lookup(GTK_ICON_SIZE_DIALOG, &dialog_size_w, &dialog_size_h));

    for (bool by_button : {true, false}) {
        SCOPED_TRACE(by_button ? "Close button" : "window manager");
        AboutSeen seen;
        seen.close_by_button = by_button;
        test::respond_in_nested_loop(read_and_close_about, &seen);
        show_about_dialog(test::main_window());
        drain_events();

        EXPECT_EQ(seen.program_name, "Sealkeep");
        EXPECT_EQ(seen.version, SEALKEEP_VERSION) << "the same version as --version prints";
        EXPECT_EQ(seen.comments, "Lightweight password manager based on GPG and GTK+.");
        EXPECT_EQ(seen.website, "https://sealkeep.net/");
        EXPECT_EQ(seen.copyright, "Copyright \u00a9 2026 The Sealkeep developers");
        EXPECT_EQ(seen.authors, (std::vector<std::string>{"Sealkeep Maintainers <maintainers@sealkeep.net>",
                                                          "Sealkeep Contributors <contributors@sealkeep.net>"}));
        EXPECT_EQ(seen.logo_width, dialog_size_w);
        EXPECT_EQ(seen.logo_height, dialog_size_h);
        EXPECT_TRUE(seen.transient_for_main);
        EXPECT_TRUE(seen.modal);  // gtk_dialog_run holds the other windows while it runs
        // Each About is a fresh dialog, gone once closed.
        EXPECT_EQ(seen.dialog, nullptr);
    }
}

} // namespace
} // namespace sealkeep
