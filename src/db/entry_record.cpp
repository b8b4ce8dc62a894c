// The records of the current load.
#include "db/entry_record.h"

#include "db/text_encoding.h"

namespace sealkeep {

std::vector<std::unique_ptr<EntryRecord>> entry_list;
int database_loaded = 0;

EntryRecord::~EntryRecord()
{
    scrub(password);
}

void free_entry_record(std::unique_ptr<EntryRecord> record)
{
    record.reset();
}

void release_entry_list()
{
    for (auto& record : entry_list)
        free_entry_record(std::move(record));
    entry_list.clear();
    // The list's own buffer goes too, so a large load leaves nothing behind.
    entry_list.shrink_to_fit();
}

} // namespace sealkeep
