// The rules that turn record lines into rows: which rows a line needs, under which parents.
#pragma once

#include "core/entry_record.h"
#include "core/record_line.h"
#include "core/settings_values.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>

namespace sealkeep {

inline constexpr const char* CUSTOMER_ICON = "gtk-orientation-portrait";
inline constexpr const char* NO_USER_TEXT = "__none__";

using RowId = std::size_t;

// Where the rows go. The entry store is one; tests use a plain in-memory one.
class RowSink {
public:
    virtual ~RowSink() = default;
    // Appends a row as the last child of parent (top level when none); returns its id.
    virtual RowId append_row(std::optional<RowId> parent, const std::string& text, const char* stock_id) = 0;
    // Points the row at a record (replacing any it pointed at); the sink does not own it.
    virtual void set_record(RowId row, EntryRecord* record) = 0;
};

enum TreeLevel { LEVEL_CUSTOMER, LEVEL_GROUP, LEVEL_SERVER, LEVEL_SERVICE, LEVEL_SERVICEPLUS, LEVEL_COUNT };

// Carried from one record line to the next during one load. A value of none differs from every
// text, the empty one included.
struct TreeBuildState {
    explicit TreeBuildState(SettingsValues templates_in_use = {}) : templates(std::move(templates_in_use)) {}

    SettingsValues templates; // the command lines' templates, as they stood when the load began
    EntryRecords records;     // every record made, owned here until the load hands them on
    std::array<std::optional<std::string>, LEVEL_COUNT> value;
    std::array<RowId, LEVEL_COUNT> row{};
};

// The tree step for one record line: appends the rows it needs, makes its record (and the root
// shortcut's), points the rows at them and keeps them in state.records.
void add_record_line(TreeBuildState& state, RowSink& sink, const RecordLine& line);

} // namespace sealkeep
