// The account tree's view, and emptying it.
#pragma once

#include "ui/account_model.h"

#include <gtk/gtk.h>

namespace sealkeep {

struct MainWindow;

// Builds the view with an empty model into main.tree_view and main.model; returns the view.
GtkWidget* create_entry_tree_view(MainWindow& main);

// Shows a new model on the view (main.model follows it).
void set_entry_model(MainWindow& main, GtkTreeModel* model);

// Drops every row and the document behind them (overwritten as it goes), clears database_loaded, and
// forgets the loaded file (its passphrase among it) and any unsaved edits.
void clear_entry_store(MainWindow& main);

} // namespace sealkeep
