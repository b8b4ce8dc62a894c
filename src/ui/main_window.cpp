// The main window: the stack of children in their fixed order, the hidden clipboard entry,
// the status icon and the window's behaviour when iconified.
#include "ui/main_window.h"

#include "ui/glib_ptr.h"
#include "ui/entry_store.h"
#include "ui/menus.h"
#include "ui/passphrase_prompt.h"
#include "ui/search_bar.h"

namespace sealkeep {

namespace {

// Kept by no one else; lives until the process ends. Remembered for its tray state.
GtkStatusIcon* status_icon = nullptr;

GtkStatusIcon* create_status_icon()
{
    // Icon themes on Debian have no icon of this name, and a themed icon that is not found leaves
    // an empty slot in the tray; the stock image of the same id is always there.
    GtkIconTheme* theme = gtk_icon_theme_get_default();
    if (theme && gtk_icon_theme_has_icon(theme, WINDOW_ICON))
        return gtk_status_icon_new_from_icon_name(WINDOW_ICON);
    return gtk_status_icon_new_from_stock(WINDOW_ICON);
}

bool only_iconified(GdkWindowState state)
{
    // The whole set compared with the iconified flag alone: an iconified window that is also
    // maximized (or sticky, ...) does not count.
    return state == GDK_WINDOW_STATE_ICONIFIED;
}

} // namespace

GtkWidget* main_window()
{
    GListPtr toplevels{gtk_window_list_toplevels()};
    return toplevels ? GTK_WIDGET(toplevels->data) : nullptr;
}

GtkWidget* main_window_widget(const char* key)
{
    GtkWidget* window = main_window();
    return window ? static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(window), key)) : nullptr;
}

GtkStatusIcon* main_status_icon()
{
    return status_icon;
}

gboolean on_window_state_event(GtkWidget* window, GdkEventWindowState* event, gpointer)
{
    // Leaving the taskbar is safe only while the status icon sits in a tray: without one, an
    // iconified window that left the taskbar could never be brought back.
    bool embedded = status_icon && gtk_status_icon_is_embedded(status_icon);
    gtk_window_set_skip_taskbar_hint(GTK_WINDOW(window), only_iconified(event->new_window_state) && embedded);
    return FALSE;
}

void on_status_icon_activate(GtkWidget* window)
{
    GdkWindow* gdk_window = gtk_widget_get_window(window);
    if (gdk_window && only_iconified(gdk_window_get_state(gdk_window)))
        gtk_window_deiconify(GTK_WINDOW(window));
    else
        gtk_window_iconify(GTK_WINDOW(window));
}

GtkWidget* create_main_window()
{
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "Sealkeep");
    gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
    gtk_window_set_default_size(GTK_WINDOW(window), -1, 350);

    // The dialogs carry the same icon as the main window.
    RefPtr<GdkPixbuf> icon = take_ref(gtk_widget_render_icon(window, WINDOW_ICON, GTK_ICON_SIZE_BUTTON, nullptr));
    gtk_window_set_default_icon(icon.get());

    GtkAccelGroup* accel_group = gtk_accel_group_new();
    gtk_window_add_accel_group(GTK_WINDOW(window), accel_group);
    g_object_unref(accel_group);

    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    g_signal_connect(window, "window-state-event", G_CALLBACK(on_window_state_event), nullptr);

    GtkWidget* vbox = gtk_vbox_new(FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window), vbox);

    GtkWidget* tree_view = create_entry_tree_view();

    GtkWidget* menu_bar = create_menu_bar(accel_group, GTK_TREE_VIEW(tree_view));
    gtk_box_pack_start(GTK_BOX(vbox), menu_bar, FALSE, FALSE, 0);

    GtkWidget* prompt = create_passphrase_prompt();
    gtk_box_pack_start(GTK_BOX(vbox), prompt, FALSE, FALSE, 0);

    GtkWidget* toolbar = create_toolbar(GTK_TREE_VIEW(tree_view));
    gtk_box_pack_start(GTK_BOX(vbox), toolbar, FALSE, FALSE, 0);

    GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
    gtk_container_add(GTK_CONTAINER(scrolled), tree_view);
    gtk_box_pack_start(GTK_BOX(vbox), scrolled, TRUE, TRUE, 0);

    GtkWidget* search_entry = nullptr;
    GtkWidget* search_bar = create_search_bar(GTK_TREE_VIEW(tree_view), &search_entry);
    gtk_box_pack_start(GTK_BOX(vbox), search_bar, FALSE, FALSE, 0);

    GtkWidget* status_bar = gtk_statusbar_new();
    gtk_box_pack_start(GTK_BOX(vbox), status_bar, FALSE, FALSE, 0);

    // The prompt's "show" handler gives its entry the focus here.
    gtk_widget_show_all(window);

    // Made after the window is shown, and never seen. Its text is not masked: a masked entry
    // copies nothing to the clipboard.
    GtkWidget* clipboard_entry = gtk_entry_new();
    gtk_box_pack_start(GTK_BOX(vbox), clipboard_entry, FALSE, TRUE, 0);
    gtk_widget_show(clipboard_entry);
    gtk_widget_hide(clipboard_entry);

    status_icon = create_status_icon();
    gtk_status_icon_set_tooltip_text(status_icon, "Sealkeep");
    gtk_status_icon_set_visible(status_icon, TRUE);
    g_signal_connect_swapped(status_icon, "activate", G_CALLBACK(on_status_icon_activate), window);

    g_object_set_data(G_OBJECT(window), KEY_SEARCH_ENTRY, search_entry);
    g_object_set_data(G_OBJECT(window), KEY_CLIPBOARD, clipboard_entry);
    g_object_set_data(G_OBJECT(window), KEY_PROMPT_PASSWD, prompt);
    g_object_set_data(G_OBJECT(window), KEY_TREE_VIEW, tree_view);
    return window;
}

} // namespace sealkeep
