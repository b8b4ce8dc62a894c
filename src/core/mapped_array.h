// An append-only array of plain values in its own memory mapping (a SecretBuffer underneath): the
// document's tables of lines, records and rows grow to hundreds of thousands of entries, and growing
// them this way moves pages instead of copying and touches no memory beyond what is written.
#pragma once

#include "core/secret_buffer.h"

#include <cstddef>
#include <cstring>
#include <string_view>
#include <type_traits>

namespace sealkeep {

template <typename T>
class MappedArray {
    static_assert(std::is_trivially_copyable_v<T>, "entries are moved as bytes");

public:
    void push_back(const T& value) { bytes_.append(std::string_view(reinterpret_cast<const char*>(&value), sizeof(T))); }
    // `count` copies of `value` at the end.
    void append(std::size_t count, const T& value)
    {
        for (std::size_t i = 0; i < count; ++i)
            push_back(value);
    }

    std::size_t size() const { return bytes_.size() / sizeof(T); }
    bool empty() const { return bytes_.empty(); }
    // The mapping is page-aligned, and entries lie back to back, each at a multiple of its own size.
    const T* data() const { return reinterpret_cast<const T*>(bytes_.mapping()); }
    T* data() { return reinterpret_cast<T*>(bytes_.mapping()); }
    const T& operator[](std::size_t i) const { return data()[i]; }
    T& operator[](std::size_t i) { return data()[i]; }
    T& back() { return data()[size() - 1]; }
    const T* begin() const { return data(); }
    const T* end() const { return data() + size(); }
    T* begin() { return data(); }
    T* end() { return data() + size(); }

private:
    SecretBuffer bytes_;
};

} // namespace sealkeep
