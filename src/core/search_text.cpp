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

std::vector<std::uint32_t> find_matching_rows(std::string_view texts, std::string_view lowered_search)
{
    std::vector<std::uint32_t> rows;
    if (lowered_search.empty())
        return rows;
    // One pass over all the texts: a hit never spans two rows (the search holds no NUL), and the
    // rows between two hits are only counted. (A skipping searcher with folded keys measured slower:
    // its table is a hash map.)
    const auto fold_equal = [](char text, char search) { return fold_byte(text) == search; };
    std::uint32_t row = 0;
    auto at = texts.begin();
    for (;;) {
        const auto hit = std::search(at, texts.end(), lowered_search.begin(), lowered_search.end(), fold_equal);
        if (hit == texts.end())
            break;
        row += static_cast<std::uint32_t>(std::count(at, hit, '\0'));
        rows.push_back(row);
        // On to the next row: the rest of this one cannot add a match.
        at = std::find(hit, texts.end(), '\0');
        if (at == texts.end())
            break;
        ++at;
        ++row;
    }
    return rows;
}

} // namespace sealkeep
