// The icon in the notification area: a click calls `activated`, a right click opens its menu.
#pragma once

#include "ui/glib_ptr.h"

#include <gtk/gtk.h>

#include <functional>

namespace sealkeep {

struct TrayIcon {
    TrayIcon() = default;
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;
    // The menu goes with the icon.
    ~TrayIcon();

    RefPtr<GtkStatusIcon> icon;
    GtkWidget* menu = nullptr; // the right-click menu; the icon holds its reference
    std::function<void()> activated;
};

// Shows the icon (the named one, or the stock image of that id where the theme has none) with its
// tooltip and takes the menu, which has no parent.
void show_tray_icon(TrayIcon& tray, const char* icon_name, const char* tooltip, GtkWidget* menu);

// Whether the icon sits in a tray now: only then can a window that left the taskbar be brought back.
bool tray_icon_embedded(const TrayIcon& tray);

} // namespace sealkeep
