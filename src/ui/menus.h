// The menu bar, the accelerators and the toolbar.
#pragma once

#include <gtk/gtk.h>

namespace sealkeep {

struct MainWindow;

GtkWidget* create_menu_bar(GtkAccelGroup* accel_group, MainWindow& main);
GtkWidget* create_toolbar(MainWindow& main);

} // namespace sealkeep
