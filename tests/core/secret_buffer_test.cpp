// The mapped buffers under the document: what is appended stays in order across every growth of the
// mapping, text put in or taken out anywhere leaves the rest in order and no copy past the end, a move
// hands the bytes over whole, and clear() gives it all back.
#include "core/mapped_array.h"
#include "core/secret_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

namespace sealkeep {
namespace {

TEST(SecretBuffer, KeepsEveryByteInOrderAcrossGrowth)
{
    // Pieces of awkward sizes, past several doublings of the first mapping.
    SecretBuffer buffer;
    std::string expected;
    for (std::size_t n = 0; expected.size() < (std::size_t{3} << 20); ++n) {
        const std::string piece(n % 4099 + 1, static_cast<char>('a' + n % 26));
        buffer.append(piece);
        expected += piece;
    }
    buffer.push_back('\0');
    expected.push_back('\0');
    ASSERT_EQ(buffer.size(), expected.size());
    EXPECT_TRUE(buffer.view() == expected);
}

// Edits as an entry makes them, checked against a plain string; each taking out must leave zeros where
// the bytes that moved down stood.
TEST(SecretBuffer, InsertAndEraseAnywhere)
{
    struct Step {
        const char* name;
        bool insert;
        std::size_t at;
        std::string bytes; // inserted
        std::size_t count; // erased
    };
    const std::string big(100000, 'B'); // past the first mapping: it grows while holding text
    const Step steps[] = {
        {"into the empty buffer", true, 0, "middle", 0},
        {"at the start", true, 0, "start-", 0},
        {"at the end", true, 12, "-end", 0},
        {"grows the mapping in the middle", true, 6, big, 0},
        {"beyond the end goes at the end", true, 1 << 30, "!", 0},
        {"from the middle", false, 3, "", 50000},
        {"at the end", false, 50010, "", 7},
        {"more than is left stops at the end", false, 50000, "", 1 << 30},
        {"from the start", false, 0, "", 10},
        {"nothing", false, 5, "", 0},
        {"all of it", false, 0, "", 1 << 30},
    };
    SecretBuffer buffer;
    std::string expected;
    for (const Step& step : steps) {
        SCOPED_TRACE(std::string(step.insert ? "insert " : "erase ") + step.name);
        const std::size_t before = buffer.size();
        if (step.insert) {
            buffer.insert(step.at, step.bytes);
            expected.insert(std::min(step.at, expected.size()), step.bytes);
        } else {
            buffer.erase(step.at, step.count);
            if (step.at < expected.size())
                expected.erase(step.at, step.count);
        }
        ASSERT_EQ(buffer.size(), expected.size());
        EXPECT_TRUE(buffer.view() == expected);
        if (!step.insert && buffer.mapping()) {
            // Still inside the mapping, which erase never shrinks.
            const std::string_view vacated(buffer.mapping() + buffer.size(), before - buffer.size());
            EXPECT_EQ(vacated.find_first_not_of('\0'), std::string_view::npos);
        }
    }
}

TEST(SecretBuffer, MoveHandsOverAndClearEmpties)
{
    SecretBuffer first;
    first.append("secret line\n");
    SecretBuffer second(std::move(first));
    EXPECT_TRUE(first.empty());
    EXPECT_EQ(std::string(first.view()), "");
    EXPECT_EQ(std::string(second.view()), "secret line\n");

    SecretBuffer third;
    third.append("older");
    third = std::move(second);
    EXPECT_EQ(std::string(third.view()), "secret line\n");

    third.clear();
    EXPECT_TRUE(third.empty());
    EXPECT_EQ(third.mapping(), nullptr);
    third.append("again"); // usable after clear
    EXPECT_EQ(std::string(third.view()), "again");
}

TEST(MappedArray, EntriesSurviveGrowth)
{
    struct Entry {
        std::uint32_t a;
        std::uint32_t b;
        std::uint8_t c;
    };
    MappedArray<Entry> entries;
    EXPECT_TRUE(entries.empty());
    for (std::uint32_t i = 0; i < 200000; ++i)
        entries.push_back(Entry{i, i * 3, static_cast<std::uint8_t>(i)});
    entries.append(5, Entry{7, 7, 7});
    ASSERT_EQ(entries.size(), 200005u);
    for (std::uint32_t i = 0; i < 200000; i += 997) {
        EXPECT_EQ(entries[i].a, i);
        EXPECT_EQ(entries[i].b, i * 3);
        EXPECT_EQ(entries[i].c, static_cast<std::uint8_t>(i));
    }
    EXPECT_EQ(entries.back().a, 7u);
}

} // namespace
} // namespace sealkeep
