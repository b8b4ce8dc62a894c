// The menu bar, the accelerators and the toolbar.
#pragma once

#include <gtk/gtk.h>

namespace sealkeep {

GtkWidget* create_menu_bar(GtkAccelGroup* accel_group, GtkTreeView* tree_view);
GtkWidget* create_toolbar(GtkTreeView* tree_view);

} // namespace sealkeep
