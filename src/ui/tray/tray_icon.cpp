// The notification-area icon and its menu.
#include "ui/tray/tray_icon.h"

namespace sealkeep {

namespace {

RefPtr<GtkStatusIcon> create_status_icon(const char* icon_name)
{
    // Icon themes on Debian have no icon of this name, and a themed icon that is not found leaves
    // an empty slot in the tray; the stock image of the same id is always there.
    GtkIconTheme* theme = gtk_icon_theme_get_default();
    if (theme && gtk_icon_theme_has_icon(theme, icon_name))
        return take_ref(gtk_status_icon_new_from_icon_name(icon_name));
    return take_ref(gtk_status_icon_new_from_stock(icon_name));
}

void on_activate(GtkStatusIcon*, TrayIcon* tray)
{
    if (tray->activated)
        tray->activated();
}

void on_popup_menu(GtkStatusIcon* icon, guint button, guint activate_time, TrayIcon* tray)
{
    gtk_menu_popup(GTK_MENU(tray->menu), nullptr, nullptr, gtk_status_icon_position_menu, icon, button, activate_time);
}

} // namespace

TrayIcon::~TrayIcon()
{
    if (icon)
        g_signal_handlers_disconnect_by_data(icon.get(), this);
    if (menu) {
        gtk_widget_destroy(menu);
        g_object_unref(menu);
    }
}

void show_tray_icon(TrayIcon& tray, const char* icon_name, const char* tooltip, GtkWidget* menu)
{
    tray.icon = create_status_icon(icon_name);
    gtk_status_icon_set_tooltip_text(tray.icon.get(), tooltip);
    gtk_status_icon_set_visible(tray.icon.get(), TRUE);
    g_signal_connect(tray.icon.get(), "activate", G_CALLBACK(on_activate), &tray);
    // A menu without a parent starts with a floating reference: the tray takes it, and drops it when it
    // goes, or the menu would never be freed.
    tray.menu = menu;
    g_object_ref_sink(tray.menu);
    g_signal_connect(tray.icon.get(), "popup-menu", G_CALLBACK(on_popup_menu), &tray);
}

bool tray_icon_embedded(const TrayIcon& tray)
{
    return tray.icon && gtk_status_icon_is_embedded(tray.icon.get());
}

} // namespace sealkeep
