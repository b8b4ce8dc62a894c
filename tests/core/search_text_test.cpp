// The search's text rules: ASCII-only folding and the folded substring test.
#include "core/search_text.h"

#include <gtest/gtest.h>

#include <string>

namespace sealkeep {
namespace {

TEST(SearchText, AsciiLowerFoldsOnlyAsciiLetters)
{
    struct Case {
        std::string in, out;
    } cases[] = {
        {"", ""},
        {"WEB01.Example.ORG", "web01.example.org"},
        {"@[`{", "@[`{"},  // the bytes around A-Z and a-z stay as they are
        {"\xc3\x89t\xc3\xa9", "\xc3\x89t\xc3\xa9"},  // "Été": É stays a capital, é stays
        {"\xe2\x82\xac" "ABC", "\xe2\x82\xac" "abc"},
        {std::string("A\0B", 3), std::string("a\0b", 3)},  // an embedded zero does not end the text
    };
    for (const auto& c : cases)
        EXPECT_EQ(ascii_lower(c.in), c.out) << c.in;
}

TEST(SearchText, ContainsFolded)
{
    struct Case {
        const char* row;
        const char* search;  // already lowered, as the search bar hands it over
        bool found;
    } cases[] = {
        {"WebServer01", "server", true},
        {"webserver01", "server", true},
        {"WEBSERVER01", "bserv", true},
        {"web", "webs", false},  // longer than the row
        {"abc", "abc", true},
        {"xxabca", "abcab", false},  // a partial match at the end is no match
        {"aaab", "aab", true},  // the search restarts after a false start
        {"", "abc", false},
        {"abc", "", true},
        // Only A-Z fold: a capital É in the row does not match a small é in the search, nor the reverse.
        {"\xc3\x89t\xc3\xa9", "\xc3\xa9t\xc3\xa9", false},
        {"\xc3\xa9t\xc3\xa9", "\xc3\xa9t\xc3\xa9", true},
        {"Caf\xc3\xa9", "caf\xc3\xa9", true},
        {"Preis 5\xe2\x82\xac", "\xe2\x82\xac", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(contains_folded(c.row, c.search), c.found) << c.row << " / " << c.search;
}

// The whole tree's texts in one buffer: each row's hit is counted once, a hit never joins two rows, and
// the rows are numbered in order however far apart the hits are.
TEST(SearchText, FindsTheRowsThatHoldTheTextInOnePass)
{
    using namespace std::string_literals;
    const std::string texts = "Acme\0web01\0ACME-db\0root\0acmeacme\0me\0ac\0"s;
    const struct {
        const char* search;
        std::vector<std::uint32_t> rows;
    } cases[] = {
        {"acme", {0, 2, 4}},  // folded, and once for a row that holds it twice
        {"mewe", {}},         // "Acme" then "web01": never across the NUL between rows
        {"root", {3}},
        {"ac", {0, 2, 4, 6}}, // the last row too
        {"zzz", {}},
        {"", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(find_matching_rows(texts, c.search), c.rows) << c.search;
}

} // namespace
} // namespace sealkeep
