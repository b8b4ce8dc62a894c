// The menu bar with its accelerators, and the toolbar: every command of the program is reachable
// from here. No item is ever made insensitive; each action decides for itself whether it can act.
#include "ui/window/menus.h"

#include "ui/actions/account_edits.h"
#include "ui/actions/entry_actions.h"
#include "ui/dialogs/setup_dialog.h"
#include "ui/file/save_job.h"
#include "ui/file/unsaved_edits.h"
#include "ui/i18n.h"
#include "ui/lock/lock.h"
#include "ui/search/search_bar.h"
#include "ui/window/document_events.h"
#include "ui/window/main_window.h"
#include "ui/window/view_commands.h"

#include <gdk/gdkkeysyms.h>

#include <vector>

namespace sealkeep {

namespace {

// StockImage: a mnemonic label of our own beside a stock item's icon.
enum class Kind { Label, Mnemonic, Stock, StockImage, Separator };

// Every action takes the window state and nothing else.
using Action = void (*)(MainWindow&);

// A command of one part of the window, as a menu item or button runs it: on that part.
template <auto part, auto command>
void on_part(MainWindow& main)
{
    command(main.*part);
}

struct ItemDef {
    Kind kind;
    const char* text; // label (translated here) or stock id
    Action action;
    guint accel_key; // 0: no accelerator
    GdkModifierType accel_mods = GDK_CONTROL_MASK;
    const char* stock_id = nullptr; // StockImage: the icon
};

struct MenuDef {
    const char* label;
    std::vector<ItemDef> items;
};

void quit(MainWindow& main)
{
    // The load, if one runs, is cancelled when the window state goes after the main loop.
    if (may_drop_edits(main.file, [window = &main] { quit(*window); }))
        quit_program(main);
}

void show_or_hide(MainWindow& main)
{
    on_status_icon_activate(&main);
}

// Menu items and tool buttons hand the state over as their user data.
void on_activate(GtkWidget* item, MainWindow* main)
{
    auto action = reinterpret_cast<Action>(g_object_get_data(G_OBJECT(item), "sealkeep-action"));
    action(*main);
}

void connect_action(GtkWidget* item, const char* signal, Action action, MainWindow& main)
{
    g_object_set_data(G_OBJECT(item), "sealkeep-action", reinterpret_cast<gpointer>(action));
    g_signal_connect(item, signal, G_CALLBACK(on_activate), &main);
}

const ItemDef SEPARATOR{Kind::Separator, nullptr, nullptr, 0};

GtkWidget* make_item(const ItemDef& def)
{
    switch (def.kind) {
    case Kind::Label:
        return gtk_menu_item_new_with_label(_(def.text));
    case Kind::Mnemonic:
        return gtk_menu_item_new_with_mnemonic(_(def.text));
    case Kind::StockImage: {
        GtkWidget* item = gtk_image_menu_item_new_with_mnemonic(_(def.text));
        gtk_image_menu_item_set_image(GTK_IMAGE_MENU_ITEM(item), gtk_image_new_from_stock(def.stock_id, GTK_ICON_SIZE_MENU));
        return item;
    }
    case Kind::Stock:
        // No accelerator group: the stock items' default shortcuts (Ctrl+Q for Quit among them) must not
        // exist beside the ones installed below.
        return gtk_image_menu_item_new_from_stock(def.text, nullptr);
    case Kind::Separator:
        break;
    }
    return gtk_separator_menu_item_new();
}

GtkWidget* make_menu(const MenuDef& def, GtkAccelGroup* accel_group, MainWindow& main)
{
    GtkWidget* menu = gtk_menu_new();
    for (const ItemDef& item_def : def.items) {
        GtkWidget* item = make_item(item_def);
        if (item_def.action)
            connect_action(item, "activate", item_def.action, main);
        if (item_def.accel_key)
            gtk_widget_add_accelerator(item, "activate", accel_group, item_def.accel_key, item_def.accel_mods,
                                       GTK_ACCEL_VISIBLE);
        gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    }
    GtkWidget* top = gtk_menu_item_new_with_mnemonic(_(def.label));
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(top), menu);
    return top;
}

} // namespace

GtkWidget* create_menu_bar(GtkAccelGroup* accel_group, MainWindow& main)
{
    const MenuDef menus[] = {
        {N_("_File"),
         {
             {Kind::Mnemonic, N_("_Open file"), &on_part<&MainWindow::setup, choose_password_file>, 0},
             {Kind::Stock, "gtk-preferences", &on_part<&MainWindow::setup, show_setup_dialog>, 0},
             SEPARATOR,
             {Kind::Stock, "gtk-quit", &quit, GDK_KEY_q},
             {Kind::Mnemonic, N_("_Lock"), &lock_window, GDK_KEY_l},
             SEPARATOR,
             {Kind::Stock, "gtk-save", &on_part<&MainWindow::file, save_document>, GDK_KEY_s},
             {Kind::Mnemonic, N_("_Change passphrase…"), &on_part<&MainWindow::file, change_passphrase>, 0},
         }},
        {N_("_Edit"),
         {
             {Kind::StockImage, N_("_Add account"), &on_part<&MainWindow::editing, add_account_command>, GDK_KEY_Insert, GdkModifierType(0),
              GTK_STOCK_ADD},
             {Kind::StockImage, N_("_Edit account"), &on_part<&MainWindow::editing, edit_account_command>, GDK_KEY_F2, GdkModifierType(0),
              GTK_STOCK_EDIT},
             {Kind::StockImage, N_("D_uplicate account"), &on_part<&MainWindow::editing, duplicate_account_command>, 0, GdkModifierType(0),
              GTK_STOCK_COPY},
             {Kind::StockImage, N_("_Delete"), &on_part<&MainWindow::editing, delete_accounts_command>, GDK_KEY_Delete, GdkModifierType(0),
              GTK_STOCK_DELETE},
             SEPARATOR,
             {Kind::StockImage, N_("_Change password…"), &on_part<&MainWindow::editing, change_password_command>, 0, GdkModifierType(0),
              "gtk-dialog-authentication"},
         }},
        {N_("_Action"),
         {
             {Kind::Label, N_("Copy command line"), &on_part<&MainWindow::actions, on_copy_command_line>, 0},
             {Kind::Label, N_("Copy password"), &on_part<&MainWindow::actions, on_copy_password>, 0},
             {Kind::Label, N_("Copy password & Execute"), &on_part<&MainWindow::actions, on_copy_password_and_execute>, 0},
             {Kind::Stock, "gtk-execute", &on_part<&MainWindow::actions, on_execute>, 0},
             {Kind::Label, N_("Log in"), &on_part<&MainWindow::actions, on_log_in>, GDK_KEY_Return},
             SEPARATOR,
             {Kind::Stock, "gtk-go-forward", &on_part<&MainWindow::search, find_next_match>, GDK_KEY_n},
             {Kind::Stock, "gtk-go-back", &on_part<&MainWindow::search, find_previous_match>, GDK_KEY_p},
         }},
        {N_("_View"),
         {
             {Kind::Label, N_("Collapse all"), &collapse_all, 0},
             {Kind::Label, N_("Expand a little"), &expand_a_little, 0},
             {Kind::Label, N_("Expand all"), &expand_all, 0},
             {Kind::Label, N_("Unselect all"), &unselect_all, 0},
             SEPARATOR,
             {Kind::Stock, "gtk-refresh", &refresh_entries, GDK_KEY_r},
         }},
        {N_("_Help"),
         {
             {Kind::Stock, "gtk-about", &show_about_dialog, 0},
         }},
    };

    GtkWidget* bar = gtk_menu_bar_new();
    for (const MenuDef& def : menus)
        gtk_menu_shell_append(GTK_MENU_SHELL(bar), make_menu(def, accel_group, main));
    // Double-click on an account, and the plain Edit keys going to text fields first.
    connect_edit_handlers(main.editing);
    return bar;
}

GtkWidget* create_status_icon_menu(MainWindow& main)
{
    const ItemDef items[] = {
        {Kind::Label, N_("Show/Hide"), &show_or_hide, 0},
        {Kind::Mnemonic, N_("_Lock"), &lock_window, 0},
        SEPARATOR,
        {Kind::Stock, "gtk-quit", &quit, 0},
    };
    GtkWidget* menu = gtk_menu_new();
    for (const ItemDef& def : items) {
        GtkWidget* item = make_item(def);
        if (def.action)
            connect_action(item, "activate", def.action, main);
        gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    }
    gtk_widget_show_all(menu);
    return menu;
}

GtkWidget* create_toolbar(MainWindow& main)
{
    struct ButtonDef {
        const char* stock_id;
        const char* label; // null: the stock item's own label
        const char* tooltip;
        Action action;
    };
    const ButtonDef buttons[] = {
        {"gtk-copy", N_("Copy cmd line"), N_("Copy command line."), &on_part<&MainWindow::actions, on_copy_command_line>},
        {"gtk-copy", N_("Copy passwd"), N_("Copy password."), &on_part<&MainWindow::actions, on_copy_password>},
        {"gtk-copy", N_("Copy & Execute"), N_("Copy password and execute command line."),
         &on_part<&MainWindow::actions, on_copy_password_and_execute>},
        {"gtk-execute", nullptr, N_("Execute command line."), &on_part<&MainWindow::actions, on_execute>},
        {"gtk-connect", N_("Log in"), N_("Execute command line; Sealkeep answers ssh's password prompt."),
         &on_part<&MainWindow::actions, on_log_in>},
        {"gtk-add", N_("Add"), N_("Add an account."), &on_part<&MainWindow::editing, add_account_command>},
        {"gtk-edit", N_("Edit"), N_("Edit the selected account."), &on_part<&MainWindow::editing, edit_account_command>},
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
        connect_action(GTK_WIDGET(button), "clicked", def.action, main);
        gtk_toolbar_insert(GTK_TOOLBAR(toolbar), button, -1);
    }
    return toolbar;
}

} // namespace sealkeep
