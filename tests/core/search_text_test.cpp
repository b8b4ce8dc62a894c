// The search's text rules: ASCII-only folding and the folded substring test.
#include "core/search_text.h"

#include "core/document.h"

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
        // Letters match either case by one bit: no other byte may slip through that way.
        {"@bc", "`bc", false},
        {"[x", "{x", false},
        {"\xc1", "\xe1", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(contains_folded(c.row, c.search), c.found) << c.row << " / " << c.search;
}

// The rows are found in the document's own texts: a hit is counted once per row, never joins a row's
// text to the bytes around it in the line, and a Latin-1 value is searched as it is shown.
TEST(SearchText, FindsTheRowsOfTheDocumentThatHoldTheText)
{
    Document document;
    for (const std::string user : {"ACME-db", "acmeacme", "me", "ac"})
        document.add_line("customer=Acme;group=;server=web01;service=ssh;serviceplus=;user=" + user + ";password=acme\n");
    document.add_line("customer=Caf\xe9;group=;server=s;service=ftp;serviceplus=;user=u;password=x\r\n");
    document.finish();
    // Rows: 0 Acme, 1 web01, 2 ssh, 3 ACME-db, 4 acmeacme, 5 me, 6 ac, 7 Café, 8 s, 9 ftp, 10 u.
    const struct {
        const char* search;
        std::vector<std::uint32_t> rows;
    } cases[] = {
        {"acme", {0, 3, 4}},  // folded, and once for a row that holds it twice; never in a password
        {"db;p", {}},         // "ACME-db" and the line's next bytes: no row holds them
        {"user", {}},         // nor the line's keys
        {"ac", {0, 3, 4, 6}},
        {"caf\xc3\xa9", {7}}, // the Latin-1 customer as the window shows it
        {"u", {10}},          // the last row
        {"zzz", {}},
        {"", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(find_matching_rows(document, c.search), c.rows) << c.search;
}

} // namespace
} // namespace sealkeep
