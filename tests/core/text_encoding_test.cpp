// What the toolkit is shown of a value, and overwriting secrets.
#include "core/text_encoding.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace sealkeep {
namespace {

struct DisplayCase {
    const char* name;
    std::string bytes;
    std::string shown;
};

TEST(TextEncoding, DisplayTextKeepsUtf8AndConvertsTheRestAsLatin1)
{
    const DisplayCase cases[] = {
        {"empty", "", ""},
        {"ascii", "plain host-1 %h;=", "plain host-1 %h;="},
        {"two, three and four byte UTF-8", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x94\x91", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x94\x91"},
        {"Latin-1 password", "b\xe9" "b", "b\xc3\xa9" "b"},
        {"Latin-1 top and bottom of the upper half", "\x80\xff", "\xc2\x80\xc3\xbf"},
        // One bad byte makes the whole value Latin-1, the valid UTF-8 beside it included: a value
        // is written in one encoding or the other.
        {"UTF-8 and Latin-1 mixed", "\xc3\xa9\xe9", "\xc3\x83\xc2\xa9\xc3\xa9"},
        {"UTF-8 cut short at the end", "ab\xe2\x82", "ab\xc3\xa2\xc2\x82"},
        {"lone continuation byte", "\xa9", "\xc2\xa9"},
        {"overlong slash", "\xc0\xaf", "\xc3\x80\xc2\xaf"},
        {"UTF-16 surrogate", "\xed\xa0\x80", "\xc3\xad\xc2\xa0\xc2\x80"},
        {"above U+10FFFF", "\xf4\x90\x80\x80", "\xc3\xb4\xc2\x90\xc2\x80\xc2\x80"},
        {"highest code point", "\xf4\x8f\xbf\xbf", "\xf4\x8f\xbf\xbf"},
        // ASCII is passed over eight bytes at a time: what follows a long run is still checked.
        {"Latin-1 after sixteen ASCII bytes", "abcdefghijklmno-\xe9x", "abcdefghijklmno-\xc3\xa9x"},
        {"UTF-8 across an eight-byte step", "abcdefg\xc3\xa9ijklmnopq", "abcdefg\xc3\xa9ijklmnopq"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(display_text(c.bytes), c.shown) << c.name;
}

TEST(TextEncoding, DisplayTextOfItsOwnResultIsUnchanged)
{
    std::string every_byte;
    for (int b = 1; b < 256; ++b)
        every_byte += static_cast<char>(b);
    const std::string shown = display_text(every_byte);
    EXPECT_EQ(display_text(shown), shown);
}

TEST(TextEncoding, ScrubOverwritesTheWholeBufferAndEmptiesTheString)
{
    struct ScrubCase {
        const char* name;
        std::size_t written;  // the secret once held
        std::size_t kept;     // what is left of it when scrubbed
    };
    const ScrubCase cases[] = {
        // Short enough to sit inside the string object itself rather than on the heap.
        {"short passphrase", 8, 8},
        {"long passphrase", 100, 100},
        // The 90 bytes after the end still hold the old secret.
        {"shortened after a longer secret", 100, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string secret(c.written, 'x');
        secret.resize(c.kept);
        const char* buffer = secret.data();
        const std::size_t capacity = secret.capacity();
        ASSERT_GE(capacity, c.written);
        scrub(secret);
        EXPECT_TRUE(secret.empty());
        // Same buffer, still owned by the string: reading up to its capacity is valid.
        ASSERT_EQ(secret.data(), buffer);
        const std::string_view whole(buffer, capacity);
        EXPECT_EQ(whole.find_first_not_of('\0'), std::string_view::npos) << "capacity " << capacity;
    }
}

} // namespace
} // namespace sealkeep
