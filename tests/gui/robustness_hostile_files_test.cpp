// Hostile password files through real gpg and the real prompt: whatever the plaintext holds, the load
// ends, every record line is in the tree, and every other line is reported once on standard error.
#include "gui/gui_support.h"
#include "gui/robustness_support.h"

#include "core/entry_record.h"
#include "core/settings_values.h"
#include "ui/tree/entry_store.h"
#include "ui/window/view_commands.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace sealkeep {
namespace {

const std::string GOOD = "customer=Good;group=;server=srv;service=ssh;serviceplus=;user=u;password=pw\n";
const std::vector<std::string> GOOD_ROWS = {"0 Good", "0:0 srv", "0:0:0 ssh", "0:0:0:0 u"};

std::string random_bytes(std::size_t size)
{
    // A fixed sequence, so that a failure can be replayed.
    std::uint64_t state = 42;
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        byte = static_cast<char>(state >> 56);
    }
    return bytes;
}

// Lines of the random block, as the reader splits them (an empty piece is an empty line, reported too).
std::size_t lines_in(const std::string& block)
{
    return test::count_of(block, "\n") + 1;
}

std::string many_lines(int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += "no record here " + std::to_string(i) + "\n";
    return text;
}

struct HostileCase {
    const char* name;
    std::string plaintext;
    bool encrypted;
    std::vector<std::string> rows;
    std::vector<std::string> passwords; // of the loaded records, in order
    std::size_t reported;               // "WARNING: not matched: " lines
    std::string also_reported;          // a warning that must stand on standard error as it is
};

class HostileFiles : public testing::Test {
protected:
    void SetUp() override
    {
        saved_path_ = test::main_window().settings.values.password_file_path;
        refresh_entries(test::main_window());
        test::drain_events();
    }
    void TearDown() override
    {
        refresh_entries(test::main_window());
        test::main_window().settings.values.password_file_path = saved_path_;
    }

    test::LoadOutcome load(const test::GnupgHome& home, const std::string& plaintext, bool encrypted)
    {
        if (encrypted) {
            test::main_window().settings.values.password_file_path = home.encrypt_symmetric(plaintext, "hostile");
        } else {
            test::main_window().settings.values.password_file_path = home.path() + "/plain.txt";
            std::ofstream(test::main_window().settings.values.password_file_path, std::ios::binary) << plaintext;
        }
        return test::load_through_prompt("hostile");
    }

    std::vector<std::string> passwords() const
    {
        std::vector<std::string> all;
        for (const EntryRecord* record : test::records())
            all.emplace_back(record->password());
        return all;
    }

    std::string saved_path_;
};

TEST_F(HostileFiles, EveryRecordLineLoadsAndEveryOtherLineIsReported)
{
    const std::string noise = random_bytes(64 * 1024);
    const std::string many = many_lines(100000);
    const std::vector<HostileCase> cases = {
        {"random bytes between two record lines",
         GOOD + noise + "\n" + GOOD,
         true,
         {"0 Good", "0:0 srv", "0:0:0 ssh", "0:0:0:0 u", "0:0:0:1 u"},
         {"pw", "pw"},
         lines_in(noise),
         ""},
        // A NUL hides the rest of its line from anything that shows or copies it: such a line is no
        // record, and its report shows it up to the NUL.
        {"NUL bytes inside lines",
         GOOD + "customer=Nul;group=;server=s;service=ssh;serviceplus=;user=u;password=a" + '\0' + "b\n" +
             std::string(3, '\0') + "\n",
         true,
         GOOD_ROWS,
         {"pw"},
         2,
         "WARNING: not matched: customer=Nul;group=;server=s;service=ssh;serviceplus=;user=u;password=a\n"},
        {"100,000 lines that are no record",
         many + GOOD,
         true,
         GOOD_ROWS,
         {"pw"},
         100000,
         "WARNING: not matched: no record here 99999\n\n"},
        // Values are bytes; what is not UTF-8 is shown as Latin-1.
        {"invalid UTF-8",
         "customer=Caf\xe9;group=\xff\xfe;server=\xc3;service=ssh;serviceplus=;user=r\xe9mi;password=\xe9t\xe9\n"
         "\xff\xfe not a record \xc3\n",
         true,
         {"0 Caf\xc3\xa9", "0:0 \xc3\xbf\xc3\xbe", "0:0:0 \xc3\x83", "0:0:0:0 ssh", "0:0:0:0:0 r\xc3\xa9mi"},
         {"\xe9t\xe9"},
         1,
         "WARNING: not matched: \xff\xfe not a record \xc3\n\n"},
        // The line ending goes whole, also behind a password with semicolons.
        {"CRLF line endings",
         "customer=Crlf;group=;server=srv;service=ssh;serviceplus=;user=a;password=p1\r\n"
         "customer=Crlf;group=;server=srv;service=ssh;serviceplus=;user=b;password=p;2\r\n"
         "no record\r\n",
         true,
         {"0 Crlf", "0:0 srv", "0:0:0 ssh", "0:0:0:0 a", "0:0:0:1 b"},
         {"p1", "p;2"},
         1,
         "WARNING: not matched: no record\r\n\n"},
        // Six semicolons are seven empty values; more belong to the password; fewer are no record.
        {"lines of only semicolons",
         ";;;;;;\n;;;;;;;;;;\n;;;\n;\n",
         true,
         {"0 ", "0:0 ", "0:0:0 ", "0:0:0:0 __none__", "0:0:0:1 __none__"},
         {"", ";;;;"},
         2,
         "WARNING: not matched: ;;;\n\n"},
        // gpg finds no OpenPGP data and prints nothing: nothing is loaded, and Sealkeep says nothing.
        {"a file that is not encrypted", GOOD + GOOD, false, {}, {}, 0, ""},
        {"random bytes, not encrypted", noise, false, {}, {}, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::GnupgHome home;
        refresh_entries(test::main_window());
        const test::LoadOutcome outcome = load(home, c.plaintext, c.encrypted);
        EXPECT_EQ(outcome.loaded, c.rows.empty() ? 0 : 1);
        EXPECT_EQ(test::tree_rows(), c.rows);
        EXPECT_EQ(passwords(), c.passwords);
        EXPECT_EQ(test::count_of(outcome.errors, "WARNING: not matched: "), c.reported);
        EXPECT_EQ(test::count_of(outcome.errors, "WARNING: not matched: "),
                  test::count_of(outcome.errors, "\nWARNING") + (outcome.errors.empty() ? 0 : 1))
            << "every report starts a line of its own";
        if (!c.also_reported.empty()) {
            EXPECT_NE(outcome.errors.find(c.also_reported), std::string::npos);
        }
        EXPECT_TRUE(test::main_loop_runs());
    }
}

// A line of ten million bytes arrives whole: reported whole when it is no record, loaded whole when it is.
TEST_F(HostileFiles, TenMegabyteLines)
{
    const std::string junk(10 * 1024 * 1024, 'x');
    const std::string long_password(10 * 1024 * 1024, 'p');
    test::GnupgHome home;
    const test::LoadOutcome outcome =
        load(home,
             junk + "\ncustomer=Long;group=;server=srv;service=ssh;serviceplus=;user=u;password=" + long_password +
                 "\n" + GOOD,
             true);
    EXPECT_EQ(outcome.loaded, 1);
    EXPECT_EQ(test::tree_rows(), (std::vector<std::string>{"0 Long", "0:0 srv", "0:0:0 ssh", "0:0:0:0 u", "1 Good",
                                                           "1:0 srv", "1:0:0 ssh", "1:0:0:0 u"}));
    ASSERT_EQ(test::records().size(), 2u);
    EXPECT_TRUE(test::records()[0]->password() == long_password) << "the long password is cut or changed";
    EXPECT_EQ(test::count_of(outcome.errors, "WARNING: not matched: "), 1u);
    EXPECT_TRUE(outcome.errors == "WARNING: not matched: " + junk + "\n\n") << "the long line is not reported whole";
}

} // namespace
} // namespace sealkeep
