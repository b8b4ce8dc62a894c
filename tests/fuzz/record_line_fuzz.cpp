// Fuzzes the record line format with any bytes gpg might hand over, and the text the toolkit is
// shown of the values.
#include "core/record_line.h"
#include "core/text_encoding.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void check(bool condition)
{
    if (!condition)
        abort();
}

void check_display_text(const std::string& value)
{
    const std::string shown = sealkeep::display_text(value);
    // What is shown is valid UTF-8, so showing it again changes nothing; nothing is lost either.
    check(sealkeep::display_text(shown) == shown);
    check(shown.size() >= value.size() && shown.size() <= 2 * value.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    (void)sealkeep::is_gpg_warning_line(line);

    const auto record = sealkeep::parse_record_line(line);
    if (!record)
        return 0;

    check(line.find('\0') == std::string_view::npos);
    const std::string* const values[] = {&record->customer, &record->group, &record->server,
                                         &record->service,  &record->serviceplus, &record->user};
    std::size_t total = record->password.size();
    for (const std::string* value : values) {
        check(value->find(';') == std::string::npos);
        check(line.find(*value) != std::string_view::npos);
        total += value->size();
        check_display_text(*value);
    }
    // Every value is a piece of the line: together they are never longer than it.
    check(total <= line.size());
    // The line's own line ending never becomes part of a password. (Lines come from the reader with
    // at most one line feed, at their end; this one may hold more.)
    const std::size_t first_line_feed = line.find('\n');
    if (first_line_feed == std::string_view::npos || first_line_feed + 1 == line.size())
        check(!record->password.ends_with('\n'));
    check_display_text(record->password);
    return 0;
}
