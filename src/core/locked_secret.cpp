// Locked, undumpable pages for a kept secret.
#include "core/locked_secret.h"

#include <cstring>

#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

namespace sealkeep {

LockedSecret& LockedSecret::operator=(const LockedSecret& other)
{
    if (this != &other)
        assign(other.view());
    return *this;
}

bool LockedSecret::assign(std::string_view secret)
{
    clear();
    if (secret.empty())
        return true;
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t size = (secret.size() + page - 1) / page * page;
    void* pages = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED)
        return false;
    // Locked before the secret is copied in, so that it is never in a page that could be swapped.
    locked_ = mlock(pages, size) == 0;
    madvise(pages, size, MADV_DONTDUMP);
    data_ = static_cast<char*>(pages);
    mapped_ = size;
    std::memcpy(data_, secret.data(), secret.size());
    size_ = secret.size();
    return true;
}

void LockedSecret::clear()
{
    if (!data_)
        return;
    explicit_bzero(data_, mapped_);
    if (locked_)
        munlock(data_, mapped_);
    munmap(data_, mapped_);
    data_ = nullptr;
    size_ = 0;
    mapped_ = 0;
    locked_ = false;
}

} // namespace sealkeep
