// Tree building: which rows a sequence of record lines makes, under which parents, and which records
// hang on them, checked through the document a load builds from the lines.
#include "core/document.h"
#include "core/settings_values.h"
#include "core/tree_building.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

namespace sealkeep {
namespace {

// "customer;group;server;service;serviceplus;user;password" written out as a line of the file.
std::string line_text(const std::string& seven_values)
{
    static const char* const keys[] = {"customer", "group", "server", "service", "serviceplus", "user", "password"};
    std::string line;
    std::size_t start = 0;
    for (int i = 0; i < 7; ++i) {
        const std::size_t end = i < 6 ? seven_values.find(';', start) : std::string::npos;
        line += std::string(i ? ";" : "") + keys[i] + "=" + seven_values.substr(start, end - start);
        start = end + 1;
    }
    return line + "\n";
}

// One line per row in tree order, indented by depth; "*" marks an icon, {host|command|password} the
// record the row points at.
void render_children(std::ostringstream& out, const Document& document, std::uint32_t parent, int depth)
{
    for (std::uint32_t n = 0; n < document.child_count(parent); ++n) {
        const std::uint32_t row = document.child(parent, n);
        out << std::string(depth * 2, ' ') << (document.rows()[row].customer_icon ? "*" : "") << document.text(row);
        if (const EntryRecord* record = document.record_of(row))
            out << " {" << record->host() << "|" << record->command_line() << "|" << record->password() << "}";
        out << "\n";
        render_children(out, document, row, depth + 1);
    }
}

class TreeBuilding : public ::testing::Test {
protected:
    void SetUp() override
    {
        templates.ssh_cmd = "ssh %u@%h:%s";
        templates.ftp_cmd = "ftp %h";
        templates.http_cmd = "web %h%s";
        templates.telnet_cmd = "telnet %h";
    }

    // One load of these lines with the templates as they stand now; the document stays for the test.
    std::string build(const std::vector<std::string>& lines)
    {
        document = std::make_unique<Document>(templates);
        // A line that begins with "!" goes in as it stands: no record line.
        for (const auto& text : lines)
            document->add_line(text.starts_with('!') ? text.substr(1) + "\n" : line_text(text));
        document->finish();
        std::ostringstream out;
        render_children(out, *document, Document::NONE, 0);
        return out.str();
    }

    SettingsValues templates;
    std::unique_ptr<Document> document;
};

struct TreeCase {
    const char* name;
    std::vector<std::string> lines;
    const char* tree;
};

TEST_F(TreeBuilding, RowsAndRecordsFollowTheLevelRules)
{
    const TreeCase cases[] = {
        {"lines differing only in the user share every upper row",
         {"A;;srv;ftp;;bob;p1", "A;;srv;ftp;;amy;p2"},
         "*A\n  srv\n    ftp\n      bob {srv|ftp srv|p1}\n      amy {srv|ftp srv|p2}\n"},
        {"with a service detail the users go under the detail row",
         {"A;;srv;ftp;21;bob;p1", "A;;srv;ftp;21;amy;p2"},
         "*A\n  srv\n    ftp\n      21\n        bob {srv|ftp srv|p1}\n        amy {srv|ftp srv|p2}\n"},
        {"a new group starts a new server row even for the same server name",
         {"A;G1;srv;ftp;;bob;p", "A;G2;srv;ftp;;bob;p"},
         "*A\n  G1\n    srv\n      ftp\n        bob {srv|ftp srv|p}\n"
         "  G2\n    srv\n      ftp\n        bob {srv|ftp srv|p}\n"},
        {"an empty customer is a top-level row with an empty text and the icon",
         {";;srv;ftp;;bob;p"},
         "*\n  srv\n    ftp\n      bob {srv|ftp srv|p}\n"},
        {"empty server and service still make their rows", {"A;;;;;bob;p"}, "*A\n  \n    \n      bob {|ssh bob@:|p}\n"},
        {"an empty user becomes __none__, in the row and in %u",
         {"A;;srv;ssh;22;;p"},
         "*A\n  srv\n    ssh\n      22\n        __none__ {srv|ssh __none__@srv:22|p}\n"},
        {"rows are shared only between consecutive lines",
         {"A;;s1;ftp;;u;p", "B;;s1;ftp;;u;p", "A;;s1;ftp;;u;p"},
         "*A\n  s1\n    ftp\n      u {s1|ftp s1|p}\n*B\n  s1\n    ftp\n      u {s1|ftp s1|p}\n"
         "*A\n  s1\n    ftp\n      u {s1|ftp s1|p}\n"},
        {"a group, then none, then the group again: each change resets the levels below",
         {"A;G;s;ftp;;u;p", "A;;s;ftp;;u;p", "A;G;s;ftp;;u;p"},
         "*A\n  G\n    s\n      ftp\n        u {s|ftp s|p}\n  s\n    ftp\n      u {s|ftp s|p}\n"
         "  G\n    s\n      ftp\n        u {s|ftp s|p}\n"},
        {"a detail, then none, under the same service",
         {"A;;s;http;:81;u;p", "A;;s;http;;v;q"},
         "*A\n  s\n    http\n      :81\n        u {s|web s:81|p}\n      v {s|web s|q}\n"},
        // The detail belongs to its service: the same detail under the next service is a new row.
        {"two services with the same detail each get their own detail row",
         {"A;;srv;ftp;:8080;u;p", "A;;srv;http;:8080;v;q"},
         "*A\n  srv\n    ftp\n      :8080\n        u {srv|ftp srv|p}\n"
         "    http\n      :8080\n        v {srv|web srv:8080|q}\n"},
        {"the same account twice makes two user rows",
         {"A;;s;ftp;;u;p", "A;;s;ftp;;u;p"},
         "*A\n  s\n    ftp\n      u {s|ftp s|p}\n      u {s|ftp s|p}\n"},
        {"root's ssh account is also on its server row",
         {"A;;srv;ssh;22;root;pw"},
         "*A\n  srv {srv|ssh root@srv:22|pw}\n    ssh\n      22\n        root {srv|ssh root@srv:22|pw}\n"},
        // The template is selected ignoring case, the shortcut is not.
        {"Root, SSH and Ssh give no shortcut",
         {"A;;srv;ssh;;Root;p", "A;;srv;SSH;;root;p", "A;;srv;Ssh;;root;p"},
         "*A\n  srv\n    ssh\n      Root {srv|ssh Root@srv:|p}\n    SSH\n      root {srv|ssh root@srv:|p}\n"
         "    Ssh\n      root {srv|ssh root@srv:|p}\n"},
        {"the later root ssh line's record replaces the earlier one on the server row",
         {"A;;srv;ssh;22;root;first", "A;;srv;ssh;2222;root;second"},
         "*A\n  srv {srv|ssh root@srv:2222|second}\n    ssh\n      22\n        root {srv|ssh root@srv:22|first}\n"
         "      2222\n        root {srv|ssh root@srv:2222|second}\n"},
        // Blanks around a value are not part of it; inside it, they are.
        {"customer names differing only in case or blanks are different customers",
         {"a b;;s;ftp;;u;p", "A b;;s;ftp;;u;p", "A  b;;s;ftp;;u;p"},
         "*a b\n  s\n    ftp\n      u {s|ftp s|p}\n*A b\n  s\n    ftp\n      u {s|ftp s|p}\n*A  b\n  s\n    ftp\n"
         "      u {s|ftp s|p}\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(build(c.lines), c.tree);
    }
}

TEST_F(TreeBuilding, EachRecordLineIsOneRecordAndTheShortcutSharesIt)
{
    build({"A;;srv;ssh;;root;first", "A;;srv;ftp;;bob;ftp-pw", "!noise", "A;;srv;ssh;;root;second"});
    std::vector<std::string> passwords;
    for (const EntryRecord& record : document->records())
        passwords.push_back(record.password());
    EXPECT_EQ(passwords, (std::vector<std::string>{"first", "ftp-pw", "second"}));
    // A record is its line: the line that is no record has none.
    std::vector<std::uint32_t> record_lines;
    for (const EntryRecord& record : document->records())
        record_lines.push_back(record.line());
    EXPECT_EQ(record_lines, (std::vector<std::uint32_t>{0, 1, 3}));
    // The server row carries the later root line's record itself, not a copy.
    const std::uint32_t server = document->child(document->child(Document::NONE, 0), 0);
    EXPECT_EQ(document->record_of(server), &document->records()[2]);
}

TEST_F(TreeBuilding, OnlyUserRowsAndShortcutServerRowsCarryRecords)
{
    build({"A;G;srv;ssh;22;root;p", "A;G;srv;http;;web;q"});
    for (std::uint32_t row = 0; row < document->rows().size(); ++row) {
        const std::string text(document->text(row));
        const bool is_user = text == "root" || text == "web";
        const bool is_shortcut = text == "srv";
        EXPECT_EQ(document->record_of(row) != nullptr, is_user || is_shortcut) << text;
        EXPECT_EQ(document->rows()[row].customer_icon, text == "A") << text;
    }
}

// Most texts are read where the line has them; the others are converted copies. Either way a row shows
// its value whole, in UTF-8, without the line's ending.
TEST_F(TreeBuilding, RowTextsAreTheValuesAsTheWindowShowsThem)
{
    const std::string long_server(70000, 's');
    build({"Caf\xe9;;" + long_server + ";ftp;;u;p", "!customer=B;group=;server=t;service=ftp;serviceplus=;user=v;password=q\r",
           "B;;t;ftp;;;p"});
    std::vector<std::string> texts;
    for (std::uint32_t row = 0; row < document->rows().size(); ++row)
        texts.emplace_back(document->text(row));
    EXPECT_EQ(texts, (std::vector<std::string>{"Caf\xc3\xa9", long_server, "ftp", "u", "B", "t", "ftp", "v", "__none__"}));
}

TEST_F(TreeBuilding, CommandLinesUseTheTemplatesTheLoadBeganWith)
{
    build({"A;;s;ssh;;u;p"});
    EXPECT_EQ(document->records()[0].command_line(), "ssh u@s:");

    // The document keeps its own copy: a change made while a load runs reaches only the next load.
    auto running = std::make_unique<Document>(templates);
    templates.ssh_cmd = "later %h";
    running->add_line(line_text("A;;v;ssh;;u;p"));
    running->finish();
    EXPECT_EQ(running->records()[0].command_line(), "ssh u@v:");
    build({"A;;t;ssh;;u;p"});
    EXPECT_EQ(document->records()[0].command_line(), "later t");
}

} // namespace
} // namespace sealkeep
