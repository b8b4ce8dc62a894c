// Tree building: which rows a sequence of record lines makes, under which parents, and which
// records hang on them, checked against an in-memory row sink.
#include "core/settings_values.h"
#include "core/tree_building.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace sealkeep {
namespace {

struct MemoryRows : RowSink {
    struct Row {
        std::optional<RowId> parent;
        std::string text;
        const char* stock_id;
        EntryRecord* record = nullptr;
    };
    std::vector<Row> rows;

    RowId append_row(std::optional<RowId> parent, const std::string& text, const char* stock_id) override
    {
        rows.push_back(Row{parent, text, stock_id});
        return rows.size() - 1;
    }
    void set_record(RowId row, EntryRecord* record) override { rows[row].record = record; }

    // One line per row in tree order, indented by depth; "*" marks an icon, {host|command|password}
    // the record the row points at.
    std::string render() const
    {
        std::ostringstream out;
        render_children(out, std::nullopt, 0);
        return out.str();
    }

private:
    void render_children(std::ostringstream& out, std::optional<RowId> parent, int depth) const
    {
        for (RowId id = 0; id < rows.size(); ++id) {
            if (rows[id].parent != parent)
                continue;
            const Row& row = rows[id];
            out << std::string(depth * 2, ' ') << (row.stock_id ? "*" : "") << row.text;
            if (row.record)
                out << " {" << row.record->host() << "|" << row.record->command_line() << "|" << row.record->password()
                    << "}";
            out << "\n";
            render_children(out, id, depth + 1);
        }
    }
};

// "customer;group;server;service;serviceplus;user;password" split into its seven values.
RecordLine record(const std::string& text)
{
    RecordLine line;
    std::string* fields[] = {&line.customer,    &line.group, &line.server,  &line.service,
                             &line.serviceplus, &line.user,  &line.password};
    std::size_t start = 0;
    for (int i = 0; i < 7; ++i) {
        std::size_t end = i < 6 ? text.find(';', start) : std::string::npos;
        *fields[i] = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end + 1;
    }
    return line;
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
    void TearDown() override { release_entry_records(records); }

    // One load of these lines with the templates as they stand now; its records are kept (the rows
    // point at them) after those of earlier builds.
    std::string build(const std::vector<std::string>& lines)
    {
        TreeBuildState state(templates);
        for (const auto& text : lines)
            add_record_line(state, rows, record(text));
        std::string tree = rows.render();
        for (auto& made : state.records)
            records.push_back(std::move(made));
        return tree;
    }

    void reset()
    {
        rows = MemoryRows{};
        release_entry_records(records);
    }

    SettingsValues templates;
    MemoryRows rows;
    EntryRecords records;
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
        {"customer names differing only in case or blanks are different customers",
         {"a;;s;ftp;;u;p", "A;;s;ftp;;u;p", "A ;;s;ftp;;u;p"},
         "*a\n  s\n    ftp\n      u {s|ftp s|p}\n*A\n  s\n    ftp\n      u {s|ftp s|p}\n*A \n  s\n    ftp\n      u "
         "{s|ftp s|p}\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        EXPECT_EQ(build(c.lines), c.tree);
    }
}

TEST_F(TreeBuilding, StateHoldsEveryRecordInOrderOfCreation)
{
    build({"A;;srv;ssh;;root;first", "A;;srv;ftp;;bob;ftp-pw", "A;;srv;ssh;;root;second"});
    // Per line: its user record, then its shortcut; the replaced shortcut stays listed.
    std::vector<std::string> passwords;
    for (const auto& r : records)
        passwords.emplace_back(r->password());
    EXPECT_EQ(passwords, (std::vector<std::string>{"first", "first", "ftp-pw", "second", "second"}));
    // Separate records with equal contents, not one shared record.
    EXPECT_NE(records[0].get(), records[1].get());
    EXPECT_EQ(records[0]->command_line(), records[1]->command_line());
    // Every row's record is one of the state's.
    for (const auto& row : rows.rows) {
        if (!row.record)
            continue;
        EXPECT_TRUE(std::any_of(records.begin(), records.end(), [&](const auto& r) { return r.get() == row.record; }))
            << row.text;
    }
}

TEST_F(TreeBuilding, OnlyUserRowsAndShortcutServerRowsCarryRecords)
{
    build({"A;G;srv;ssh;22;root;p", "A;G;srv;http;;web;q"});
    for (const auto& row : rows.rows) {
        bool is_user = row.text == "root" || row.text == "web";
        bool is_shortcut = row.text == "srv";
        EXPECT_EQ(row.record != nullptr, is_user || is_shortcut) << row.text;
        EXPECT_EQ(row.stock_id != nullptr, row.text == "A") << row.text;
    }
}

TEST_F(TreeBuilding, CommandLinesUseTheTemplatesTheLoadBeganWith)
{
    build({"A;;s;ssh;;u;p"});
    templates.ssh_cmd = "changed %h";
    build({"A;;t;ssh;;u;p"});
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0]->command_line(), "ssh u@s:");
    EXPECT_EQ(records[1]->command_line(), "changed t");

    // The state keeps its own copy: a change made while a load runs reaches only the next load.
    TreeBuildState state(templates);
    templates.ssh_cmd = "later %h";
    add_record_line(state, rows, record("A;;v;ssh;;u;p"));
    ASSERT_EQ(state.records.size(), 1u);
    EXPECT_EQ(state.records[0]->command_line(), "changed v");
    release_entry_records(state.records);
}

} // namespace
} // namespace sealkeep
