// The text side of the search: ASCII-only case folding, so accented letters are compared as they stand.
#include "core/search_text.h"

#include <algorithm>

namespace sealkeep {

namespace {

constexpr char fold_byte(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::string ascii_lower(std::string_view text)
{
    std::string lowered(text);
    for (char& c : lowered)
        c = fold_byte(c);
    return lowered;
}

bool contains_folded(std::string_view row_text, std::string_view lowered_search)
{
    // Folding on the fly keeps the per-row test free of allocation: the search runs once per row of
    // the whole tree on every keystroke.
    auto found = std::search(row_text.begin(), row_text.end(), lowered_search.begin(), lowered_search.end(),
                             [](char row, char search) { return fold_byte(row) == search; });
    return found != row_text.end() || lowered_search.empty();
}

} // namespace sealkeep
