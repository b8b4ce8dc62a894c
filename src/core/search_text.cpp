// The text side of the search: ASCII-only case folding, so accented letters are compared as they stand.
#include "core/search_text.h"

#include "core/document.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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
    // the whole tree on every keystroke. The first byte is looked for alone, sixteen bytes at a time
    // where the processor can; a letter matches either case by its 0x20 bit, exactly as A-Z folding does.
    if (lowered_search.empty())
        return true;
    if (row_text.size() < lowered_search.size())
        return false;
    const char first = lowered_search.front();
    const char case_bit = (first >= 'a' && first <= 'z') ? 0x20 : 0;
    const std::string_view rest = lowered_search.substr(1);
    const char* const text = row_text.data();
    const std::size_t last = row_text.size() - lowered_search.size();
    const auto rest_matches = [&](std::size_t at) {
        std::size_t n = 0;
        while (n < rest.size() && fold_byte(text[at + 1 + n]) == rest[n])
            ++n;
        return n == rest.size();
    };
    std::size_t at = 0;
#ifdef __SSE2__
    const __m128i wanted = _mm_set1_epi8(first);
    const __m128i fold = _mm_set1_epi8(case_bit);
    for (; at + 16 <= last + 1; at += 16) {
        const __m128i bytes = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at)), fold);
        auto hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted)));
        while (hits != 0) {
            if (rest_matches(at + static_cast<std::size_t>(__builtin_ctz(hits))))
                return true;
            hits &= hits - 1;
        }
    }
#endif
    for (; at <= last; ++at)
        if (static_cast<char>(text[at] | case_bit) == first && rest_matches(at))
            return true;
    return false;
}

std::vector<std::uint32_t> find_matching_rows(const Document& document, std::string_view lowered_search)
{
    std::vector<std::uint32_t> rows;
    if (lowered_search.empty())
        return rows;
    const auto count = static_cast<std::uint32_t>(document.rows().size());
    // The texts lie in their lines, apart in memory when the lines are long: each is fetched a few rows
    // ahead of its test, so the waits for memory overlap.
    constexpr std::uint32_t AHEAD = 8;
    for (std::uint32_t row = 0; row < count; ++row) {
        if (row + AHEAD < count)
            __builtin_prefetch(document.text(row + AHEAD).data());
        if (contains_folded(document.text(row), lowered_search))
            rows.push_back(row);
    }
    return rows;
}

} // namespace sealkeep
