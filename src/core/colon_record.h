// gpg's machine-readable listings (--with-colons): one record per line, fields separated by ':'.
#pragma once

#include <cstddef>
#include <string_view>

namespace sealkeep {

// The field at `index` (0: the record type) of one colon record; empty when the record is shorter.
inline std::string_view colon_field(std::string_view record, std::size_t index)
{
    for (std::size_t i = 0; i < index; ++i) {
        const std::size_t colon = record.find(':');
        if (colon == std::string_view::npos)
            return {};
        record.remove_prefix(colon + 1);
    }
    return record.substr(0, record.find(':'));
}

} // namespace sealkeep
