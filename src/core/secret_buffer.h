// A growable byte buffer for large secrets (a whole decrypted file, the texts of its rows, the text of an
// entry for account values). It lives in its own memory mapping, so that growing moves pages instead of
// copying bytes: no stale copy of the secret is ever left behind in a freed block, nothing needs
// overwriting on the way, and room reserved but not yet written costs no memory. Kept out of core dumps;
// overwritten and unmapped when dropped.
#pragma once

#include <cstddef>
#include <string_view>

namespace sealkeep {

class SecretBuffer {
public:
    SecretBuffer() = default;
    ~SecretBuffer();
    SecretBuffer(const SecretBuffer&) = delete;
    SecretBuffer& operator=(const SecretBuffer&) = delete;
    SecretBuffer(SecretBuffer&& other) noexcept;
    SecretBuffer& operator=(SecretBuffer&& other) noexcept;

    // Throws std::bad_alloc when the mapping cannot grow.
    void append(std::string_view bytes);
    void push_back(char byte) { append(std::string_view(&byte, 1)); }
    // Puts `bytes` before the byte at `at` (at most size()). `bytes` must not lie in this buffer: growing
    // may move it. Throws std::bad_alloc when the mapping cannot grow, leaving the buffer as it was.
    void insert(std::size_t at, std::string_view bytes);
    // Takes out `count` bytes from `at` (both kept within size()); the bytes that moved down are
    // overwritten where they stood, so no copy of them is left past the end.
    void erase(std::size_t at, std::size_t count);

    const char* data() const { return data_ != nullptr ? data_ : ""; }
    // Null while nothing was written.
    char* mapping() const { return data_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::string_view view() const { return {data(), size_}; }
    operator std::string_view() const { return view(); }

    // Overwrites what was written and gives the memory back.
    void clear();

private:
    void reserve(std::size_t wanted);

    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

} // namespace sealkeep
