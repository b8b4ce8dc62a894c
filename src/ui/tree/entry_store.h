// The account tree's view, and emptying it.
#pragma once

#include "ui/tree/account_model.h"

#include <gtk/gtk.h>

#include <cstdint>
#include <vector>

namespace sealkeep {

struct MainWindow;

// Builds both views (the whole tree's with an empty model, into main.tree_view and main.model, and the
// filter's, hidden); returns the widget that holds them.
GtkWidget* create_entry_tree_view(MainWindow& main);

// Shows a new model of the whole tree (main.model follows it); a filter shown ends.
void set_entry_model(MainWindow& main, GtkTreeModel* model);

// Shows a filtered model in the filter's view, in the whole tree's place, all expanded; main.tree_view
// and main.model follow. The first rows are in at once, the rest come in idle slices of a few
// milliseconds, so a keystroke ends when the rows in sight are drawn. The whole tree's view keeps its
// rows and expansion meanwhile.
void show_filtered_tree(MainWindow& main, GtkTreeModel* filtered);
// Puts every row of the filter shown into its view now (to reveal a row not in yet). The view's
// selection and scrolling start afresh.
void let_all_filter_rows_in(MainWindow& main);
// Shows the whole tree's view again, as it was, and empties the filter's (in idle slices).
void show_whole_tree(MainWindow& main);
bool filtered_tree_shown(const MainWindow& main);
// Ends the views' slices of letting rows in or dropping them where they stand (the window goes).
void stop_tree_slices(MainWindow& main);
// The window goes: the slices end and the tree forgets its views, scrollers and model.
void let_go_of_tree(MainWindow& main);

// Every view the tree has, shown or not (for handlers that every view needs, and for wiping what they
// drew); the whole tree's view, which keeps its rows and expansion while a filter is shown; its model.
std::vector<GtkTreeView*> all_tree_views(const MainWindow& main);
GtkTreeView* whole_tree_view(const MainWindow& main);
GtkTreeModel* whole_tree_model(const MainWindow& main);
// The document the tree shows (the filter's is the same); null while nothing is loaded.
const Document* shown_document(const MainWindow& main);

// Before the whole tree's view expands its way to a row: a collapsed row on the way with thousands of
// children lets in only a few thousand of them around the way, the rest following in idle slices, so
// that the view does not build a node for every one of them at once. Whatever else a window still
// holds back comes in first when the row is not in.
void make_way_to(MainWindow& main, std::uint32_t row);

// Drops every row and the document behind them (overwritten as it goes), clears database_loaded, and
// forgets the loaded file (its passphrase among it) and any unsaved edits.
void clear_entry_store(MainWindow& main);

} // namespace sealkeep
