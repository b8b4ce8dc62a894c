// The rules that turn record lines into rows: which rows a line needs, under which parents.
#pragma once

#include "core/record_line.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sealkeep {

inline constexpr const char* CUSTOMER_ICON = "gtk-orientation-portrait";
inline constexpr const char* NO_USER_TEXT = "__none__";

using RowId = std::size_t;

// Where the rows go. The entry store is one; tests use a plain in-memory one.
class RowSink {
public:
    virtual ~RowSink() = default;
    // Appends a row as the last child of parent (top level when none); returns its id.
    virtual RowId append_row(std::optional<RowId> parent, std::string_view text, const char* stock_id) = 0;
    // Points the row at a record (replacing any it pointed at), by the record's number.
    virtual void set_record(RowId row, std::uint32_t record) = 0;
};

enum TreeLevel { LEVEL_CUSTOMER, LEVEL_GROUP, LEVEL_SERVER, LEVEL_SERVICE, LEVEL_SERVICEPLUS, LEVEL_COUNT };

// Carried from one record line to the next during one load. A value not known differs from every
// text, the empty one included. The strings keep their room from line to line.
struct TreeBuildState {
    std::array<std::string, LEVEL_COUNT> value;
    std::array<bool, LEVEL_COUNT> known{};
    std::array<RowId, LEVEL_COUNT> row{};
};

// The tree step for one record line: appends the rows it needs and points its user row (and, for root's
// ssh account, its server row: the root shortcut) at the line's record.
void add_record_line(TreeBuildState& state, RowSink& sink, const RecordKeys& line, std::uint32_t record);
inline void add_record_line(TreeBuildState& state, RowSink& sink, const RecordLine& line, std::uint32_t record)
{
    add_record_line(state, sink, record_keys(line), record);
}

} // namespace sealkeep
