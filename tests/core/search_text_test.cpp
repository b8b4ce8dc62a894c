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

} // namespace
} // namespace sealkeep
