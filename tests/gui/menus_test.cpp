// The menu bar, the accelerators and the toolbar of the real main window: what each item is, which
// accelerator it has (and that no other exists), and that activating it reaches its action.
#include "core/entry_record.h"
#include "core/settings_values.h"
#include "gui/gui_support.h"
#include "ui/glib_ptr.h"
#include "ui/tree/entry_store.h"
#include "ui/window/main_window.h"

#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace sealkeep {
namespace {

using test::drain_events;

using test::child_widgets;

GtkWidget* window_child(std::size_t index)
{
    return child_widgets(gtk_bin_get_child(GTK_BIN(test::main_window().window))).at(index);
}

GtkWidget* menu_bar()
{
    return window_child(0);
}

GtkWidget* toolbar()
{
    return window_child(2);
}

enum Menu { FILE_MENU, EDIT_MENU, ACTION_MENU, VIEW_MENU, HELP_MENU };

GtkWidget* menu_item(Menu menu, std::size_t index)
{
    GtkWidget* top = child_widgets(menu_bar()).at(menu);
    return child_widgets(gtk_menu_item_get_submenu(GTK_MENU_ITEM(top))).at(index);
}

GtkTreeView* tree_view()
{
    return GTK_TREE_VIEW(GTK_WIDGET(test::main_window().tree.view));
}

struct Accel {
    guint key;
    GdkModifierType mods;
    GtkAccelFlags flags;
    GtkAccelGroup* group;
};

// Every accelerator installed on the item's "activate", wherever it lives.
std::vector<Accel> accelerators_of(GtkWidget* item)
{
    std::vector<Accel> result;
    GListPtr closures{gtk_widget_list_accel_closures(item)};
    for (GList* l = closures.get(); l; l = l->next) {
        auto* closure = static_cast<GClosure*>(l->data);
        GtkAccelGroup* group = gtk_accel_group_from_accel_closure(closure);
        GtkAccelKey* key =
            group ? gtk_accel_group_find(
                        group, [](GtkAccelKey*, GClosure* c, gpointer data) { return gboolean(c == data); }, closure)
                  : nullptr;
        if (key)
            result.push_back({key->accel_key, key->accel_mods, static_cast<GtkAccelFlags>(key->accel_flags), group});
        else
            result.push_back({0, GdkModifierType(0), GtkAccelFlags(0), group});
    }
    return result;
}

std::string cursor_path()
{
    GtkTreePath* raw = nullptr;
    gtk_tree_view_get_cursor(tree_view(), &raw, nullptr);
    TreePathPtr path{raw};
    if (!path)
        return {};
    GCharPtr text{gtk_tree_path_to_string(path.get())};
    return text.get();
}

bool expanded(const char* path)
{
    TreePathPtr p{gtk_tree_path_new_from_string(path)};
    return gtk_tree_view_row_expanded(tree_view(), p.get());
}

void put_cursor(const char* path)
{
    TreePathPtr p{gtk_tree_path_new_from_string(path)};
    gtk_tree_view_expand_to_path(tree_view(), p.get());
    gtk_tree_view_set_cursor(tree_view(), p.get(), nullptr, FALSE);
}

std::string clipboard_text()
{
    GCharPtr text{gtk_clipboard_wait_for_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD))};
    return text ? text.get() : "";
}

// Runs a nested main loop in which `start` is called; true when something ended that loop (Quit),
// false when it had to be ended by the guard.
bool ends_main_loop(const std::function<void()>& start)
{
    bool timed_out = false;
    g_idle_add(
        [](gpointer start) {
            (*static_cast<const std::function<void()>*>(start))();
            return gboolean(FALSE);
        },
        const_cast<std::function<void()>*>(&start));
    guint guard = g_timeout_add_seconds(
        5,
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

// Three accounts named alice, in tree order A (0:0:0:0:0:0), B (0:0:1:0:0:0), C (1:0:0:0:0:0).
const char* const ROW_A = "0:0:0:0:0:0";
const char* const ROW_B = "0:0:1:0:0:0";
const char* const ROW_C = "1:0:0:0:0:0";

class MenusTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* scratch = std::getenv("SEALKEEP_SCRATCH");
        ASSERT_NE(scratch, nullptr) << "run inside tests/harness/session.sh";
        ran_file_ = std::string(scratch) + "/ran-by-menus";
        std::remove(ran_file_.c_str());
        test::main_window().settings.values.ssh_cmd = "echo ran %u@%h:%s >> " + ran_file_;
        ASSERT_EQ(test::load_fixture({
                      test::record_line("Acme;web;srv1;ssh;22;alice;pw-a"),
                      test::record_line("Acme;web;srv2;ssh;22;alice;pw-b"),
                      test::record_line("Bolt;db;srv3;ssh;22;alice;pw-c"),
                  }),
                  1);
        ASSERT_EQ(test::row_text(ROW_A), "alice");
        ASSERT_EQ(test::row_text(ROW_C), "alice");
    }

    void TearDown() override { drain_events(); }

    std::string ran() const
    {
        std::ifstream in(ran_file_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    static void search_for(const char* text)
    {
        gtk_entry_set_text(GTK_ENTRY(GTK_WIDGET(test::main_window().search.entry)), text);
        drain_events();
    }

    static bool prompt_shown() { return gtk_widget_get_visible(test::main_window().prompt.panel); }
    static int top_rows() { return gtk_tree_model_iter_n_children(GTK_TREE_MODEL(test::main_window().tree.model), nullptr); }

    std::string ran_file_;
};

// StockImage: a mnemonic label of its own beside a stock icon.
enum class Kind { Label, Mnemonic, Stock, StockImage, Separator };

struct ItemRow {
    Kind kind;
    const char* text; // label as given (with its underline) or stock id
    guint accel_key;  // shown beside the item; 0 for none
    GdkModifierType accel_mods = GDK_CONTROL_MASK;
    const char* stock_id = nullptr; // StockImage: its icon
};

struct MenuRow {
    const char* label;
    std::vector<ItemRow> items;
};

const std::vector<MenuRow>& menu_table()
{
    static const std::vector<MenuRow> table{
        {"_File",
         {
             {Kind::Mnemonic, "_Open file", 0},
             {Kind::Stock, "gtk-preferences", 0},
             {Kind::Separator, nullptr, 0},
             {Kind::Stock, "gtk-quit", GDK_KEY_q},
             {Kind::Mnemonic, "_Lock", GDK_KEY_l},
             {Kind::Separator, nullptr, 0},
             {Kind::Stock, "gtk-save", GDK_KEY_s},
             {Kind::Mnemonic, "_Change passphrase…", 0},
         }},
        {"_Edit",
         {
             {Kind::StockImage, "_Add account", GDK_KEY_Insert, GdkModifierType(0), "gtk-add"},
             {Kind::StockImage, "_Edit account", GDK_KEY_F2, GdkModifierType(0), "gtk-edit"},
             {Kind::StockImage, "D_uplicate account", 0, GdkModifierType(0), "gtk-copy"},
             {Kind::StockImage, "_Delete", GDK_KEY_Delete, GdkModifierType(0), "gtk-delete"},
             {Kind::Separator, nullptr, 0},
             {Kind::StockImage, "_Change password…", 0, GdkModifierType(0), "gtk-dialog-authentication"},
         }},
        {"_Action",
         {
             {Kind::Label, "Copy command line", 0},
             {Kind::Label, "Copy password", 0},
             {Kind::Label, "Copy password & Execute", 0},
             {Kind::Stock, "gtk-execute", 0},
             {Kind::Label, "Log in", GDK_KEY_Return},
             {Kind::Separator, nullptr, 0},
             {Kind::Stock, "gtk-go-forward", GDK_KEY_n},
             {Kind::Stock, "gtk-go-back", GDK_KEY_p},
         }},
        {"_View",
         {
             {Kind::Label, "Collapse all", 0},
             {Kind::Label, "Expand a little", 0},
             {Kind::Label, "Expand all", 0},
             {Kind::Label, "Unselect all", 0},
             {Kind::Separator, nullptr, 0},
             {Kind::Stock, "gtk-refresh", GDK_KEY_r},
         }},
        {"_Help",
         {
             {Kind::Stock, "gtk-about", 0},
         }},
    };
    return table;
}

TEST_F(MenusTest, MenuBarHoldsEveryItemInOrderWithExactlyItsAccelerators)
{
    ASSERT_TRUE(GTK_IS_MENU_BAR(menu_bar()));
    GtkAccelGroup* window_group = nullptr;
    GSList* groups = gtk_accel_groups_from_object(G_OBJECT(test::main_window().window));
    ASSERT_EQ(g_slist_length(groups), 1u);
    window_group = GTK_ACCEL_GROUP(groups->data);

    auto tops = child_widgets(menu_bar());
    ASSERT_EQ(tops.size(), menu_table().size());
    for (std::size_t m = 0; m < tops.size(); ++m) {
        const MenuRow& row = menu_table()[m];
        SCOPED_TRACE(row.label);
        EXPECT_STREQ(gtk_menu_item_get_label(GTK_MENU_ITEM(tops[m])), row.label);
        EXPECT_TRUE(gtk_menu_item_get_use_underline(GTK_MENU_ITEM(tops[m])));
        GtkWidget* menu = gtk_menu_item_get_submenu(GTK_MENU_ITEM(tops[m]));
        ASSERT_TRUE(GTK_IS_MENU(menu));
        auto items = child_widgets(menu);
        ASSERT_EQ(items.size(), row.items.size());
        for (std::size_t i = 0; i < items.size(); ++i) {
            const ItemRow& expected = row.items[i];
            GtkWidget* item = items[i];
            SCOPED_TRACE("item " + std::to_string(i) + " " + (expected.text ? expected.text : "separator"));
            EXPECT_TRUE(gtk_widget_get_sensitive(item));
            switch (expected.kind) {
            case Kind::Separator:
                EXPECT_TRUE(GTK_IS_SEPARATOR_MENU_ITEM(item));
                break;
            case Kind::Stock:
                ASSERT_TRUE(GTK_IS_IMAGE_MENU_ITEM(item));
                EXPECT_TRUE(gtk_image_menu_item_get_use_stock(GTK_IMAGE_MENU_ITEM(item)));
                EXPECT_STREQ(gtk_menu_item_get_label(GTK_MENU_ITEM(item)), expected.text);
                break;
            case Kind::StockImage: {
                ASSERT_TRUE(GTK_IS_IMAGE_MENU_ITEM(item));
                EXPECT_FALSE(gtk_image_menu_item_get_use_stock(GTK_IMAGE_MENU_ITEM(item)));
                EXPECT_STREQ(gtk_menu_item_get_label(GTK_MENU_ITEM(item)), expected.text);
                EXPECT_TRUE(gtk_menu_item_get_use_underline(GTK_MENU_ITEM(item)));
                GtkWidget* image = gtk_image_menu_item_get_image(GTK_IMAGE_MENU_ITEM(item));
                ASSERT_TRUE(GTK_IS_IMAGE(image));
                gchar* stock_id = nullptr;
                gtk_image_get_stock(GTK_IMAGE(image), &stock_id, nullptr);
                EXPECT_STREQ(stock_id, expected.stock_id);
                break;
            }
            case Kind::Label:
            case Kind::Mnemonic:
                EXPECT_FALSE(GTK_IS_IMAGE_MENU_ITEM(item));
                EXPECT_FALSE(GTK_IS_SEPARATOR_MENU_ITEM(item));
                EXPECT_STREQ(gtk_menu_item_get_label(GTK_MENU_ITEM(item)), expected.text);
                EXPECT_EQ(gtk_menu_item_get_use_underline(GTK_MENU_ITEM(item)), expected.kind == Kind::Mnemonic);
                break;
            }
            // A stock item made with an accelerator group would carry the stock default (Ctrl+Q for
            // Quit, for one) here and under an accel path; only the table's own may exist.
            EXPECT_EQ(gtk_menu_item_get_accel_path(GTK_MENU_ITEM(item)), nullptr);
            auto accels = accelerators_of(item);
            if (expected.accel_key == 0) {
                EXPECT_TRUE(accels.empty());
                continue;
            }
            ASSERT_EQ(accels.size(), 1u);
            EXPECT_EQ(accels[0].key, expected.accel_key);
            EXPECT_EQ(accels[0].mods, expected.accel_mods);
            // The toolkit locks every accelerator it adds to a widget; what matters is that it is shown.
            EXPECT_TRUE(accels[0].flags & GTK_ACCEL_VISIBLE);
            EXPECT_EQ(accels[0].group, window_group);
        }
    }

    // Walk the whole group: the ten above and nothing else.
    int entries = 0;
    gtk_accel_group_find(
        window_group,
        [](GtkAccelKey*, GClosure*, gpointer count) {
            ++*static_cast<int*>(count);
            return gboolean(FALSE);
        },
        &entries);
    EXPECT_EQ(entries, 10);
}

TEST_F(MenusTest, ToolbarHoldsTheActionLoginAndEditButtons)
{
    GtkWidget* bar = toolbar();
    ASSERT_TRUE(GTK_IS_TOOLBAR(bar));
    EXPECT_EQ(gtk_toolbar_get_style(GTK_TOOLBAR(bar)), GTK_TOOLBAR_BOTH);
    EXPECT_FALSE(gtk_toolbar_get_show_arrow(GTK_TOOLBAR(bar)));
    struct Button {
        const char* stock_id;
        const char* label; // null: the stock label
        const char* tooltip;
    };
    const Button buttons[] = {
        {"gtk-copy", "Copy cmd line", "Copy command line."},
        {"gtk-copy", "Copy passwd", "Copy password."},
        {"gtk-copy", "Copy & Execute", "Copy password and execute command line."},
        {"gtk-execute", nullptr, "Execute command line."},
        {"gtk-connect", "Log in", "Execute command line; Sealkeep answers ssh's password prompt."},
        {"gtk-add", "Add", "Add an account."},
        {"gtk-edit", "Edit", "Edit the selected account."},
    };
    ASSERT_EQ(gtk_toolbar_get_n_items(GTK_TOOLBAR(bar)), 7);
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE("button " + std::to_string(i));
        GtkToolItem* item = gtk_toolbar_get_nth_item(GTK_TOOLBAR(bar), i);
        ASSERT_TRUE(GTK_IS_TOOL_BUTTON(item));
        GtkToolButton* button = GTK_TOOL_BUTTON(item);
        EXPECT_STREQ(gtk_tool_button_get_stock_id(button), buttons[i].stock_id);
        EXPECT_STREQ(gtk_tool_button_get_label(button), buttons[i].label);
        // The tool item hands its tooltip to the button inside it.
        GCharPtr tooltip{gtk_widget_get_tooltip_text(gtk_bin_get_child(GTK_BIN(item)))};
        EXPECT_STREQ(tooltip.get(), buttons[i].tooltip);
        EXPECT_TRUE(gtk_widget_get_sensitive(GTK_WIDGET(item)));
    }
}

TEST_F(MenusTest, EntryActionItemsAndButtonsActOnTheSelectedAccount)
{
    struct Case {
        const char* name;
        std::size_t menu_index; // in the Action menu; the toolbar button has the same position
        const char* clipboard;  // what the clipboard holds afterwards
        const char* ran;        // what the command line wrote
    };
    const Case cases[] = {
        {"Copy command line", 0, nullptr, ""},
        {"Copy password", 1, "pw-b", ""},
        {"Copy password & Execute", 2, "pw-b", "ran alice@srv2:22\n"},
        {"Execute", 3, "untouched", "ran alice@srv2:22\n"},
        {"Log in", 4, "untouched", "ran alice@srv2:22\n"},
    };
    const std::string command_line = "echo ran alice@srv2:22 >> " + ran_file_;
    for (const Case& c : cases) {
        for (bool by_toolbar : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (by_toolbar ? " (toolbar)" : " (menu)"));
            std::remove(ran_file_.c_str());
            gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), "untouched", -1);
            put_cursor(ROW_B);
            if (by_toolbar)
                gtk_button_clicked(GTK_BUTTON(
                    gtk_bin_get_child(GTK_BIN(gtk_toolbar_get_nth_item(GTK_TOOLBAR(toolbar()), c.menu_index)))));
            else
                gtk_menu_item_activate(GTK_MENU_ITEM(menu_item(ACTION_MENU, c.menu_index)));
            EXPECT_TRUE(test::wait_for_commands());
            drain_events();
            EXPECT_EQ(clipboard_text(), c.clipboard ? std::string(c.clipboard) : command_line);
            EXPECT_EQ(ran(), c.ran);
        }
    }
}

TEST_F(MenusTest, StepItemsAndTheirAcceleratorsWalkTheSearchMatches)
{
    struct Case {
        const char* how;
        void (*step)();
        const char* cursor_after; // starting from the first match
    };
    const Case cases[] = {
        {"forward item", [] { gtk_menu_item_activate(GTK_MENU_ITEM(menu_item(ACTION_MENU, 6))); }, ROW_B},
        {"back item", [] { gtk_menu_item_activate(GTK_MENU_ITEM(menu_item(ACTION_MENU, 7))); }, ROW_C},
        {"Ctrl+N", [] { gtk_accel_groups_activate(G_OBJECT(test::main_window().window), GDK_KEY_n, GDK_CONTROL_MASK); },
         ROW_B},
        {"Ctrl+P", [] { gtk_accel_groups_activate(G_OBJECT(test::main_window().window), GDK_KEY_p, GDK_CONTROL_MASK); },
         ROW_C},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        search_for("");
        search_for("alice");
        ASSERT_EQ(cursor_path(), ROW_A);
        c.step();
        drain_events();
        EXPECT_EQ(cursor_path(), c.cursor_after);
    }
}

TEST_F(MenusTest, ViewItemsFoldUnfoldAndUnselect)
{
    auto activate = [](std::size_t index) {
        gtk_menu_item_activate(GTK_MENU_ITEM(menu_item(VIEW_MENU, index)));
        drain_events();
    };
    activate(2); // Expand all
    EXPECT_TRUE(expanded("0:0:1:0:0")) << "every row down to the accounts";
    EXPECT_TRUE(expanded("1:0:0:0:0"));

    activate(0); // Collapse all
    EXPECT_FALSE(expanded("0"));
    EXPECT_FALSE(expanded("1"));

    activate(1); // Expand a little: the customers and their children open, nothing deeper
    EXPECT_TRUE(expanded("0"));
    EXPECT_TRUE(expanded("0:0"));
    EXPECT_TRUE(expanded("1:0"));
    EXPECT_FALSE(expanded("0:0:0"));

    put_cursor(ROW_B);
    ASSERT_EQ(gtk_tree_selection_count_selected_rows(gtk_tree_view_get_selection(tree_view())), 1);
    activate(3); // Unselect all
    EXPECT_EQ(gtk_tree_selection_count_selected_rows(gtk_tree_view_get_selection(tree_view())), 0);
    EXPECT_EQ(cursor_path(), ROW_B);
}

TEST_F(MenusTest, RefreshItemAndCtrlRShowThePromptAndEmptyTheTree)
{
    const std::pair<const char*, void (*)()> ways[] = {
        {"item", [] { gtk_menu_item_activate(GTK_MENU_ITEM(menu_item(VIEW_MENU, 5))); }},
        {"Ctrl+R",
         [] { gtk_accel_groups_activate(G_OBJECT(test::main_window().window), GDK_KEY_r, GDK_CONTROL_MASK); }},
    };
    for (const auto& [how, refresh] : ways) {
        SCOPED_TRACE(how);
        ASSERT_EQ(test::load_fixture({test::record_line("Acme;web;srv1;ssh;22;alice;pw-a")}), 1);
        gtk_widget_hide(test::main_window().prompt.panel);
        refresh();
        drain_events();
        EXPECT_TRUE(prompt_shown());
        EXPECT_EQ(top_rows(), 0);
        EXPECT_EQ(test::main_window().tree.database_loaded, 0);
    }
}

TEST_F(MenusTest, DialogItemsOpenTheirDialogs)
{
    struct Case {
        Menu menu;
        std::size_t index;
        const char* title; // null: the About dialog, whose title the toolkit makes
        bool about;
    };
    const Case cases[] = {
        {FILE_MENU, 0, "Select a new password file", false},
        {FILE_MENU, 1, "Setup", false},
        {HELP_MENU, 0, nullptr, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title ? c.title : "About");
        struct Seen {
            std::string title;
            bool about = false;
            bool shown = false;
        } seen;
        test::respond_in_nested_loop(
            [](GtkWidget* dialog, void* data) {
                auto* s = static_cast<Seen*>(data);
                s->shown = true;
                s->title = gtk_window_get_title(GTK_WINDOW(dialog)) ? gtk_window_get_title(GTK_WINDOW(dialog)) : "";
                s->about = GTK_IS_ABOUT_DIALOG(dialog);
                gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
            },
            &seen);
        gtk_menu_item_activate(GTK_MENU_ITEM(menu_item(c.menu, c.index)));
        drain_events();
        ASSERT_TRUE(seen.shown);
        EXPECT_EQ(seen.about, c.about);
        if (c.title) {
            EXPECT_EQ(seen.title, c.title);
        }
    }
    // Cancelled dialogs leave the loaded tree alone.
    EXPECT_EQ(test::main_window().tree.database_loaded, 1);
}

TEST_F(MenusTest, QuitItemAndCtrlQEndTheMainLoop)
{
    EXPECT_TRUE(ends_main_loop([] { gtk_menu_item_activate(GTK_MENU_ITEM(menu_item(FILE_MENU, 3))); }));
    EXPECT_TRUE(ends_main_loop(
        [] { gtk_accel_groups_activate(G_OBJECT(test::main_window().window), GDK_KEY_q, GDK_CONTROL_MASK); }));
}

// Real key presses delivered to the focused entry: the window's accelerators come before the entry's own
// key handling, so they work while the user types a passphrase or a search.
TEST_F(MenusTest, AcceleratorsWorkWhileAnEntryHasTheFocus)
{
    GtkWidget* prompt = test::main_window().prompt.panel;
    gtk_widget_show(prompt);
    drain_events();
    GtkWidget* passphrase_entry = nullptr;
    std::vector<GtkWidget*> pending{prompt};
    while (!pending.empty() && !passphrase_entry) {
        GtkWidget* w = pending.back();
        pending.pop_back();
        if (GTK_IS_ENTRY(w))
            passphrase_entry = w;
        else if (GTK_IS_CONTAINER(w))
            for (GtkWidget* child : child_widgets(w))
                pending.push_back(child);
    }
    ASSERT_NE(passphrase_entry, nullptr);
    GtkWidget* search_entry = GTK_WIDGET(test::main_window().search.entry);

    auto press = [](GtkWidget* focus, guint key) {
        gtk_widget_grab_focus(focus);
        drain_events();
        ASSERT_TRUE(gtk_widget_is_focus(focus));
        ASSERT_TRUE(gtk_test_widget_send_key(focus, key, GDK_CONTROL_MASK));
        drain_events();
    };
    const std::pair<const char*, GtkWidget*> focuses[] = {{"passphrase entry", passphrase_entry},
                                                          {"search entry", search_entry}};
    for (const auto& [where, focus] : focuses) {
        SCOPED_TRACE(where);
        search_for("");
        search_for("alice");
        ASSERT_EQ(cursor_path(), ROW_A);
        press(focus, GDK_KEY_n);
        EXPECT_EQ(cursor_path(), ROW_B);
        press(focus, GDK_KEY_p);
        EXPECT_EQ(cursor_path(), ROW_A);

        gtk_widget_hide(prompt);
        if (focus == passphrase_entry)
            gtk_widget_show(prompt); // the entry can only hold the focus while its panel is shown
        ASSERT_EQ(top_rows(), 2);
        press(focus, GDK_KEY_r);
        EXPECT_TRUE(prompt_shown());
        EXPECT_EQ(top_rows(), 0);
        ASSERT_EQ(test::load_fixture({test::record_line("Acme;web;srv1;ssh;22;alice;pw-a"),
                                      test::record_line("Acme;web;srv2;ssh;22;alice;pw-b"),
                                      test::record_line("Bolt;db;srv3;ssh;22;alice;pw-c")}),
                  1);

        GtkWidget* focused = focus;
        EXPECT_TRUE(ends_main_loop([focused] {
            gtk_widget_grab_focus(focused);
            gtk_test_widget_send_key(focused, GDK_KEY_q, GDK_CONTROL_MASK);
        }));
    }
}

} // namespace
} // namespace sealkeep
