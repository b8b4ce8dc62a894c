// A secret kept for a while (the passphrase a file was opened with): in pages of its own that are
// locked into memory, so they are never written to swap, left out of core dumps, and overwritten
// before they are given back.
#pragma once

#include <cstddef>
#include <string_view>

namespace sealkeep {

class LockedSecret {
public:
    LockedSecret() = default;
    explicit LockedSecret(std::string_view secret) { assign(secret); }
    LockedSecret(const LockedSecret& other) : LockedSecret(other.view()) {}
    LockedSecret& operator=(const LockedSecret& other);
    ~LockedSecret() { clear(); }

    // Replaces the secret. Returns false when no memory could be had for it (it is then empty).
    bool assign(std::string_view secret);
    // Overwrites the secret and gives its pages back.
    void clear();

    std::string_view view() const { return {data_, size_}; }
    bool empty() const { return size_ == 0; }
    // Whether the pages are locked in memory (mlock can be refused by a resource limit).
    bool locked() const { return locked_; }

private:
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t mapped_ = 0;
    bool locked_ = false;
};

} // namespace sealkeep
