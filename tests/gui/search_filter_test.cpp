// Filtering as you type, in the real main window: which rows the tree keeps, that they are all expanded,
// stepping through the matches shown, the whole tree back with the user's own expansion, the setting,
// and a reload while the filter is on.
#include "gui/gui_support.h"

#include "ui/actions/account_edits.h"
#include "ui/search/search_bar.h"
#include "ui/settings/settings_store.h"
#include "ui/tree/entry_store.h"
#include "ui/window/document_events.h"
#include "ui/window/main_window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sealkeep {
namespace {

// Two customers share a user name; "web" names a group, a server and a service detail.
const std::vector<std::string> FIXTURE = {
    "customer=Acme;group=Web;server=alpha;service=ssh;serviceplus=;user=alice;password=1",
    "customer=Acme;group=Web;server=bravo;service=ssh;serviceplus=;user=bob;password=2",
    "customer=Acme;group=Db;server=charlie;service=ssh;serviceplus=;user=carol;password=3",
    "customer=Beta;group=;server=delta;service=http;serviceplus=/web;user=alice;password=4",
    "customer=Gamma;group=;server=echo;service=ftp;serviceplus=;user=eve;password=5",
};

// Every row the view shows, as "path text", expanded rows included: what a person sees when scrolling.
std::vector<std::string> shown_rows()
{
    std::vector<std::string> rows;
    GtkTreeView* view = test::main_window().tree.view;
    GtkTreeModel* model = gtk_tree_view_get_model(view);
    struct Walk {
        static void children(GtkTreeView* view, GtkTreeModel* model, GtkTreeIter* parent,
                             std::vector<std::string>& rows)
        {
            GtkTreeIter iter;
            for (gboolean more = gtk_tree_model_iter_children(model, &iter, parent); more;
                 more = gtk_tree_model_iter_next(model, &iter)) {
                TreePathPtr path{gtk_tree_model_get_path(model, &iter)};
                gchar* text = nullptr;
                gtk_tree_model_get(model, &iter, COL_TEXT, &text, -1);
                rows.push_back(test::path_string(path.get()) + " " + text);
                g_free(text);
                if (gtk_tree_view_row_expanded(view, path.get()))
                    children(view, model, &iter, rows);
            }
        }
    };
    Walk::children(view, model, nullptr, rows);
    return rows;
}

std::string cursor_text()
{
    GtkTreePath* cursor = nullptr;
    gtk_tree_view_get_cursor(test::main_window().tree.view, &cursor, nullptr);
    if (!cursor)
        return {};
    TreePathPtr owned{cursor};
    GtkTreeModel* model = gtk_tree_view_get_model(test::main_window().tree.view);
    GtkTreeIter iter;
    gtk_tree_model_get_iter(model, &iter, cursor);
    gchar* text = nullptr;
    gtk_tree_model_get(model, &iter, COL_TEXT, &text, -1);
    std::string result = text ? text : "";
    g_free(text);
    return result;
}

// The view in use is the one on screen, and the others are not: a filter that fills a hidden view
// shows the user an empty tree.
bool only_the_view_in_use_is_visible()
{
    const MainWindow& main = test::main_window();
    GtkWidget* in_use = GTK_WIDGET(main.tree.view);
    bool others_hidden = true;
    for (GtkTreeView* view : {main.tree.whole_view, main.tree.spare_whole_view, main.tree.filter_view, main.tree.spare_filter_view})
        if (view != main.tree.view)
            others_hidden = others_hidden && !gtk_widget_get_visible(gtk_widget_get_parent(GTK_WIDGET(view)));
    return gtk_widget_get_visible(in_use) && gtk_widget_get_visible(gtk_widget_get_parent(in_use)) && others_hidden;
}

// The filter views not shown hold no model, so nothing of an earlier filter (nor its document) stays.
bool hidden_filter_views_are_empty()
{
    const MainWindow& main = test::main_window();
    for (GtkTreeView* view : {main.tree.filter_view, main.tree.spare_filter_view})
        if (view != main.tree.view && gtk_tree_view_get_model(view))
            return false;
    return true;
}

void type(const char* text)
{
    gtk_entry_set_text(test::main_window().search.entry, text);
    test::drain_events();
}

class SearchFilter : public ::testing::Test {
protected:
    void SetUp() override
    {
        set_search_filter(test::main_window().search, false);
        type("");
        ASSERT_EQ(test::load_fixture(FIXTURE), 1);
    }
    void TearDown() override
    {
        set_search_filter(test::main_window().search, false);
        type("");
        clear_document(test::main_window());
    }
};

TEST_F(SearchFilter, ShowsMatchesTheirAncestorsAndAllUnderThemExpanded)
{
    set_search_filter(test::main_window().search, true);
    const struct {
        const char* search;
        std::vector<std::string> rows;
    } cases[] = {
        // A user row: its ancestors only, in both customers.
        {"alice",
         {"0 Acme", "0:0 Web", "0:0:0 alpha", "0:0:0:0 ssh", "0:0:0:0:0 alice", "1 Beta", "1:0 delta", "1:0:0 http",
          "1:0:0:0 /web", "1:0:0:0:0 alice"}},
        // A group row: everything under it too, and a detail row elsewhere that matches as well.
        {"web",
         {"0 Acme", "0:0 Web", "0:0:0 alpha", "0:0:0:0 ssh", "0:0:0:0:0 alice", "0:0:1 bravo", "0:0:1:0 ssh",
          "0:0:1:0:0 bob", "1 Beta", "1:0 delta", "1:0:0 http", "1:0:0:0 /web", "1:0:0:0:0 alice"}},
        {"nothing like it", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.search);
        type(c.search);
        EXPECT_EQ(shown_rows(), c.rows);
    }
}

TEST_F(SearchFilter, NextAndPreviousStepThroughTheMatchesShown)
{
    set_search_filter(test::main_window().search, true);
    type("alice");
    ASSERT_EQ(test::main_window().search.matches.size(), 2u);
    GtkTreePath* second = search_match_path(test::main_window().search, test::main_window().search.matches[1]);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(test::path_string(second), "1:0:0:0:0");
    gtk_tree_path_free(second);
    EXPECT_EQ(cursor_text(), "alice");
    find_next_match(test::main_window().search);
    GtkTreePath* cursor = nullptr;
    gtk_tree_view_get_cursor(test::main_window().tree.view, &cursor, nullptr);
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(test::path_string(cursor), "1:0:0:0:0");
    gtk_tree_path_free(cursor);
    find_next_match(test::main_window().search);
    find_previous_match(test::main_window().search);
    gtk_tree_view_get_cursor(test::main_window().tree.view, &cursor, nullptr);
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(test::path_string(cursor), "1:0:0:0:0");
    gtk_tree_path_free(cursor);
}

TEST_F(SearchFilter, EmptyingTheTextOrTurningItOffShowsTheWholeTreeAsTheUserHadIt)
{
    // The user's own expansion: Gamma open, the rest closed.
    TreePathPtr gamma{gtk_tree_path_new_from_string("2")};
    gtk_tree_view_expand_row(test::main_window().tree.view, gamma.get(), FALSE);
    const std::vector<std::string> before = shown_rows();
    ASSERT_EQ(before, (std::vector<std::string>{"0 Acme", "1 Beta", "2 Gamma", "2:0 echo"}));

    set_search_filter(test::main_window().search, true);
    for (const char* way_out : {"empty", "two bytes", "off"}) {
        SCOPED_TRACE(way_out);
        set_search_filter(test::main_window().search, true);
        type("carol");
        EXPECT_EQ(shown_rows().size(), 5u);
        EXPECT_EQ(test::main_window().tree.view, test::main_window().tree.filter_view);
        EXPECT_TRUE(only_the_view_in_use_is_visible());
        if (std::string(way_out) == "empty")
            type("");
        else if (std::string(way_out) == "two bytes")
            type("ca");
        else
            set_search_filter(test::main_window().search, false);
        if (std::string(way_out) == "off") {
            // The search goes on in the whole tree: the match is revealed there.
            EXPECT_EQ(cursor_text(), "carol");
            type("");
        } else {
            EXPECT_EQ(shown_rows(), before);
        }
        EXPECT_EQ(test::main_window().tree.view, test::main_window().tree.whole_view);
        EXPECT_TRUE(only_the_view_in_use_is_visible());
    }
    EXPECT_TRUE(test::main_window().tree.database_loaded);
}

TEST_F(SearchFilter, TheToggleIsTheStoredSetting)
{
    MainWindow& main = test::main_window();
    set_search_filter(main.search, true);
    EXPECT_TRUE(main.settings.values.search_filter);
    EXPECT_TRUE(g_settings_get_boolean(main.settings.object.get(), SEARCH_FILTER_KEY));
    set_search_filter(main.search, false);
    EXPECT_FALSE(main.settings.values.search_filter);
    EXPECT_FALSE(g_settings_get_boolean(main.settings.object.get(), SEARCH_FILTER_KEY));
}

TEST_F(SearchFilter, AReloadWhileTheFilterIsOnFiltersTheNewTree)
{
    set_search_filter(test::main_window().search, true);
    type("bob");
    EXPECT_EQ(shown_rows().size(), 5u);
    std::vector<std::string> changed = FIXTURE;
    changed.push_back("customer=Zulu;group=;server=bobcat;service=ssh;serviceplus=;user=root;password=6");
    ASSERT_EQ(test::load_fixture(changed), 1);
    EXPECT_EQ(shown_rows(), (std::vector<std::string>{"0 Acme", "0:0 Web", "0:0:0 bravo", "0:0:0:0 ssh",
                                                      "0:0:0:0:0 bob", "1 Zulu", "1:0 bobcat", "1:0:0 ssh",
                                                      "1:0:0:0 root"}));
    // A Refresh drops the tree; the filter shows nothing of the old one afterwards.
    clear_document(test::main_window());
    type("bobcat");
    EXPECT_EQ(shown_rows(), std::vector<std::string>{});
}

// A filter of many rows is expanded a slice at a time: the keystroke returns with the first rows open
// and the rest still to do; the filter it replaces lets go of its rows in slices too, in a view of its
// own. What can meet those slices half done: the next keystroke, two more in a row, the end of the
// filter, a Refresh. Each must leave the right rows, nothing of the old model, and no complaint from
// the toolkit (the test fails on any warning).
TEST_F(SearchFilter, SlicesLeftToDoMeetTheNextKeystrokeTheEndAndARefresh)
{
    std::vector<std::string> many;
    for (int customer = 0; customer < 3000; ++customer)
        for (int user = 0; user < 8; ++user)
            many.push_back("customer=C" + std::to_string(customer) + ";group=;server=host" + std::to_string(user) +
                           ";service=ssh;serviceplus=;user=u" + std::to_string(user) + ";password=p");
    ASSERT_EQ(test::load_fixture(many), 1);
    MainWindow& main = test::main_window();
    set_search_filter(main.search, true);
    const auto expanded_top_rows = [&] {
        int open = 0;
        for (int top = 0; top < 3000; ++top) {
            TreePathPtr path{gtk_tree_path_new_from_indices(top, -1)};
            open += gtk_tree_view_row_expanded(main.tree.filter_view, path.get());
        }
        return open;
    };

    for (const char* way : {"next keystroke", "two keystrokes in a row", "end of the filter", "refresh"}) {
        SCOPED_TRACE(way);
        if (std::string(way) == "refresh") {
            ASSERT_EQ(test::load_fixture(many), 1);
        }
        gtk_entry_set_text(main.search.entry, "host");
        ASSERT_NE(main.tree.filter_expanding, 0u) << "one slice expanded every row: the fixture is too small";
        const int first_slice = expanded_top_rows();
        EXPECT_GT(first_slice, 0);
        EXPECT_LT(first_slice, 3000);
        if (std::string(way) == "next keystroke" || std::string(way) == "two keystrokes in a row") {
            const bool two = std::string(way) == "two keystrokes in a row";
            if (two) {
                test::drain_events();
                ASSERT_EQ(shown_rows().size(), 3000u * 25);
            }
            GtkTreeView* before = main.tree.filter_view;
            gtk_entry_set_text(main.search.entry, "host7");
            EXPECT_NE(main.tree.filter_view, before) << "the new filter waited for the old one's rows to go";
            EXPECT_EQ(main.tree.dropping_view, before);
            EXPECT_TRUE(only_the_view_in_use_is_visible());
            if (two)
                gtk_entry_set_text(main.search.entry, "host6");
            test::drain_events();
            EXPECT_EQ(main.tree.filter_expanding, 0u);
            EXPECT_EQ(main.tree.filter_dropping, 0u);
            EXPECT_TRUE(hidden_filter_views_are_empty());
            EXPECT_TRUE(only_the_view_in_use_is_visible());
            EXPECT_EQ(expanded_top_rows(), 3000);
            EXPECT_EQ(shown_rows().size(), 3000u * 4);
            EXPECT_EQ(cursor_text(), two ? "host6" : "host7");
            // A filter shown again (as after an edit there) keeps the keyboard on the rows.
            gtk_widget_grab_focus(GTK_WIDGET(main.tree.filter_view));
            run_search(main.search);
            EXPECT_TRUE(gtk_widget_is_focus(GTK_WIDGET(main.tree.filter_view)));
            EXPECT_TRUE(only_the_view_in_use_is_visible());
        } else if (std::string(way) == "end of the filter") {
            gtk_entry_set_text(main.search.entry, "");
            // The whole tree is back at once; the filter's rows go afterwards.
            EXPECT_EQ(main.tree.view, main.tree.whole_view);
            EXPECT_TRUE(only_the_view_in_use_is_visible());
            EXPECT_EQ(main.tree.filter_expanding, 0u);
            test::drain_events();
            EXPECT_EQ(main.tree.filter_dropping, 0u);
            EXPECT_TRUE(hidden_filter_views_are_empty());
        } else {
            clear_document(main);
            EXPECT_EQ(main.tree.filter_expanding, 0u);
            EXPECT_EQ(main.tree.filter_dropping, 0u);
            EXPECT_TRUE(hidden_filter_views_are_empty());
            test::drain_events();
            EXPECT_EQ(shown_rows(), std::vector<std::string>{});
        }
        type("");
    }
}

// Thousands of users under one service: the view would build a node for each of them in one go when
// that service opens. The keystroke lets the first few thousand rows in and the rest follow in slices;
// a step to a match not in yet brings every row in first; a command on a selection counts the rows
// still to come, since the user asked to see them.
TEST_F(SearchFilter, ABigBranchComesInAPartAtATime)
{
    std::vector<std::string> lines;
    for (int user = 0; user < 6000; ++user)
        lines.push_back("customer=Big;group=;server=h;service=ssh;serviceplus=;user=user" + std::to_string(user) +
                        ";password=p");
    lines.push_back("customer=Small;group=;server=s;service=ssh;serviceplus=;user=alice;password=p");
    ASSERT_EQ(test::load_fixture(lines), 1);
    MainWindow& main = test::main_window();
    set_search_filter(main.search, true);
    std::vector<std::string> every_row = {"0 Big", "0:0 h", "0:0:0 ssh"};
    for (int user = 0; user < 6000; ++user)
        every_row.push_back("0:0:0:" + std::to_string(user) + " user" + std::to_string(user));
    for (const char* row : {"1 Small", "1:0 s", "1:0:0 ssh", "1:0:0:0 alice"})
        every_row.push_back(row);

    // The slices run to the end: every row, in order, expanded.
    gtk_entry_set_text(main.search.entry, "ssh");
    ASSERT_NE(main.tree.filter_expanding, 0u) << "every row came in at once: the fixture is too small";
    EXPECT_LT(shown_rows().size(), every_row.size());
    EXPECT_EQ(cursor_text(), "ssh");
    test::drain_events();
    EXPECT_EQ(main.tree.filter_expanding, 0u);
    EXPECT_EQ(shown_rows(), every_row);

    // A step back from the first match goes to the last, not in yet.
    type("");
    gtk_entry_set_text(main.search.entry, "user");
    ASSERT_NE(main.tree.filter_expanding, 0u);
    find_previous_match(main.search);
    EXPECT_EQ(main.tree.filter_expanding, 0u);
    EXPECT_EQ(cursor_text(), "user5999");
    std::vector<std::string> users(every_row.begin(), every_row.begin() + 3 + 6000);
    EXPECT_EQ(shown_rows(), users);
    test::drain_events();
    EXPECT_EQ(cursor_text(), "user5999");

    // Deleting the branch counts every account under it.
    type("");
    gtk_entry_set_text(main.search.entry, "ssh");
    GtkTreeSelection* selection = gtk_tree_view_get_selection(main.tree.view);
    gtk_tree_selection_unselect_all(selection);
    TreePathPtr service{gtk_tree_path_new_from_string("0:0:0")};
    gtk_tree_selection_select_path(selection, service.get());
    ASSERT_NE(main.tree.filter_expanding, 0u);
    std::string asked;
    test::respond_in_nested_loop(
        [](GtkWidget* dialog, void* data) {
            gchar* text = nullptr;
            g_object_get(dialog, "text", &text, nullptr);
            *static_cast<std::string*>(data) = text ? text : "";
            g_free(text);
            gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
        },
        &asked);
    delete_accounts_command(main.editing);
    EXPECT_EQ(asked, "Delete 6000 accounts?");
}

} // namespace
} // namespace sealkeep
