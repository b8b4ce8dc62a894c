// The record line format: seven "key=value" tokens separated by ";", in a fixed order.
#include "core/record_line.h"

#include "core/text_encoding.h"

#include <array>
#include <cstddef>

namespace sealkeep {

namespace {

constexpr std::size_t FIELD_COUNT = 7;
constexpr std::array<std::string_view, FIELD_COUNT> PREFIXES{
    "customer=", "group=", "server=", "service=", "serviceplus=", "user=", "password=",
};

bool is_ascii_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view trim(std::string_view token)
{
    while (!token.empty() && is_ascii_space(token.front()))
        token.remove_prefix(1);
    while (!token.empty() && is_ascii_space(token.back()))
        token.remove_suffix(1);
    return token;
}

// A token that stops short of its prefix while agreeing with it so far (the empty token, the bare
// key, "cus") still counts, with an empty value: the file format has always accepted that.
std::optional<std::string_view> match_token(std::string_view token, std::string_view prefix)
{
    token = trim(token);
    if (token.size() < prefix.size())
        return prefix.starts_with(token) ? std::optional<std::string_view>(std::string_view{}) : std::nullopt;
    if (!token.starts_with(prefix))
        return std::nullopt;
    return token.substr(prefix.size());
}

std::string_view without_line_ending(std::string_view line)
{
    if (line.ends_with('\n')) {
        line.remove_suffix(1);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
    }
    return line;
}

} // namespace

RecordLine::~RecordLine()
{
    // Every value names an account, not only the password.
    for (std::string* value : {&customer, &group, &server, &service, &serviceplus, &user, &password})
        scrub(*value);
}

namespace {

// The seven values of a record line, and where the eighth token starts (past the end when there is
// none): the password is its own value followed by everything from the seventh ";" on.
struct Fields {
    std::array<std::string_view, FIELD_COUNT> values;
    std::string_view rest;
};

std::optional<Fields> split_fields(std::string_view line)
{
    // Nothing after a NUL could be shown or copied, so such a line is never taken as a record.
    if (line.find('\0') != std::string_view::npos)
        return std::nullopt;

    // The line ending is not part of the last value: it would otherwise end up in a password that
    // has semicolons in it (the seventh token alone is trimmed anyway).
    line = without_line_ending(line);

    Fields fields;
    std::size_t start = 0;
    for (std::size_t field = 0; field < FIELD_COUNT; ++field) {
        if (start > line.size())
            return std::nullopt; // fewer than seven tokens
        std::size_t end = line.find(';', start);
        if (end == std::string_view::npos)
            end = line.size();
        auto value = match_token(line.substr(start, end - start), PREFIXES[field]);
        if (!value)
            return std::nullopt;
        fields.values[field] = *value;
        start = end + 1;
    }
    // Semicolons are allowed in a password: everything after the seventh ";" belongs to it, as read.
    fields.rest = start <= line.size() ? line.substr(start - 1) : std::string_view{};
    return fields;
}

} // namespace

std::optional<RecordLine> parse_record_line(std::string_view line)
{
    const auto fields = split_fields(line);
    if (!fields)
        return std::nullopt;
    const auto& values = fields->values;
    RecordLine record;
    record.customer = values[0];
    record.group = values[1];
    record.server = values[2];
    record.service = values[3];
    record.serviceplus = values[4];
    record.user = values[5];
    record.password.reserve(values[6].size() + fields->rest.size());
    record.password.append(values[6]).append(fields->rest);
    return record;
}

std::optional<RecordKeys> parse_record_keys(std::string_view line)
{
    const auto fields = split_fields(line);
    if (!fields)
        return std::nullopt;
    const auto& values = fields->values;
    return RecordKeys{values[0], values[1], values[2], values[3], values[4], values[5]};
}

RecordKeys record_keys(const RecordLine& record)
{
    return RecordKeys{record.customer, record.group,       record.server,
                      record.service,  record.serviceplus, record.user};
}

bool is_gpg_warning_line(std::string_view line)
{
    constexpr std::string_view WARNING = "gpg: WAR";
    if (line.size() < WARNING.size())
        return false;
    for (std::size_t i = 0; i < WARNING.size(); ++i) {
        char c = line[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        char w = WARNING[i];
        if (w >= 'a' && w <= 'z')
            w = static_cast<char>(w - 'a' + 'A');
        if (c != w)
            return false;
    }
    return true;
}

} // namespace sealkeep
