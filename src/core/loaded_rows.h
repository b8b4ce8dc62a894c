// What one load makes, before anything of it is shown: the rows that the tree rules made from the
// record lines (in the order made, which is the order of a walk of the finished tree), their texts
// as the toolkit shows them, and the records the rows point at. Scrubbed when dropped.
#pragma once

#include "core/entry_record.h"
#include "core/tree_building.h"

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace sealkeep {

class LoadedRows : public RowSink {
public:
    static constexpr std::uint32_t TOP = std::numeric_limits<std::uint32_t>::max();

    struct Row {
        std::uint32_t parent;  // TOP: a customer
        std::uint32_t text;    // offset of the row's NUL-terminated text in texts()
        std::uint8_t depth;    // 0 for a customer
        const char* stock_id;  // null: no icon
        EntryRecord* record;   // owned by records(); null: none
    };

    LoadedRows() = default;
    LoadedRows(LoadedRows&&) = default;
    LoadedRows& operator=(LoadedRows&&) = default;
    ~LoadedRows() override;

    RowId append_row(std::optional<RowId> parent, const std::string& text, const char* stock_id) override;
    void set_record(RowId row, EntryRecord* record) override;

    const std::vector<Row>& rows() const { return rows_; }
    const char* text(const Row& row) const { return texts_.c_str() + row.text; }
    // Every row's text, each followed by a NUL, in row order.
    const std::string& texts() const { return texts_; }
    // The same with A-Z lowered, for the search.
    std::string lowered_texts() const;

    // The records, handed over with the rows (the rows keep pointing at them).
    EntryRecords& records() { return records_; }
    // Drops spare room left by growing row by row: a load is kept until the next one.
    void shrink_to_fit();
    // Overwrites the texts and releases everything.
    void clear();

private:
    std::vector<Row> rows_;
    std::string texts_;
    EntryRecords records_;
};

} // namespace sealkeep
