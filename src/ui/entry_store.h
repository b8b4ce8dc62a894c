// The entry store (accounts as a tree model) and its one view.
#pragma once

#include "core/entry_record.h"

#include <gtk/gtk.h>

namespace sealkeep {

enum { COL_ICON, COL_TEXT, COL_ENTRY, N_ENTRY_COLUMNS };

// Builds entry_store and entry_tree_view (the view's model is the store).
GtkWidget* create_entry_tree_view();

// Appends a row as the last child of parent (top level when null); stock_id may be null.
void append_tree_row(GtkTreeStore* store, const char* text, const char* stock_id, GtkTreeIter* iter,
                     GtkTreeIter* parent);

// Removes every row, releases every record and clears database_loaded.
void clear_entry_store(GtkTreeStore* store);

// The store and the view, once built (null before).
GtkTreeStore* entry_store();
GtkTreeView* entry_tree_view();

} // namespace sealkeep
