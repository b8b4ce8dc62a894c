// The record an account row carries, and the list that owns a load's records.
#pragma once

#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace sealkeep {

// What an account row carries: three texts kept in the same block as the record itself (one
// allocation per record, and no pointers of its own: at a hundred thousand accounts every byte of a
// record counts). Each text is followed by a NUL, so its data() is also a C string. The texts are
// overwritten when the record goes.
class EntryRecord {
public:
    static std::unique_ptr<EntryRecord> make(std::string_view password, std::string_view command_line,
                                             std::string_view host);

    EntryRecord(const EntryRecord&) = delete;
    EntryRecord& operator=(const EntryRecord&) = delete;

    // Runs the destructor and frees the block that make() allocated.
    void operator delete(EntryRecord* record, std::destroying_delete_t);

    std::string_view password() const { return {texts(), password_size_}; }
    std::string_view command_line() const { return {texts() + password_size_ + 1, command_line_size_}; }
    std::string_view host() const
    {
        const std::size_t start = password_size_ + 1 + command_line_size_ + 1;
        return {texts() + start, texts_size_ - start - 1};
    }

private:
    EntryRecord() = default;
    ~EntryRecord();
    char* texts() { return reinterpret_cast<char*>(this + 1); }
    const char* texts() const { return reinterpret_cast<const char*>(this + 1); }

    std::size_t password_size_ = 0;
    std::size_t command_line_size_ = 0;
    std::size_t texts_size_ = 0;
};

// The records of one load, in the order of creation. Rows of the tree only point at them.
using EntryRecords = std::vector<std::unique_ptr<EntryRecord>>;

// Releases every record (each one's texts overwritten first) and the list's own buffer.
void release_entry_records(EntryRecords& records);

} // namespace sealkeep
