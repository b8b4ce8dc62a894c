// The text side of the search: which search texts count, and the ASCII-folded substring test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>
#include <string_view>

namespace sealkeep {

class Document;

// A search text of at most two bytes finds nothing.
inline constexpr std::size_t MIN_SEARCH_BYTES = 3;

// ASCII letters A-Z lowered, every other byte unchanged.
std::string ascii_lower(std::string_view text);

// Whether `lowered_search` (already lowered) occurs in `row_text` with A-Z folded; allocates nothing.
bool contains_folded(std::string_view row_text, std::string_view lowered_search);

// The rows of the document whose text holds `lowered_search` (already lowered), A-Z folded, in order.
std::vector<std::uint32_t> find_matching_rows(const Document& document, std::string_view lowered_search);

} // namespace sealkeep
