// The record line format of the decrypted password file.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sealkeep {

// The seven values of one record line, bytes exactly as they stand in the line.
struct RecordLine {
    std::string customer;
    std::string group;
    std::string server;
    std::string service;
    std::string serviceplus;
    std::string user;
    std::string password;

    RecordLine() = default;
    RecordLine(const RecordLine&) = default;
    RecordLine& operator=(const RecordLine&) = default;
    ~RecordLine(); // overwrites every value
};

// One line as read (line ending included, if it had one); nullopt when it is not a record line.
std::optional<RecordLine> parse_record_line(std::string_view line);

// The six values that place a record in the tree, as views into its line: what the tree rules need,
// read without copying a byte of the line.
struct RecordKeys {
    std::string_view customer;
    std::string_view group;
    std::string_view server;
    std::string_view service;
    std::string_view serviceplus;
    std::string_view user;
};

// The same test as parse_record_line: a line gives keys exactly when it is a record line.
std::optional<RecordKeys> parse_record_keys(std::string_view line);
RecordKeys record_keys(const RecordLine& record);

// gpg's own warnings on standard output are dropped silently: the first eight bytes are "gpg: WAR",
// compared without regard to ASCII case.
bool is_gpg_warning_line(std::string_view line);

} // namespace sealkeep
