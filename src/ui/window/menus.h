// The menu bar, the accelerators and the toolbar.
#pragma once

#include <gtk/gtk.h>

namespace sealkeep {

struct MainWindow;

GtkWidget* create_menu_bar(GtkAccelGroup* accel_group, MainWindow& main);
GtkWidget* create_toolbar(MainWindow& main);

// The status icon's right-click menu: Show/Hide, Lock, Quit. Not attached to any widget: its owner
// destroys it.
GtkWidget* create_status_icon_menu(MainWindow& main);

} // namespace sealkeep
