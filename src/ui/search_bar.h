// The search bar below the tree, and stepping through the rows it found.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <string>
#include <vector>

namespace sealkeep {

struct MainWindow;

// The rows of a store as a search walks them (each row before its children, siblings in order): every
// row's text with A-Z lowered and followed by a NUL, one after the other, and each row's depth (0 at
// the top level).
struct SearchRows {
    std::string texts;
    std::vector<std::uint8_t> depths;
};

// What the search keeps between keystrokes.
struct SearchState {
    SearchState() = default;
    SearchState(const SearchState&) = delete;
    SearchState& operator=(const SearchState&) = delete;
    ~SearchState();

    // The paths found by the last search, in tree order, each a copy owned here (a plain position, not
    // a reference that follows the row), and the index of the one shown last.
    std::vector<GtkTreePath*> matches;
    std::uint32_t match_index = 0;

    // The rows the last load handed over, for as long as they still describe their model. The first
    // change of the model drops them; its handlers then stay blocked until the next hand-over, so that
    // the row signals of a whole load or clear cost one call, not one each.
    GtkTreeModel* model = nullptr; // weak: set to null when the model goes
    SearchRows rows;
    bool rows_valid = false;
    bool blocked = false;

    // Filled for the length of one search, read at every row of a walk over the model.
    std::size_t search_bytes = 0;
    std::string lowered;
};

// Builds the bar; main.search_entry receives its text entry.
GtkWidget* create_search_bar(MainWindow& main);

void run_search(MainWindow& main);
gboolean match_search_row(GtkTreeModel* model, GtkTreePath* path, GtkTreeIter* iter, gpointer main_window);
void find_next_match(MainWindow& main);
void find_previous_match(MainWindow& main);
void clear_search_matches(SearchState& search);

// Handed over by the load once it has filled the model, so that a keystroke need not walk the whole
// store. Any later change of the model drops them, and the search then walks the model itself.
void set_search_rows(SearchState& search, GtkTreeModel* model, SearchRows rows);

} // namespace sealkeep
