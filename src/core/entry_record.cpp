// The record an account row carries: three texts in one block, overwritten when it goes.
#include "core/entry_record.h"

#include <cstring>

#include <string.h>

namespace sealkeep {

std::unique_ptr<EntryRecord> EntryRecord::make(std::string_view password, std::string_view command_line,
                                               std::string_view host)
{
    const std::size_t texts_size = password.size() + command_line.size() + host.size() + 3;
    void* block = ::operator new(sizeof(EntryRecord) + texts_size);
    std::unique_ptr<EntryRecord> record(new (block) EntryRecord());
    record->password_size_ = password.size();
    record->command_line_size_ = command_line.size();
    record->texts_size_ = texts_size;
    char* next = record->texts();
    for (std::string_view text : {password, command_line, host}) {
        std::memcpy(next, text.data(), text.size());
        next[text.size()] = '\0';
        next += text.size() + 1;
    }
    return record;
}

EntryRecord::~EntryRecord()
{
    explicit_bzero(texts(), texts_size_);
}

void EntryRecord::operator delete(EntryRecord* record, std::destroying_delete_t)
{
    record->~EntryRecord();
    ::operator delete(record);
}

void release_entry_records(EntryRecords& records)
{
    records.clear();
    // The list's own buffer goes too, so a large load leaves nothing behind.
    records.shrink_to_fit();
}

} // namespace sealkeep
