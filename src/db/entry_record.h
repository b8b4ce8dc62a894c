// The records of the current load, and the flag that says whether a load found any.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace sealkeep {

// What an account row carries. The password is overwritten when the record goes.
struct EntryRecord {
    std::string password;
    std::string command_line;
    std::string host;

    ~EntryRecord();
};

// Process-wide owner of every record made since the last clear, in the order of creation.
// Rows of the entry store only point at them.
extern std::vector<std::unique_ptr<EntryRecord>> entry_list;

// 1 when the last load found at least one record line; gates the entry actions and Expand a little.
extern int database_loaded;

// Releases one record (its texts, the password overwritten first).
void free_entry_record(std::unique_ptr<EntryRecord> record);

// Releases every record of entry_list and empties it.
void release_entry_list();

} // namespace sealkeep
