// An account's texts, worked out from its record line when they are needed.
#include "core/entry_record.h"

#include "core/command_template.h"
#include "core/document.h"
#include "core/record_line.h"
#include "core/tree_building.h"

#include <optional>

namespace sealkeep {

namespace {

std::optional<RecordLine> parse(const Document& document, std::uint32_t line)
{
    return parse_record_line(document.line_bytes(document.lines()[line]));
}

} // namespace

std::string EntryRecord::password() const
{
    auto record = parse(*document_, line_);
    return record ? record->password : std::string();
}

std::string EntryRecord::command_line() const
{
    auto record = parse(*document_, line_);
    if (!record)
        return {};
    // The user row of an account without a user reads "__none__", and so does its command line.
    const std::string user = record->user.empty() ? std::string(NO_USER_TEXT) : record->user;
    return expand_service_command(document_->templates(), record->service, record->server, record->serviceplus, user);
}

std::string EntryRecord::host() const
{
    auto record = parse(*document_, line_);
    return record ? record->server : std::string();
}

std::string EntryRecord::user() const
{
    auto record = parse(*document_, line_);
    return record ? record->user : std::string();
}

std::string EntryRecord::service() const
{
    auto record = parse(*document_, line_);
    return record ? record->service : std::string();
}

} // namespace sealkeep
