// The main window frame: its children in order and packing, the keys, the status row, the icons and
// the window-state handling.
#include "gui/gui_support.h"

#include "ui/actions/clipboard.h"
#include "ui/tree/entry_store.h"
#include "ui/window/main_window.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <vector>

namespace sealkeep {
namespace {

struct Packing {
    gboolean expand;
    gboolean fill;
    guint padding;
};

Packing packing_of(GtkWidget* box, GtkWidget* child)
{
    Packing p{};
    GtkPackType pack_type;
    gtk_box_query_child_packing(GTK_BOX(box), child, &p.expand, &p.fill, &p.padding, &pack_type);
    return p;
}

GtkWidget* stack()
{
    return gtk_bin_get_child(GTK_BIN(test::main_window().window));
}

TEST(MainWindow, StackHoldsTheSixChildrenInOrderWithTheirPacking)
{
    GtkWidget* box = stack();
    ASSERT_TRUE(GTK_IS_VBOX(box));
    EXPECT_FALSE(gtk_box_get_homogeneous(GTK_BOX(box)));
    EXPECT_EQ(gtk_box_get_spacing(GTK_BOX(box)), 0);

    GList* children = gtk_container_get_children(GTK_CONTAINER(box));
    ASSERT_EQ(g_list_length(children), 6u);
    struct Expected {
        GType type;
        Packing packing;
    } expected[] = {
        {GTK_TYPE_MENU_BAR, {FALSE, FALSE, 0}}, {GTK_TYPE_VBOX, {FALSE, FALSE, 0}},
        {GTK_TYPE_TOOLBAR, {FALSE, FALSE, 0}},  {GTK_TYPE_VBOX, {TRUE, TRUE, 0}},
        {GTK_TYPE_HBOX, {FALSE, FALSE, 0}},     {GTK_TYPE_HBOX, {FALSE, FALSE, 0}},
    };
    int i = 0;
    for (GList* l = children; l; l = l->next, ++i) {
        SCOPED_TRACE(i + 1);
        GtkWidget* child = GTK_WIDGET(l->data);
        EXPECT_TRUE(G_TYPE_CHECK_INSTANCE_TYPE(child, expected[i].type)) << G_OBJECT_TYPE_NAME(child);
        Packing p = packing_of(box, child);
        EXPECT_EQ(p.expand, expected[i].packing.expand);
        EXPECT_EQ(p.fill, expected[i].packing.fill);
        EXPECT_EQ(p.padding, expected[i].packing.padding);
    }
    g_list_free(children);
}

TEST(MainWindow, StatePointsAtTheWidgetsOfTheWindow)
{
    const MainWindow& main = test::main_window();
    std::vector<GtkWidget*> children = test::child_widgets(stack());
    ASSERT_EQ(children.size(), 6u);
    GtkWidget* prompt = children[1];
    // The whole tree's view, scrolled, its spare and two for filters, all hidden but the one in use
    // (earlier tests may have swapped the whole tree's two).
    std::vector<GtkWidget*> trees = test::child_widgets(children[3]);
    ASSERT_EQ(trees.size(), 4u);
    GtkWidget* scrolled = main.tree.whole_scroller;
    GtkWidget* search_bar = children[4];
    GtkWidget* status_row = children[5];

    EXPECT_EQ(main.prompt.panel, prompt);
    EXPECT_EQ(gtk_bin_get_child(GTK_BIN(scrolled)), GTK_WIDGET(main.tree.view));
    EXPECT_EQ(main.tree.view, main.tree.whole_view);
    std::vector<GtkWidget*> views;
    for (GtkWidget* tree : trees) {
        views.push_back(gtk_bin_get_child(GTK_BIN(tree)));
        EXPECT_EQ(gtk_widget_get_visible(tree), tree == scrolled);
    }
    std::vector<GtkWidget*> expected = {GTK_WIDGET(main.tree.whole_view), GTK_WIDGET(main.tree.spare_whole_view),
                                        GTK_WIDGET(main.tree.filter_view), GTK_WIDGET(main.tree.spare_filter_view)};
    std::sort(views.begin(), views.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(views, expected);
    EXPECT_EQ(gtk_widget_get_parent(GTK_WIDGET(main.tree.spare_whole_view)), main.tree.spare_whole_scroller);
    EXPECT_EQ(gtk_widget_get_parent(GTK_WIDGET(main.tree.filter_view)), main.tree.filter_scroller);
    EXPECT_EQ(gtk_widget_get_parent(GTK_WIDGET(main.tree.spare_filter_view)), main.tree.spare_filter_scroller);
    EXPECT_EQ(gtk_tree_view_get_model(main.tree.view), GTK_TREE_MODEL(main.tree.model));
    EXPECT_EQ(test::child_widgets(search_bar).at(1), GTK_WIDGET(main.search.entry));
    EXPECT_EQ(gtk_widget_get_parent(GTK_WIDGET(main.prompt.entry))->parent, prompt);
    EXPECT_EQ(gtk_widget_get_parent(GTK_WIDGET(main.prompt.toggle)),
              gtk_widget_get_parent(GTK_WIDGET(main.prompt.entry)));
    EXPECT_EQ(gtk_widget_get_parent(GTK_WIDGET(main.status.bar())), status_row);
    EXPECT_EQ(gtk_widget_get_parent(main.status.stop_button()), status_row);
    EXPECT_EQ(gtk_widget_get_toplevel(main.status.stop_button()), main.window);
    EXPECT_EQ(gtk_widget_get_parent(main.status.clear_button()), status_row);
}

TEST(MainWindow, WindowPropertiesAndScrolling)
{
    GtkWindow* window = GTK_WINDOW(test::main_window().window);
    EXPECT_STREQ(gtk_window_get_title(window), "Sealkeep");
    gint width = 0, height = 0;
    gtk_window_get_default_size(window, &width, &height);
    EXPECT_EQ(width, -1);
    EXPECT_EQ(height, 350);
    GtkWindowPosition position;
    g_object_get(window, "window-position", &position, nullptr);
    EXPECT_EQ(position, GTK_WIN_POS_CENTER);
    GList* icons = gtk_window_get_default_icon_list();
    EXPECT_NE(icons, nullptr);
    g_list_free(icons);
    GSList* groups = gtk_accel_groups_from_object(G_OBJECT(window));
    EXPECT_EQ(g_slist_length(groups), 1u);

    GtkWidget* scrolled = gtk_widget_get_parent(GTK_WIDGET(test::main_window().tree.view));
    GtkPolicyType h, v;
    gtk_scrolled_window_get_policy(GTK_SCROLLED_WINDOW(scrolled), &h, &v);
    EXPECT_EQ(h, GTK_POLICY_NEVER);
    EXPECT_EQ(v, GTK_POLICY_AUTOMATIC);
}

// The status row: the status bar takes the width, the stop button sits at the end and shows only while
// a load runs; the reload button beside it only when the file changed on disk; the clipboard's clear button
// stands left of them and shows only while a password counts down.
TEST(MainWindow, StatusRowHoldsTheStatusBarAStopButtonAndAClearButtonShownOnlyWhenNeeded)
{
    GtkWidget* row = test::child_widgets(stack()).at(5);
    std::vector<GtkWidget*> parts = test::child_widgets(row);
    ASSERT_EQ(parts.size(), 4u);
    ASSERT_TRUE(GTK_IS_STATUSBAR(parts[0]));
    EXPECT_EQ(parts[0], GTK_WIDGET(test::main_window().status.bar()));
    Packing bar = packing_of(row, parts[0]);
    EXPECT_TRUE(bar.expand && bar.fill);
    // Packed from the end: the stop button is the last one seen, the clear button stands left of it.
    ASSERT_EQ(parts[1], test::main_window().status.clear_button());
    ASSERT_EQ(parts[2], test::main_window().status.reload_button());
    ASSERT_EQ(parts[3], test::main_window().status.stop_button());
    EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(parts[3])), GTK_STOCK_STOP);
    // A password copied by an earlier test may still count down.
    clear_copied_password(test::main_window().clipboard);
    for (GtkWidget* button : {parts[1], parts[2], parts[3]}) {
        GtkPackType pack_type;
        gboolean expand, fill;
        guint padding;
        gtk_box_query_child_packing(GTK_BOX(row), button, &expand, &fill, &padding, &pack_type);
        EXPECT_EQ(pack_type, GTK_PACK_END);
        EXPECT_FALSE(expand);
        EXPECT_FALSE(gtk_widget_get_visible(button));
        // Showing the whole window again (as a theme change or a deiconify may) does not bring it out.
        gtk_widget_show_all(test::main_window().window);
        EXPECT_FALSE(gtk_widget_get_visible(button));
    }
}

TEST(MainWindow, StatusIconShowsTheStockImageWithTheProgramName)
{
    GtkStatusIcon* icon = test::main_window().tray.icon.get();
    ASSERT_NE(icon, nullptr);
    EXPECT_TRUE(gtk_status_icon_get_visible(icon));
    gchar* tooltip = gtk_status_icon_get_tooltip_text(icon);
    EXPECT_STREQ(tooltip, "Sealkeep");
    g_free(tooltip);
    // Either the theme has the named icon, or the stock image stands in: never an empty slot.
    GtkImageType type = gtk_status_icon_get_storage_type(icon);
    if (type == GTK_IMAGE_ICON_NAME) {
        EXPECT_TRUE(gtk_icon_theme_has_icon(gtk_icon_theme_get_default(), WINDOW_ICON));
    } else {
        EXPECT_EQ(type, GTK_IMAGE_STOCK);
    }
}

TEST(MainWindow, SkipTaskbarOnlyWhenIconifiedAloneAndInATray)
{
    GtkWidget* window = test::main_window().window;
    // No tray runs in this session: the icon is not embedded, so even an iconified window stays in
    // the taskbar (otherwise nothing could bring it back).
    ASSERT_FALSE(gtk_status_icon_is_embedded(test::main_window().tray.icon.get()));
    const GdkWindowState states[] = {
        GDK_WINDOW_STATE_ICONIFIED,
        static_cast<GdkWindowState>(GDK_WINDOW_STATE_ICONIFIED | GDK_WINDOW_STATE_MAXIMIZED),
        static_cast<GdkWindowState>(0),
    };
    for (GdkWindowState state : states) {
        GdkEventWindowState event{};
        event.type = GDK_WINDOW_STATE;
        event.new_window_state = state;
        gtk_window_set_skip_taskbar_hint(GTK_WINDOW(window), TRUE);
        EXPECT_FALSE(on_window_state_event(window, &event, &test::main_window()));
        EXPECT_FALSE(gtk_window_get_skip_taskbar_hint(GTK_WINDOW(window))) << state;
    }
}

} // namespace
} // namespace sealkeep
