// The search bar below the tree, and stepping through the rows it found.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <vector>

namespace sealkeep {

struct AccountTree;
struct WindowSettings;

// The search bar: its entry and Filter toggle, and what the search keeps between keystrokes. It searches
// the document the tree shows and shows what it found through the tree's functions; the Filter setting
// is read from and kept in the settings.
struct SearchState {
    SearchState(AccountTree& tree, WindowSettings& settings) : tree(tree), settings(settings) {}
    SearchState(const SearchState&) = delete;
    SearchState& operator=(const SearchState&) = delete;
    ~SearchState();

    // The rows found by the last search, in tree order, as row numbers of the document searched (its
    // serial in matched_document), and the index of the one shown last. A path is made only for the
    // row revealed: a hundred thousand of them took longer than the search.
    std::vector<std::uint32_t> matches;
    std::uint64_t matched_document = 0;
    std::uint32_t match_index = 0;
    // The entry still holds the text it was built with: the user has typed nothing yet.
    bool text_untouched = true;
    // The entry is shown red: the last search found nothing.
    bool nothing_found_shown = false;

    AccountTree& tree;
    WindowSettings& settings;
    GtkEntry* entry = nullptr; // null once the window went
    GtkToggleButton* filter_toggle = nullptr;
};

// Builds the bar; main.search.entry receives its text entry.
GtkWidget* create_search_bar(SearchState& search);
// The window goes: the bar forgets its entry and Filter toggle.
void let_go_of_search_bar(SearchState& search);

// Finds the rows whose text holds the search text (A-Z folded; three bytes at least) and reveals the
// first one.
void run_search(SearchState& search);
// After a new tree has come in (a reload, an unlock), finds the search text's matches in it, so that
// stepping goes on where the text in the bar says; reveals nothing, so the tree stays as it comes.
void match_search_again(SearchState& search);
void find_next_match(SearchState& search);
void find_previous_match(SearchState& search);
void clear_search_matches(SearchState& search);
// Where a match stands in the view shown now; null when the document shown is not the one searched, or
// while the model holds the row back (revealing it lets it in).
GtkTreePath* search_match_path(const SearchState& search, std::uint32_t row);

// Turns filtering as you type on or off (the search-filter setting) and searches again.
void set_search_filter(SearchState& search, bool on);
// A change of the stored Filter setting made outside this window: the toggle and the tree follow it.
void follow_search_filter(SearchState& search, bool on);

} // namespace sealkeep
