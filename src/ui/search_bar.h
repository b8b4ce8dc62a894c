// The search bar below the tree, and stepping through the rows it found.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <string>
#include <vector>

namespace sealkeep {

// Builds the bar; *search_entry receives its text entry.
GtkWidget* create_search_bar(GtkTreeView* tree_view, GtkWidget** search_entry);

void run_search(GtkEntry* search_entry);
gboolean match_search_row(GtkTreeModel* model, GtkTreePath* path, GtkTreeIter* iter, gpointer search_entry);
void find_next_match(GtkTreeView* tree_view);
void find_previous_match(GtkTreeView* tree_view);
void clear_search_matches();

// The rows of a store as a search walks them (each row before its children, siblings in order): every
// row's text with A-Z lowered and followed by a NUL, one after the other, and each row's depth (0 at
// the top level).
struct SearchRows {
    std::string texts;
    std::vector<std::uint8_t> depths;
};

// Handed over by the load once it has filled the model, so that a keystroke need not walk the whole
// store. Any later change of the model drops them, and the search then walks the model itself.
void set_search_rows(GtkTreeModel* model, SearchRows rows);

// The paths found by the last search, in tree order, and the index of the one shown last.
const std::vector<GtkTreePath*>& search_matches();
std::uint32_t search_match_index();

} // namespace sealkeep
