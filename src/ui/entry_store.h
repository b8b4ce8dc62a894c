// The entry store (accounts as a tree model) and its one view.
#pragma once

#include <gtk/gtk.h>

namespace sealkeep {

struct MainWindow;

enum { COL_ICON, COL_TEXT, COL_ENTRY, N_ENTRY_COLUMNS };

// Builds the store and its view into main.store and main.tree_view; returns the view.
GtkWidget* create_entry_tree_view(MainWindow& main);

// Removes every row, releases every record and clears database_loaded. The search keeps its text and
// its matches (positions that may then lead nowhere).
void clear_entry_store(MainWindow& main);

} // namespace sealkeep
