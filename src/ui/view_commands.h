// View menu commands, Refresh and About.
#pragma once

#include <gtk/gtk.h>

namespace sealkeep {

void expand_a_little(GtkTreeView* tree_view);
void unselect_all(GtkTreeView* tree_view);
void refresh_entries();
void show_about_dialog();

} // namespace sealkeep
