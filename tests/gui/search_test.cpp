// The search bar in the real main window: which rows a search finds, how the cursor moves, and
// what stepping through the matches does, driven through the real entry and buttons.
#include "gui/gui_support.h"

#include "ui/glib_ptr.h"
#include "ui/search/search_bar.h"
#include "ui/tree/entry_store.h"
#include "ui/window/main_window.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <string>
#include <vector>

namespace sealkeep {
namespace {

using test::drain_events;
using test::load_fixture;
using test::row_text;

// Acme has a group, Other has none; "acme" stands in a customer, a server and a user, at three depths.
const std::vector<std::string> ACME_FIXTURE = {
    "customer=Acme;group=Prod;server=web.acme.org;service=ssh;serviceplus=;user=root;password=a1",
    "customer=Acme;group=Prod;server=db01;service=ssh;serviceplus=;user=acmeadmin;password=a2",
    "customer=Other;group=;server=mail;service=ssh;serviceplus=;user=root;password=o1",
};

// Texts with two- and three-byte characters, and an accented capital.
const std::vector<std::string> TEXT_FIXTURE = {
    "customer=Zeta;group=;server=ab-host;service=ssh;serviceplus=;user=root;password=z",
    "customer=Caf\xc3\xa9 Cr\xc3\xa8me;group=;server=\xc3\x89" "COLE;service=http;serviceplus=;user=admin;password=c",
    "customer=Prix;group=;server=euro\xe2\x82\xac" "box;service=ftp;serviceplus=;user=ops;password=p",
};

GtkTreeView* tree_view()
{
    return test::main_window().tree.view;
}

GtkEntry* search_entry()
{
    return test::main_window().search.entry;
}

using test::path_string;

std::vector<std::string> match_paths()
{
    std::vector<std::string> paths;
    for (std::uint32_t row : test::main_window().search.matches) {
        GtkTreePath* path = search_match_path(test::main_window().search, row);
        paths.push_back(path ? path_string(path) : "");
        gtk_tree_path_free(path);
    }
    return paths;
}

std::vector<std::string> match_texts()
{
    std::vector<std::string> texts;
    for (const auto& path : match_paths())
        texts.push_back(row_text(path.c_str()));
    return texts;
}

// The cursor row's path, or "" when there is none.
std::string cursor_path()
{
    GtkTreePath* raw = nullptr;
    gtk_tree_view_get_cursor(tree_view(), &raw, nullptr);
    TreePathPtr path{raw};
    return path ? path_string(path.get()) : std::string{};
}

std::vector<std::string> selected_paths()
{
    GtkTreeSelection* selection = gtk_tree_view_get_selection(tree_view());
    PathListPtr rows{gtk_tree_selection_get_selected_rows(selection, nullptr)};
    std::vector<std::string> paths;
    for (GList* l = rows.get(); l; l = l->next)
        paths.push_back(path_string(static_cast<GtkTreePath*>(l->data)));
    return paths;
}

using test::expanded_paths;

// Whether the entry shows that the search found nothing (its background turned red).
bool shows_nothing_found()
{
    GtkRcStyle* style = gtk_widget_get_modifier_style(GTK_WIDGET(search_entry()));
    return (style->color_flags[GTK_STATE_NORMAL] & GTK_RC_BASE) != 0;
}

// Types a search the way the toolkit delivers typing: the entry's "changed".
void type_search(const std::string& text)
{
    gtk_entry_set_text(search_entry(), text.c_str());
    drain_events();
}

void click(GtkWidget* button)
{
    gtk_button_clicked(GTK_BUTTON(button));
    drain_events();
}

// The search bar's arrow buttons, found through the entry in the real window.
GtkWidget* bar_child(int index)
{
    GListPtr children{gtk_container_get_children(GTK_CONTAINER(gtk_widget_get_parent(GTK_WIDGET(search_entry()))))};
    return GTK_WIDGET(g_list_nth_data(children.get(), index));
}
GtkWidget* forward_button() { return bar_child(2); }
GtkWidget* back_button() { return bar_child(3); }

// The row shown as a match must be the cursor row, the only selected row, with every ancestor open,
// while the user keeps typing in the search entry.
void expect_revealed(const std::string& path)
{
    EXPECT_EQ(cursor_path(), path);
    EXPECT_EQ(selected_paths(), std::vector<std::string>{path});
    TreePathPtr ancestor{gtk_tree_path_new_from_string(path.c_str())};
    while (gtk_tree_path_up(ancestor.get()) && gtk_tree_path_get_depth(ancestor.get()) > 0)
        EXPECT_TRUE(gtk_tree_view_row_expanded(tree_view(), ancestor.get())) << path_string(ancestor.get());
    EXPECT_TRUE(gtk_widget_is_focus(GTK_WIDGET(search_entry())));
}

class SearchNavigation : public testing::Test {
protected:
    void SetUp() override
    {
        gtk_widget_grab_focus(GTK_WIDGET(search_entry()));
        type_search("");
        gtk_tree_view_collapse_all(tree_view());
    }
    void TearDown() override { type_search(""); }
};

TEST_F(SearchNavigation, FindsAndRevealsMatchesAtEveryLevelInTreeOrder)
{
    ASSERT_EQ(load_fixture(ACME_FIXTURE), 1);
    type_search("ACME");
    // Customer, then a server below it, then a user further down: each row before its children.
    EXPECT_EQ(match_texts(), (std::vector<std::string>{"Acme", "web.acme.org", "acmeadmin"}));
    EXPECT_EQ(test::main_window().search.match_index, 0u);
    ASSERT_EQ(test::main_window().search.matches.size(), 3u);
    const auto paths = match_paths();
    expect_revealed(paths[0]);
    // Only the first match is revealed (expanding to it opens the row itself too): the others stay
    // in their collapsed rows.
    EXPECT_EQ(expanded_paths(), std::vector<std::string>{"0"});
}

TEST_F(SearchNavigation, TextRules)
{
    ASSERT_EQ(load_fixture(TEXT_FIXTURE), 1);
    struct Case {
        const char* search;
        std::vector<std::string> found;
    } cases[] = {
        {"ab", {}},  // two bytes: too short, although "ab-host" holds them
        {"\xc3\xa9", {}},  // a lone "é" is one character but two bytes: too short
        {"\xe2\x82\xac", {"euro\xe2\x82\xac" "box"}},  // a lone "€" is three bytes: long enough
        {"ab-", {"ab-host"}},
        {"ROOT", {"root"}},
        {"cAf\xc3\xa9", {"Caf\xc3\xa9 Cr\xc3\xa8me"}},  // ASCII letters fold in any mix
        {"CAF\xc3\x89", {}},  // the capital "É" does not find the small "é"
        {"\xc3\xa9" "cole", {}},  // nor the small one the capital
        {"\xc3\x89" "cole", {"\xc3\x89" "COLE"}},
        {"nothing-like-it", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.search);
        type_search("");
        gtk_tree_view_collapse_all(tree_view());
        TreePathPtr start{gtk_tree_path_new_from_string("1")};
        gtk_tree_view_set_cursor(tree_view(), start.get(), nullptr, FALSE);
        gtk_widget_grab_focus(GTK_WIDGET(search_entry()));

        type_search(c.search);
        EXPECT_EQ(match_texts(), c.found);
        // A text too short to search is no failed search.
        EXPECT_EQ(shows_nothing_found(), c.found.empty() && std::string(c.search).size() >= 3);
        if (c.found.empty()) {
            // Nothing found, or too short to search: the cursor, selection and open rows stay.
            EXPECT_EQ(cursor_path(), "1");
            EXPECT_EQ(selected_paths(), std::vector<std::string>{"1"});
            EXPECT_EQ(expanded_paths(), std::vector<std::string>{});
            click(forward_button());
            click(back_button());
            EXPECT_EQ(cursor_path(), "1");
            EXPECT_EQ(test::main_window().search.match_index, 0u);
        } else {
            ASSERT_FALSE(test::main_window().search.matches.empty());
            expect_revealed(match_paths()[0]);
        }
    }
}

TEST_F(SearchNavigation, StepsForwardAndBackWithWrapAround)
{
    ASSERT_EQ(load_fixture(ACME_FIXTURE), 1);
    type_search("acme");
    ASSERT_EQ(test::main_window().search.matches.size(), 3u);
    const auto paths = match_paths();  // A, B, C in tree order

    struct Step {
        GtkWidget* (*button)();
        unsigned index;
    } steps[] = {
        {forward_button, 1}, {forward_button, 2}, {forward_button, 0},  // A -> B -> C -> A
        {back_button, 2},    {back_button, 1},    {back_button, 0},     // A -> C -> B -> A
    };
    for (const auto& step : steps) {
        click(step.button());
        EXPECT_EQ(test::main_window().search.match_index, step.index);
        expect_revealed(paths[step.index]);
    }

    // The Action menu reaches the same handlers with the tree view as their argument.
    find_previous_match(test::main_window().search);
    expect_revealed(paths[2]);
    find_next_match(test::main_window().search);
    expect_revealed(paths[0]);
}

TEST_F(SearchNavigation, SingleMatchStaysOnItsRow)
{
    ASSERT_EQ(load_fixture(ACME_FIXTURE), 1);
    type_search("mail");
    ASSERT_EQ(match_texts(), std::vector<std::string>{"mail"});
    const auto path = match_paths()[0];
    for (GtkWidget* (*button)() : {forward_button, back_button, forward_button}) {
        gtk_tree_view_collapse_all(tree_view());
        click(button());
        EXPECT_EQ(test::main_window().search.match_index, 0u);
        expect_revealed(path);
    }
}

TEST_F(SearchNavigation, EnterSearchesAgainFromTheFirstMatch)
{
    ASSERT_EQ(load_fixture(ACME_FIXTURE), 1);
    type_search("acme");
    const auto paths = match_paths();
    ASSERT_EQ(paths.size(), 3u);
    click(forward_button());
    click(forward_button());
    ASSERT_EQ(test::main_window().search.match_index, 2u);

    gtk_widget_activate(GTK_WIDGET(search_entry()));
    drain_events();
    EXPECT_EQ(match_paths(), paths);  // a fresh search, not a step
    EXPECT_EQ(test::main_window().search.match_index, 0u);
    expect_revealed(paths[0]);
}

TEST_F(SearchNavigation, ShorteningToTwoBytesDropsTheMatchesButNotTheCursor)
{
    ASSERT_EQ(load_fixture(ACME_FIXTURE), 1);
    type_search("acme");
    ASSERT_EQ(test::main_window().search.matches.size(), 3u);
    click(forward_button());
    const std::string shown = match_paths()[1];
    ASSERT_EQ(cursor_path(), shown);

    // Selecting the last two letters and deleting them: one change, from four bytes to two.
    gtk_editable_delete_text(GTK_EDITABLE(search_entry()), 2, -1);
    drain_events();
    ASSERT_STREQ(gtk_entry_get_text(search_entry()), "ac");
    EXPECT_TRUE(test::main_window().search.matches.empty());
    EXPECT_EQ(test::main_window().search.match_index, 0u);
    EXPECT_EQ(cursor_path(), shown);
    click(forward_button());
    EXPECT_EQ(cursor_path(), shown);
}

// Counts the toolkit's complaints instead of aborting on them, so that a stray warning fails the
// test with a message rather than taking the whole test run down.
int toolkit_complaints = 0;
gboolean count_complaint(const gchar*, GLogLevelFlags, const gchar*, gpointer)
{
    ++toolkit_complaints;
    return FALSE;
}
void count_warning(const gchar*, GLogLevelFlags, const gchar*, gpointer)
{
    ++toolkit_complaints;
}

TEST_F(SearchNavigation, StalePathsAfterAReloadDoNoHarm)
{
    ASSERT_EQ(load_fixture(ACME_FIXTURE), 1);
    type_search("root");
    // The two root rows lie four and five levels down; the reloaded tree is only four deep, and
    // its one customer leaves no second top-level row for "1:0:0:0".
    ASSERT_EQ(match_paths(), (std::vector<std::string>{"0:0:0:0:0", "1:0:0:0"}));
    ASSERT_EQ(load_fixture({"customer=Solo;group=;server=s1;service=ssh;serviceplus=;user=u;password=x"}), 1);
    ASSERT_EQ(cursor_path(), "");

    toolkit_complaints = 0;
    g_test_log_set_fatal_handler(count_complaint, nullptr);
    guint handler = g_log_set_handler("Gtk", static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL),
                                      count_warning, nullptr);
    for (GtkWidget* (*button)() : {forward_button, forward_button, back_button})
        click(button());
    g_log_remove_handler("Gtk", handler);
    g_test_log_set_fatal_handler(nullptr, nullptr);

    EXPECT_EQ(toolkit_complaints, 0);
    EXPECT_EQ(cursor_path(), "");
    EXPECT_EQ(selected_paths(), std::vector<std::string>{});
    EXPECT_EQ(expanded_paths(), std::vector<std::string>{});
    // The matches are those of the tree shown: the new one has no "root".
    EXPECT_TRUE(test::main_window().search.matches.empty());
}

// The text stays in the bar across a reload (Refresh and the passphrase, or an unlock): Next and
// Previous step through the new tree's rows that hold it, on from the match shown last, and the load
// itself reveals nothing.
TEST_F(SearchNavigation, AReloadKeepsTheSearchGoingInTheNewTree)
{
    const std::vector<std::string> moved = {
        "customer=New;group=;server=s1;service=ssh;serviceplus=;user=u;password=x",
        "customer=New;group=;server=s2;service=ssh;serviceplus=;user=root;password=y",
    };
    struct Case {
        const char* name;
        std::vector<std::string> reloaded;
        std::vector<std::string> steps; // revealed by Next, Next, Previous after the reload
    } cases[] = {
        // Paths as before: the second match was shown last, so Next wraps to the first.
        {"the same file", ACME_FIXTURE, {"0:0:0:0:0", "1:0:0:0", "0:0:0:0:0"}},
        {"a changed file", moved, {"0:1:0:0", "0:1:0:0", "0:1:0:0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(load_fixture(ACME_FIXTURE), 1);
        type_search("root");
        click(forward_button());
        expect_revealed("1:0:0:0");

        ASSERT_EQ(load_fixture(c.reloaded), 1);
        EXPECT_EQ(cursor_path(), "");
        EXPECT_EQ(expanded_paths(), std::vector<std::string>{});
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            click(i < 2 ? forward_button() : back_button());
            expect_revealed(c.steps[i]);
            EXPECT_EQ(row_text(c.steps[i].c_str()), "root");
        }
        type_search("");
        gtk_tree_view_collapse_all(tree_view());
    }
}

// Thousands of users under one service: the view builds a node for every child of a row it expands.
// Revealing a match opens the service onto a few thousand of them around the match, and the others
// come in around them in idle slices; the match stays the cursor. A match not in yet is let in before
// it is revealed.
TEST_F(SearchNavigation, ABigBranchOpensAroundTheMatch)
{
    std::vector<std::string> lines;
    for (int user = 0; user < 6000; ++user)
        lines.push_back("customer=Big;group=;server=h;service=ssh;serviceplus=;user=user" + std::to_string(user) +
                        ";password=p");
    lines.push_back("customer=Small;group=;server=s;service=ssh;serviceplus=;user=alice;password=p");
    ASSERT_EQ(load_fixture(lines), 1);
    MainWindow& main = test::main_window();
    const auto users_in = [&] {
        GtkTreeIter service;
        return gtk_tree_model_get_iter_from_string(main.tree.model, &service, "0:0:0")
                   ? gtk_tree_model_iter_n_children(main.tree.model, &service)
                   : -1;
    };

    gtk_entry_set_text(search_entry(), "user3000");
    ASSERT_NE(main.tree.whole_letting_in, 0u) << "every user came in at once";
    EXPECT_LT(users_in(), 6000);
    EXPECT_EQ(row_text(cursor_path().c_str()), "user3000");
    drain_events();
    EXPECT_EQ(main.tree.whole_letting_in, 0u);
    EXPECT_EQ(users_in(), 6000);
    expect_revealed("0:0:0:3000");
    EXPECT_EQ(match_texts(), std::vector<std::string>{"user3000"});

    // The next search finds its match where the window has not reached yet.
    gtk_tree_view_collapse_all(tree_view());
    gtk_entry_set_text(search_entry(), "user3001");
    ASSERT_NE(main.tree.whole_letting_in, 0u);
    gtk_entry_set_text(search_entry(), "user5999");
    EXPECT_EQ(row_text(cursor_path().c_str()), "user5999");
    drain_events();
    expect_revealed("0:0:0:5999");
    // Every other row is where it was.
    EXPECT_EQ(row_text("0:0:0:0"), "user0");
    EXPECT_EQ(row_text("1:0:0:0"), "alice");
}

TEST(SearchBar, LayoutAndNoSearchWhileBuilding)
{
    // A search in the real window first, so a search run by building a second bar would show.
    ASSERT_EQ(load_fixture(ACME_FIXTURE), 1);
    gtk_entry_set_text(search_entry(), "acme");
    drain_events();
    ASSERT_EQ(test::main_window().search.matches.size(), 3u);

    // A second bar with a state of its own over the real tree, so the real bar stays as it is.
    WindowSettings settings;
    settings.values = test::main_window().settings.values;
    SearchState second{test::main_window().tree, settings};
    GtkWidget* bar = create_search_bar(second);
    g_object_ref_sink(bar);
    GtkWidget* entry = GTK_WIDGET(second.entry);
    EXPECT_EQ(test::main_window().search.matches.size(), 3u);
    EXPECT_TRUE(second.matches.empty());

    ASSERT_TRUE(GTK_IS_HBOX(bar));
    EXPECT_FALSE(gtk_box_get_homogeneous(GTK_BOX(bar)));
    EXPECT_EQ(gtk_box_get_spacing(GTK_BOX(bar)), 2);
    EXPECT_EQ(gtk_container_get_border_width(GTK_CONTAINER(bar)), 2u);

    GListPtr children{gtk_container_get_children(GTK_CONTAINER(bar))};
    // Label, entry, the two arrows, and the filter's toggle last.
    ASSERT_EQ(g_list_length(children.get()), 5u);
    auto child = [&](int i) { return GTK_WIDGET(g_list_nth_data(children.get(), i)); };

    ASSERT_TRUE(GTK_IS_LABEL(child(0)));
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(child(0))), "Search : ");
    EXPECT_EQ(gtk_label_get_justify(GTK_LABEL(child(0))), GTK_JUSTIFY_LEFT);
    ASSERT_EQ(child(1), entry);
    ASSERT_TRUE(GTK_IS_ENTRY(entry));
    EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(entry)), "enter your search here");

    struct Button {
        const char* stock_id;
        const char* tooltip;
    } buttons[] = {{"gtk-go-forward", "Find forward."}, {"gtk-go-back", "Find back."}};
    for (int i = 0; i < 2; ++i) {
        GtkWidget* button = child(2 + i);
        ASSERT_TRUE(GTK_IS_BUTTON(button));
        GCharPtr tooltip{gtk_widget_get_tooltip_text(button)};
        EXPECT_STREQ(tooltip.get(), buttons[i].tooltip);
        GtkWidget* image = gtk_bin_get_child(GTK_BIN(button));
        ASSERT_TRUE(GTK_IS_IMAGE(image));
        gchar* stock_id = nullptr;
        GtkIconSize size = GTK_ICON_SIZE_INVALID;
        gtk_image_get_stock(GTK_IMAGE(image), &stock_id, &size);
        EXPECT_STREQ(stock_id, buttons[i].stock_id);
        EXPECT_EQ(size, GTK_ICON_SIZE_BUTTON);
    }

    ASSERT_TRUE(GTK_IS_TOGGLE_BUTTON(child(4)));
    EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(child(4))), "Filter");
    EXPECT_FALSE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(child(4))));

    struct Packing {
        gboolean expand, fill;
    } packing[] = {{FALSE, FALSE}, {TRUE, TRUE}, {FALSE, FALSE}, {FALSE, FALSE}, {FALSE, FALSE}};
    for (int i = 0; i < 5; ++i) {
        gboolean expand = FALSE, fill = FALSE;
        guint padding = 1;
        GtkPackType pack = GTK_PACK_END;
        gtk_box_query_child_packing(GTK_BOX(bar), child(i), &expand, &fill, &padding, &pack);
        EXPECT_EQ(expand, packing[i].expand) << i;
        EXPECT_EQ(fill, packing[i].fill) << i;
        EXPECT_EQ(padding, 0u) << i;
        EXPECT_EQ(pack, GTK_PACK_START) << i;
    }

    // The new bar's entry searches the tree of its state once its text changes.
    gtk_entry_set_text(GTK_ENTRY(entry), "mail");
    drain_events();
    EXPECT_EQ(second.matches.size(), 1u);
    EXPECT_EQ(test::main_window().search.matches.size(), 3u);

    gtk_widget_destroy(bar);
    g_object_unref(bar);
    gtk_entry_set_text(search_entry(), "");
    drain_events();
}

} // namespace
} // namespace sealkeep
