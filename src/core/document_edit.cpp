// Editing the loaded document by lines: new lines are formatted here, every other line is copied as it
// stands, and the result is built through the same path as a load, so that it shows and reads the same.
#include "core/document_edit.h"

#include "core/text_encoding.h"

#include <map>
#include <optional>

namespace sealkeep {

namespace {

constexpr std::array<const char*, FIELD_COUNT> KEYS{
    "customer=", "group=", "server=", "service=", "serviceplus=", "user=", "password=",
};

bool is_ascii_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::array<std::string*, FIELD_COUNT> fields_of(RecordLine& record)
{
    return {&record.customer, &record.group,       &record.server,  &record.service,
            &record.serviceplus, &record.user, &record.password};
}

std::array<const std::string*, FIELD_COUNT> fields_of(const RecordLine& record)
{
    return {&record.customer, &record.group,       &record.server,  &record.service,
            &record.serviceplus, &record.user, &record.password};
}

std::string_view own_ending(std::string_view line)
{
    if (line.ends_with("\r\n"))
        return "\r\n";
    if (line.ends_with('\n'))
        return "\n";
    return {};
}

std::optional<RecordLine> record_at(const Document& document, std::uint32_t line)
{
    return parse_record_line(document.line_bytes(document.lines()[line]));
}

// Whether a record's value, as shown, is the typed value once trimmed.
bool shows_as(const std::string& bytes, std::string_view typed)
{
    // Most values are UTF-8 and shown as they are: no copy to compare.
    if (is_valid_utf8(bytes))
        return bytes == trim_value(typed);
    std::string shown = display_text(bytes);
    const bool same = shown == trim_value(typed);
    scrub(shown);
    return same;
}

} // namespace

AccountText::~AccountText()
{
    for (std::string& text : value)
        scrub(text);
}

AccountText account_text_of(const RecordLine& record)
{
    AccountText text;
    const auto fields = fields_of(record);
    for (std::size_t i = 0; i < FIELD_COUNT; ++i)
        text.value[i] = display_text(*fields[i]);
    return text;
}

ValueProblem check_account_value(AccountField field, std::string_view typed)
{
    if (typed.find('\0') != std::string_view::npos)
        return ValueProblem::Nul;
    if (typed.find_first_of("\r\n") != std::string_view::npos)
        return ValueProblem::LineBreak;
    if (!is_valid_utf8(typed))
        return ValueProblem::NotUtf8;
    const std::string_view value = trim_value(typed);
    const std::size_t semicolon = value.find(';');
    if (semicolon == std::string_view::npos)
        return ValueProblem::None;
    if (field != FIELD_PASSWORD)
        return ValueProblem::Semicolon;
    // The seventh token ends at the first ";" and is trimmed; what follows is taken as it stands.
    if (semicolon > 0 && is_ascii_space(value[semicolon - 1]))
        return ValueProblem::BlankBeforeSemicolon;
    return ValueProblem::None;
}

bool account_text_ok(const AccountText& text)
{
    for (std::size_t i = 0; i < FIELD_COUNT; ++i)
        if (check_account_value(static_cast<AccountField>(i), text.value[i]) != ValueProblem::None)
            return false;
    return true;
}

bool account_text_blank(const AccountText& text)
{
    for (const std::string& value : text.value)
        if (!trim_value(value).empty())
            return false;
    return true;
}

std::string_view trim_value(std::string_view value)
{
    while (!value.empty() && is_ascii_space(value.front()))
        value.remove_prefix(1);
    while (!value.empty() && is_ascii_space(value.back()))
        value.remove_suffix(1);
    return value;
}

std::string format_record_line(const RecordLine& values, std::string_view ending)
{
    const auto fields = fields_of(values);
    std::size_t size = ending.size() + FIELD_COUNT;
    for (std::size_t i = 0; i < FIELD_COUNT; ++i)
        size += std::string_view(KEYS[i]).size() + fields[i]->size();
    std::string line;
    line.reserve(size); // one allocation: no copy of the password is left behind by growing
    for (std::size_t i = 0; i < FIELD_COUNT; ++i) {
        if (i)
            line += ';';
        line += KEYS[i];
        line += *fields[i];
    }
    line += ending;
    return line;
}

std::string_view file_line_ending(const Document& document)
{
    for (const Document::Line& line : document.lines()) {
        const std::string_view ending = own_ending(document.line_bytes(line));
        if (!ending.empty())
            return ending;
    }
    return "\n";
}

std::string account_line(const AccountText& typed, const RecordLine* original, std::string_view like,
                         std::string_view ending)
{
    RecordLine values;
    const auto out = fields_of(values);
    std::array<bool, FIELD_COUNT> kept{};
    for (std::size_t i = 0; i < FIELD_COUNT; ++i) {
        if (original) {
            const std::string& bytes = *fields_of(*original)[i];
            std::string shown = display_text(bytes);
            kept[i] = shown == typed.value[i];
            scrub(shown);
            if (kept[i]) {
                *out[i] = bytes;
                continue;
            }
        }
        *out[i] = trim_value(typed.value[i]);
    }
    if (!like.empty() && !is_valid_utf8(like)) {
        // A Latin-1 line stays Latin-1 when it can; kept values are Latin-1 bytes already.
        RecordLine latin1;
        const auto converted = fields_of(latin1);
        bool fits = true;
        for (std::size_t i = 0; i < FIELD_COUNT && fits; ++i) {
            if (kept[i])
                *converted[i] = *out[i];
            else
                fits = latin1_of_utf8(*out[i], *converted[i]);
        }
        if (fits)
            return format_record_line(latin1, ending);
        // Some value has no Latin-1 code: the whole line becomes UTF-8, so that it is of one encoding.
        for (std::size_t i = 0; i < FIELD_COUNT; ++i) {
            if (!kept[i])
                continue;
            std::string shown = display_text(*out[i]);
            scrub(*out[i]);
            out[i]->swap(shown);
        }
    }
    return format_record_line(values, ending);
}

LineEdit::~LineEdit()
{
    scrub(bytes);
}

EditResult apply_line_edits(const Document& old, const std::vector<LineEdit>& edits)
{
    const auto& lines = old.lines();
    std::vector<const LineEdit*> change(lines.size(), nullptr);
    std::multimap<std::uint32_t, const LineEdit*> inserts; // by line; NONE sorts after every line, kept apart
    std::vector<const LineEdit*> at_start;
    for (const LineEdit& edit : edits) {
        if (edit.kind != LineEdit::Kind::InsertAfter)
            change[edit.line] = &edit;
        else if (edit.line == Document::NONE)
            at_start.push_back(&edit);
        else
            inserts.emplace(edit.line, &edit);
    }

    // The lines of the new document in order, each with the old line it comes from (NONE: written).
    struct Piece {
        std::string_view bytes;
        std::uint32_t from;
        const LineEdit* edit;
    };
    std::vector<Piece> pieces;
    pieces.reserve(lines.size() + edits.size());
    for (const LineEdit* edit : at_start)
        pieces.push_back({edit->bytes, Document::NONE, edit});
    for (std::uint32_t number = 0; number < lines.size(); ++number) {
        const LineEdit* edit = change[number];
        if (!edit)
            pieces.push_back({old.line_bytes(lines[number]), number, nullptr});
        else if (edit->kind == LineEdit::Kind::Replace)
            pieces.push_back({edit->bytes, number, edit});
        const auto [first, last] = inserts.equal_range(number);
        for (auto it = first; it != last; ++it)
            pieces.push_back({it->second->bytes, Document::NONE, it->second});
    }

    EditResult result;
    result.document = std::make_unique<Document>(old.templates());
    result.line_map.assign(lines.size(), Document::NONE);
    std::vector<std::uint32_t> written(edits.size(), Document::NONE); // by edit
    const std::string_view ending = file_line_ending(old);
    for (std::uint32_t at = 0; at < pieces.size(); ++at) {
        const Piece& piece = pieces[at];
        if (at + 1 < pieces.size() && !piece.bytes.ends_with('\n')) {
            // Only the old last line can lack its ending; a line after it needs one between them.
            std::string ended;
            ended.reserve(piece.bytes.size() + ending.size());
            ended.append(piece.bytes).append(ending);
            result.document->add_line(ended);
            scrub(ended);
        } else {
            result.document->add_line(piece.bytes);
        }
        if (piece.from != Document::NONE)
            result.line_map[piece.from] = at;
        if (piece.edit)
            written[static_cast<std::size_t>(piece.edit - edits.data())] = at;
    }
    result.document->finish();
    for (std::uint32_t at : written)
        if (at != Document::NONE)
            result.written.push_back(at);
    return result;
}

std::uint32_t placement_line(const Document& document, const AccountText& typed)
{
    std::uint32_t same_branch = Document::NONE;
    std::uint32_t same_customer = Document::NONE;
    for (const EntryRecord& line_record : document.records()) {
        const std::uint32_t number = line_record.line();
        const auto record = record_at(document, number);
        if (!record || !shows_as(record->customer, typed.value[FIELD_CUSTOMER]))
            continue;
        same_customer = number;
        const auto fields = fields_of(*record);
        bool same = true;
        for (std::size_t i = FIELD_GROUP; i <= FIELD_SERVICEPLUS && same; ++i)
            same = shows_as(*fields[i], typed.value[i]);
        if (same)
            same_branch = number;
    }
    if (same_branch != Document::NONE)
        return same_branch;
    if (same_customer != Document::NONE)
        return same_customer;
    const auto& lines = document.lines();
    return lines.empty() ? Document::NONE : static_cast<std::uint32_t>(lines.size() - 1);
}

EditResult add_account(const Document& document, const AccountText& typed, std::uint32_t like_record)
{
    const std::uint32_t after = placement_line(document, typed);
    std::optional<RecordLine> original;
    std::string_view like;
    if (like_record != Document::NONE) {
        original = record_at(document, like_record);
        like = document.line_bytes(document.lines()[like_record]);
    } else if (after != Document::NONE) {
        like = document.line_bytes(document.lines()[after]);
    }
    std::vector<LineEdit> edits;
    edits.push_back({LineEdit::Kind::InsertAfter, after,
                     account_line(typed, original ? &*original : nullptr, like, file_line_ending(document))});
    return apply_line_edits(document, edits);
}

EditResult edit_account(const Document& document, std::uint32_t line, const AccountText& typed)
{
    const std::string_view bytes = document.line_bytes(document.lines()[line]);
    const auto original = parse_record_line(bytes);
    std::vector<LineEdit> edits;
    edits.push_back({LineEdit::Kind::Replace, line,
                     account_line(typed, original ? &*original : nullptr, bytes, own_ending(bytes))});
    return apply_line_edits(document, edits);
}

EditResult delete_lines(const Document& document, const std::vector<std::uint32_t>& lines)
{
    std::vector<LineEdit> edits;
    edits.reserve(lines.size());
    for (std::uint32_t line : lines)
        edits.push_back({LineEdit::Kind::Delete, line, {}});
    return apply_line_edits(document, edits);
}

EditResult set_password(const Document& document, const std::vector<std::uint32_t>& lines, std::string_view password)
{
    std::vector<LineEdit> edits;
    edits.reserve(lines.size());
    for (std::uint32_t line : lines) {
        const std::string_view bytes = document.line_bytes(document.lines()[line]);
        const auto record = parse_record_line(bytes);
        if (!record)
            continue;
        AccountText typed = account_text_of(*record);
        scrub(typed.value[FIELD_PASSWORD]);
        typed.value[FIELD_PASSWORD] = password;
        edits.push_back({LineEdit::Kind::Replace, line, account_line(typed, &*record, bytes, own_ending(bytes))});
    }
    return apply_line_edits(document, edits);
}

std::vector<std::uint32_t> lines_of_user(const Document& document, const std::vector<std::uint32_t>& lines,
                                         std::string_view user)
{
    std::vector<std::uint32_t> matching;
    for (std::uint32_t line : lines) {
        const auto record = record_at(document, line);
        if (record && shows_as(record->user, user))
            matching.push_back(line);
    }
    return matching;
}

} // namespace sealkeep
