// Editing the loaded document: each edit makes a new document from the old one's lines, copying every
// line it does not touch byte for byte (unmatched lines, line endings, Latin-1 bytes, a missing final
// line ending), so that only the edited, added or deleted lines differ.
#pragma once

#include "core/document.h"
#include "core/record_line.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sealkeep {

enum AccountField {
    FIELD_CUSTOMER,
    FIELD_GROUP,
    FIELD_SERVER,
    FIELD_SERVICE,
    FIELD_SERVICEPLUS,
    FIELD_USER,
    FIELD_PASSWORD,
    FIELD_COUNT
};

// The seven values of an account as the user sees and types them: UTF-8 text. Overwritten when dropped.
struct AccountText {
    std::array<std::string, FIELD_COUNT> value;

    AccountText() = default;
    AccountText(const AccountText&) = default;
    AccountText& operator=(const AccountText&) = default;
    ~AccountText();
};

// The values of a record as shown (each converted by display_text).
AccountText account_text_of(const RecordLine& record);

// What keeps a typed value out of the file. A value is checked as typed, before its white space is trimmed.
enum class ValueProblem {
    None,
    Semicolon,            // outside the password: it would end the value
    LineBreak,            // a line feed or carriage return: it would end the line
    Nul,                  // nothing after it could be shown or copied
    BlankBeforeSemicolon, // in a password: the file's format drops white space before its first ";"
    NotUtf8,              // the toolkit hands over UTF-8 only; anything else is a fault of the caller
};
ValueProblem check_account_value(AccountField field, std::string_view typed);
// True when every value passes.
bool account_text_ok(const AccountText& text);
// True when every value is empty once trimmed: such an account would be a line of nothing but names.
bool account_text_blank(const AccountText& text);

// Without ASCII white space at either end: the file's format drops it at the end of a value, and at its
// start it is almost always a slip that the next reader would not see.
std::string_view trim_value(std::string_view value);

// "customer=…;group=…;…;password=…" followed by `ending`. The values are written as given.
std::string format_record_line(const RecordLine& values, std::string_view ending);

// The line ending a new line takes: "\r\n" when the file's first line that ends ends so, else "\n".
std::string_view file_line_ending(const Document& document);

// The bytes of the record line for typed values. `original` is the record the values were shown from
// (null for a new account): a value typed exactly as it was shown keeps its own bytes. A line whose
// `like` bytes are not UTF-8 (a Latin-1 file) is written in Latin-1 when every value has a Latin-1
// code, else the whole line is written as UTF-8. Changed values are trimmed.
std::string account_line(const AccountText& typed, const RecordLine* original, std::string_view like,
                         std::string_view ending);

// The result of an edit: the new document (finished, with the old one's templates), where each old line
// went (Document::NONE: deleted) and the new numbers of the lines the edit wrote, in the order given.
struct EditResult {
    std::unique_ptr<Document> document;
    std::vector<std::uint32_t> line_map;
    std::vector<std::uint32_t> written;
};

// One change to the lines of a document, by the old document's line numbers.
struct LineEdit {
    enum class Kind { Replace, Delete, InsertAfter };
    Kind kind;
    std::uint32_t line; // InsertAfter: Document::NONE puts the line before every other
    std::string bytes;  // Replace and InsertAfter: the whole line, its ending included

    ~LineEdit(); // overwrites the bytes
};

// Applies the edits (at most one Replace or Delete per line; insertions after one line keep their order).
// A line without a line ending (the old last line) that gets a line after it gains the file's ending.
EditResult apply_line_edits(const Document& old, const std::vector<LineEdit>& edits);

// Where a new account goes: after the last record line with the same customer, group, server, service
// and service detail (as shown), else after the last record line of the same customer, else after the
// last line of the file (Document::NONE for an empty file).
std::uint32_t placement_line(const Document& document, const AccountText& typed);

// Each returns the new document; `written` holds the new line (or lines) the edit wrote.
// A new account, placed by placement_line. `like_record` is the record line it was copied from
// (Duplicate), whose bytes its unchanged values keep; Document::NONE for Add.
EditResult add_account(const Document& document, const AccountText& typed, std::uint32_t like_record = Document::NONE);
// The record line `line` rewritten from typed values, in its place, with its own line ending.
EditResult edit_account(const Document& document, std::uint32_t line, const AccountText& typed);
// These lines deleted.
EditResult delete_lines(const Document& document, const std::vector<std::uint32_t>& lines);
// The record lines given get this password (typed: UTF-8, trimmed here); their other values keep their bytes.
EditResult set_password(const Document& document, const std::vector<std::uint32_t>& lines, std::string_view password);

// The record lines among `lines` whose user, as shown, is `user` (trimmed).
std::vector<std::uint32_t> lines_of_user(const Document& document, const std::vector<std::uint32_t>& lines,
                                         std::string_view user);

} // namespace sealkeep
