// The menu bar with its four accelerators, and the toolbar: every command of the program is reachable
// from here. No item is ever made insensitive; each action decides for itself whether it can act.
#include "ui/menus.h"

#include "ui/entry_actions.h"
#include "ui/i18n.h"
#include "ui/search_bar.h"
#include "ui/setup_dialog.h"
#include "ui/view_commands.h"

#include <gdk/gdkkeysyms.h>

#include <vector>

namespace sealkeep {

namespace {

enum class Kind { Label, Mnemonic, Stock, Separator };

// What the action is handed when the item is activated.
enum class Gets {
    Nothing,        // connected plainly; the action ignores its arguments
    TreeView,       // connected swapped, so the tree view is the action's only argument
    TreeViewAsData, // the item first, the tree view as user data
};

struct ItemDef {
    Kind kind;
    const char* text; // label (translated here) or stock id
    GCallback action;
    Gets gets;
    guint accel_key; // 0: no accelerator
};

struct MenuDef {
    const char* label;
    std::vector<ItemDef> items;
};

void find_next_from_menu(GtkMenuItem*, gpointer tree_view)
{
    find_next_match(GTK_TREE_VIEW(tree_view));
}

void find_previous_from_menu(GtkMenuItem*, gpointer tree_view)
{
    find_previous_match(GTK_TREE_VIEW(tree_view));
}

void quit_from_menu(GtkMenuItem*, gpointer)
{
    gtk_main_quit();
}

void open_file_from_menu(GtkMenuItem*, gpointer)
{
    choose_password_file();
}

void setup_from_menu(GtkMenuItem*, gpointer)
{
    show_setup_dialog();
}

void refresh_from_menu(GtkMenuItem*, gpointer)
{
    refresh_entries();
}

void about_from_menu(GtkMenuItem*, gpointer)
{
    show_about_dialog();
}

const ItemDef SEPARATOR{Kind::Separator, nullptr, nullptr, Gets::Nothing, 0};

GtkWidget* make_item(const ItemDef& def)
{
    switch (def.kind) {
    case Kind::Label:
        return gtk_menu_item_new_with_label(_(def.text));
    case Kind::Mnemonic:
        return gtk_menu_item_new_with_mnemonic(_(def.text));
    case Kind::Stock:
        // No accelerator group: the stock items' default shortcuts (Ctrl+Q for Quit among them) must not
        // exist beside the four that are installed below.
        return gtk_image_menu_item_new_from_stock(def.text, nullptr);
    case Kind::Separator:
        break;
    }
    return gtk_separator_menu_item_new();
}

void connect_action(GtkWidget* item, const ItemDef& def, GtkTreeView* tree_view)
{
    switch (def.gets) {
    case Gets::Nothing:
        g_signal_connect(item, "activate", def.action, nullptr);
        break;
    case Gets::TreeView:
        g_signal_connect_swapped(item, "activate", def.action, tree_view);
        break;
    case Gets::TreeViewAsData:
        g_signal_connect(item, "activate", def.action, tree_view);
        break;
    }
}

GtkWidget* make_menu(const MenuDef& def, GtkAccelGroup* accel_group, GtkTreeView* tree_view)
{
    GtkWidget* menu = gtk_menu_new();
    for (const ItemDef& item_def : def.items) {
        GtkWidget* item = make_item(item_def);
        if (item_def.action)
            connect_action(item, item_def, tree_view);
        if (item_def.accel_key)
            gtk_widget_add_accelerator(item, "activate", accel_group, item_def.accel_key, GDK_CONTROL_MASK,
                                       GTK_ACCEL_VISIBLE);
        gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    }
    GtkWidget* top = gtk_menu_item_new_with_mnemonic(_(def.label));
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(top), menu);
    return top;
}

} // namespace

GtkWidget* create_menu_bar(GtkAccelGroup* accel_group, GtkTreeView* tree_view)
{
    const MenuDef menus[] = {
        {N_("_File"),
         {
             {Kind::Mnemonic, N_("_Open file"), G_CALLBACK(open_file_from_menu), Gets::Nothing, 0},
             {Kind::Stock, "gtk-preferences", G_CALLBACK(setup_from_menu), Gets::Nothing, 0},
             SEPARATOR,
             {Kind::Stock, "gtk-quit", G_CALLBACK(quit_from_menu), Gets::Nothing, GDK_KEY_q},
         }},
        {N_("_Action"),
         {
             {Kind::Label, N_("Copy command line"), G_CALLBACK(on_copy_command_line), Gets::TreeView, 0},
             {Kind::Label, N_("Copy password"), G_CALLBACK(on_copy_password), Gets::TreeView, 0},
             {Kind::Label, N_("Copy password & Execute"), G_CALLBACK(on_copy_password_and_execute), Gets::TreeView, 0},
             {Kind::Stock, "gtk-execute", G_CALLBACK(on_execute), Gets::TreeView, 0},
             SEPARATOR,
             {Kind::Stock, "gtk-go-forward", G_CALLBACK(find_next_from_menu), Gets::TreeViewAsData, GDK_KEY_n},
             {Kind::Stock, "gtk-go-back", G_CALLBACK(find_previous_from_menu), Gets::TreeViewAsData, GDK_KEY_p},
         }},
        {N_("_View"),
         {
             {Kind::Label, N_("Collapse all"), G_CALLBACK(gtk_tree_view_collapse_all), Gets::TreeView, 0},
             {Kind::Label, N_("Expand a little"), G_CALLBACK(expand_a_little), Gets::TreeView, 0},
             {Kind::Label, N_("Expand all"), G_CALLBACK(gtk_tree_view_expand_all), Gets::TreeView, 0},
             {Kind::Label, N_("Unselect all"), G_CALLBACK(unselect_all), Gets::TreeView, 0},
             SEPARATOR,
             {Kind::Stock, "gtk-refresh", G_CALLBACK(refresh_from_menu), Gets::Nothing, GDK_KEY_r},
         }},
        {N_("_Help"),
         {
             {Kind::Stock, "gtk-about", G_CALLBACK(about_from_menu), Gets::Nothing, 0},
         }},
    };

    GtkWidget* bar = gtk_menu_bar_new();
    for (const MenuDef& def : menus)
        gtk_menu_shell_append(GTK_MENU_SHELL(bar), make_menu(def, accel_group, tree_view));
    return bar;
}

GtkWidget* create_toolbar(GtkTreeView* tree_view)
{
    struct ButtonDef {
        const char* stock_id;
        const char* label; // null: the stock item's own label
        const char* tooltip;
        GCallback action;
    };
    const ButtonDef buttons[] = {
        {"gtk-copy", N_("Copy cmd line"), N_("Copy command line."), G_CALLBACK(on_copy_command_line)},
        {"gtk-copy", N_("Copy passwd"), N_("Copy password."), G_CALLBACK(on_copy_password)},
        {"gtk-copy", N_("Copy & Execute"), N_("Copy password and execute command line."),
         G_CALLBACK(on_copy_password_and_execute)},
        {"gtk-execute", nullptr, N_("Execute command line."), G_CALLBACK(on_execute)},
    };

    GtkWidget* toolbar = gtk_toolbar_new();
    gtk_toolbar_set_style(GTK_TOOLBAR(toolbar), GTK_TOOLBAR_BOTH);
    // Without the overflow arrow the toolbar asks for the width of all its buttons, so none can be hidden.
    gtk_toolbar_set_show_arrow(GTK_TOOLBAR(toolbar), FALSE);
    for (const ButtonDef& def : buttons) {
        GtkToolItem* button = gtk_tool_button_new_from_stock(def.stock_id);
        if (def.label)
            gtk_tool_button_set_label(GTK_TOOL_BUTTON(button), _(def.label));
        gtk_tool_item_set_tooltip_text(button, _(def.tooltip));
        g_signal_connect_swapped(button, "clicked", def.action, tree_view);
        gtk_toolbar_insert(GTK_TOOLBAR(toolbar), button, -1);
    }
    return toolbar;
}

} // namespace sealkeep
