// The mapped buffers under the document: what is appended stays in order across every growth of the
// mapping, a move hands the bytes over whole, and clear() gives it all back.
#include "core/mapped_array.h"
#include "core/secret_buffer.h"

#include <gtest/gtest.h>

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
