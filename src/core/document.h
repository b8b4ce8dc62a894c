// The decrypted file as loaded, as one value: every line's exact bytes (matched or not, with its own
// line ending, in whatever encoding it came), the records of the matched lines as views into them, and
// the rows that the tree rules make from them, in compact arrays. Built by the load's worker, handed
// over whole once gpg has vouched for it, and overwritten when it goes.
#pragma once

#include "core/entry_record.h"
#include "core/mapped_array.h"
#include "core/secret_buffer.h"
#include "core/settings_values.h"
#include "core/tree_building.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sealkeep {

class Document : private RowSink {
public:
    static constexpr std::uint32_t NONE = std::numeric_limits<std::uint32_t>::max();

    enum class LineKind { Record, Unmatched, GpgWarning };

    // A line is a record line when a record names it (records come in line order).
    struct Line {
        std::uint32_t offset; // into plaintext()
        std::uint32_t length; // line ending included
    };

    // One row of the tree. Rows are kept in the order they were made, which is the order of a walk of
    // the tree (each row before its children, siblings in order).
    // A row's text is where the line has it, in the plaintext; only a text the toolkit cannot show as
    // it stands (Latin-1, the user's stand-in for none, a value longer than 64 KiB) has a converted
    // copy of its own.
    struct Row {
        std::uint32_t parent;       // NONE: a customer, at the top level
        std::uint32_t position;     // among its siblings
        std::uint32_t child_begin;  // where its children stand in the children index; they end where
                                    // the next row's begin
        std::uint32_t text;         // offset of its text in plaintext(), or of its own NUL-terminated copy
        std::uint32_t record;       // NONE, or the record it carries
        std::uint16_t text_length;  // of a text in the plaintext
        std::uint8_t depth;         // 0 for a customer
        bool customer_icon : 1;
        bool own_text : 1;
    };

    // Command lines are built from these templates, as they stood when the load began (or were last
    // changed, see use_templates).
    explicit Document(SettingsValues templates = {});
    ~Document();
    // Records point at their document: it stays where it was made.
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    // Building, in file order: one line as read, its ending included.
    LineKind add_line(std::string_view line);
    // Builds the children index; call once, after the last line.
    void finish();

    std::string_view plaintext() const { return plaintext_.view(); }
    const MappedArray<Line>& lines() const { return lines_; }
    std::string_view line_bytes(const Line& line) const { return {plaintext_.data() + line.offset, line.length}; }
    const MappedArray<EntryRecord>& records() const { return records_; }
    std::size_t accounts() const { return accounts_; }
    // Different for every document this process makes: row numbers are only meaningful in their own.
    std::uint64_t serial() const { return serial_; }
    const SettingsValues& templates() const { return templates_; }
    // Templates changed while the document is shown: the next command line is built from these.
    void use_templates(SettingsValues templates) { templates_ = std::move(templates); }

    const MappedArray<Row>& rows() const { return rows_; }
    // The row's display text, UTF-8. (Here, for the search's loop over every row to inline it.)
    std::string_view text(std::uint32_t row) const
    {
        const Row& r = rows_[row];
        if (r.own_text)
            return own_texts_.data() + r.text;
        return {plaintext_.data() + r.text, r.text_length};
    }
    // The n-th child of a row (NONE: of the top level), or NONE.
    std::uint32_t child(std::uint32_t parent, std::uint32_t n) const;
    std::uint32_t child_count(std::uint32_t parent) const;
    const EntryRecord* record_of(std::uint32_t row) const;

    // Lets every text go now, overwritten as a dropped document is (the plaintext, the converted texts,
    // the lines, the records), and keeps only the tree's shape: rows that carry no record and whose
    // text must no longer be read. For a view that lets go of its rows after the document is gone.
    void drop_texts();
    bool has_texts() const { return has_texts_; }

private:
    RowId append_row(std::optional<RowId> parent, std::string_view text, const char* stock_id) override;
    void set_record(RowId row, std::uint32_t record) override;

    SettingsValues templates_;
    SecretBuffer plaintext_;
    MappedArray<Line> lines_;
    MappedArray<EntryRecord> records_;
    MappedArray<Row> rows_;
    MappedArray<std::uint32_t> children_; // each row's children, parent by parent
    MappedArray<std::uint32_t> top_;      // the customers
    SecretBuffer own_texts_;
    TreeBuildState state_;
    std::size_t accounts_ = 0;
    std::uint64_t serial_;
    bool has_texts_ = true;
};

// Drops a document: a large one is overwritten and freed on a thread of its own, so that whoever lets it
// go (Refresh, a lock, the next load) does not wait for a hundred megabytes to be overwritten; a small
// one at once. Documents still waiting when the process ends are dropped before it does.
void drop_document(std::unique_ptr<Document> document);

} // namespace sealkeep
