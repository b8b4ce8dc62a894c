// What a file held when it was loaded, to tell later whether someone else changed it: a SHA-256 of its
// bytes (the ciphertext; nothing secret is hashed).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sealkeep {

class Sha256 {
public:
    Sha256();
    void update(std::string_view data);
    // The digest as 64 lower-case hex digits; the object is spent afterwards.
    std::string hex();

private:
    void block(const unsigned char* data);

    std::array<std::uint32_t, 8> state_;
    std::array<unsigned char, 64> buffer_{};
    std::size_t buffered_ = 0;
    std::uint64_t length_ = 0;
};

std::string sha256_hex(std::string_view data);

// The digest of a regular file's bytes, or nothing when it cannot be read or is no regular file (`error`
// says why; a missing file has the error "No such file or directory").
// says why; a missing file has the error "No such file or directory"). A `stop` set from another thread
// ends the reading early, with nothing.
std::optional<std::string> file_digest(const std::string& path, std::string* error = nullptr,
                                       const std::atomic<bool>* stop = nullptr);

// Which file a path names and when it last changed: a file written, replaced or touched in any way
// gets another identity (its change time moves even when its size and modification time are put back).
struct FileIdentity {
    unsigned long long device = 0, inode = 0;
    long long size = 0;
    long long modified_s = 0, modified_ns = 0, changed_s = 0, changed_ns = 0;
    bool operator==(const FileIdentity&) const = default;
};

// Nothing when the path names no regular file.
std::optional<FileIdentity> file_identity(const std::string& path);

} // namespace sealkeep
