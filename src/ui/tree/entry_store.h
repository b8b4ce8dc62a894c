// The account tree's view, and emptying it.
#pragma once

#include "ui/tree/account_model.h"
#include "ui/tree/account_tree.h"

#include <gtk/gtk.h>

#include <cstdint>
#include <vector>

namespace sealkeep {

// Builds both views (the whole tree's with an empty model, into tree.view and tree.model, and the
// filter's, hidden); returns the widget that holds them.
GtkWidget* create_entry_tree_view(AccountTree& tree);

// Shows a new model of the whole tree (tree.model follows it); a filter shown ends.
void set_entry_model(AccountTree& tree, GtkTreeModel* model);

// Shows a filtered model in the filter's view, in the whole tree's place, all expanded; tree.view
// and tree.model follow. The first rows are in at once, the rest come in idle slices of a few
// milliseconds, so a keystroke ends when the rows in sight are drawn. The whole tree's view keeps its
// rows and expansion meanwhile.
void show_filtered_tree(AccountTree& tree, GtkTreeModel* filtered);
// Puts every row of the filter shown into its view now (to reveal a row not in yet). The view's
// selection and scrolling start afresh.
void let_all_filter_rows_in(AccountTree& tree);
// Shows the whole tree's view again, as it was, and empties the filter's (in idle slices).
void show_whole_tree(AccountTree& tree);
bool filtered_tree_shown(const AccountTree& tree);
// Ends the views' slices of letting rows in or dropping them where they stand (the window goes).
void stop_tree_slices(AccountTree& tree);
// The window goes: the slices end and the tree forgets its views, scrollers and model.
void let_go_of_tree(AccountTree& tree);

// Every view the tree has, shown or not (for handlers that every view needs, and for wiping what they
// drew); the whole tree's view, which keeps its rows and expansion while a filter is shown; its model.
std::vector<GtkTreeView*> all_tree_views(const AccountTree& tree);
GtkTreeView* whole_tree_view(const AccountTree& tree);
GtkTreeModel* whole_tree_model(const AccountTree& tree);
// The document the tree shows (the filter's is the same); null while nothing is loaded.
const Document* shown_document(const AccountTree& tree);

// Before the whole tree's view expands its way to a row: a collapsed row on the way with thousands of
// children lets in only a few thousand of them around the way, the rest following in idle slices, so
// that the view does not build a node for every one of them at once. Whatever else a window still
// holds back comes in first when the row is not in.
void make_way_to(AccountTree& tree, std::uint32_t row);

// Drops every row and the document behind them (overwritten as it goes): the tree shows nothing.
void show_empty_tree(AccountTree& tree);

} // namespace sealkeep
