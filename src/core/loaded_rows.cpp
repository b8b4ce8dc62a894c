// The rows of one load, collected off the main thread and handed over whole.
#include "core/loaded_rows.h"

#include "core/search_text.h"
#include "core/text_encoding.h"

#include <string_view>

namespace sealkeep {

LoadedRows::~LoadedRows()
{
    clear();
}

RowId LoadedRows::append_row(std::optional<RowId> parent, const std::string& text, const char* stock_id)
{
    const auto id = static_cast<RowId>(rows_.size());
    const bool top = !parent;
    const std::uint32_t parent_index = top ? TOP : static_cast<std::uint32_t>(*parent);
    const auto depth = static_cast<std::uint8_t>(top ? 0 : rows_[parent_index].depth + 1);
    rows_.push_back(Row{parent_index, static_cast<std::uint32_t>(texts_.size()), depth, stock_id, nullptr});
    // The toolkit takes a text up to its first NUL and shows UTF-8 only: other bytes are shown as Latin-1.
    const std::string_view shown(text.c_str());
    // The texts name customers, servers and users: a grown buffer is overwritten before it goes.
    std::string display = display_text(shown);
    display.push_back('\0');
    append_secret(texts_, display);
    scrub(display);
    return id;
}

void LoadedRows::set_record(RowId row, EntryRecord* record)
{
    rows_[row].record = record;
}

std::string LoadedRows::lowered_texts() const
{
    return ascii_lower(texts_);
}

void LoadedRows::shrink_to_fit()
{
    rows_.shrink_to_fit();
    records_.shrink_to_fit();
}

void LoadedRows::clear()
{
    scrub(texts_);
    texts_.shrink_to_fit();
    rows_.clear();
    rows_.shrink_to_fit();
    release_entry_records(records_);
}

} // namespace sealkeep
