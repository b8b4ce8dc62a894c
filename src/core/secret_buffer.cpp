// The secret buffer's mapping: mmap to start, mremap to grow (the kernel moves the pages, the bytes are
// never copied), explicit_bzero and munmap to end.
#include "core/secret_buffer.h"

#include <cstring>
#include <new>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>

namespace sealkeep {

namespace {

// Small enough that a short file maps little, large enough that a big one grows in few steps.
constexpr std::size_t FIRST_MAPPING = std::size_t{64} << 10;

constexpr std::size_t HUGE_PAGES_FROM = std::size_t{32} << 20;

std::size_t page_rounded(std::size_t bytes)
{
    static const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return (bytes + page - 1) / page * page;
}

} // namespace

SecretBuffer::~SecretBuffer()
{
    clear();
}

SecretBuffer::SecretBuffer(SecretBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0))
{
}

SecretBuffer& SecretBuffer::operator=(SecretBuffer&& other) noexcept
{
    if (this != &other) {
        clear();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
}

void SecretBuffer::append(std::string_view bytes)
{
    if (bytes.empty())
        return;
    if (bytes.size() > capacity_ - size_)
        reserve(size_ + bytes.size());
    std::memcpy(data_ + size_, bytes.data(), bytes.size());
    size_ += bytes.size();
}

void SecretBuffer::insert(std::size_t at, std::string_view bytes)
{
    if (bytes.empty())
        return;
    if (at > size_)
        at = size_;
    if (bytes.size() > capacity_ - size_)
        reserve(size_ + bytes.size());
    std::memmove(data_ + at + bytes.size(), data_ + at, size_ - at);
    std::memcpy(data_ + at, bytes.data(), bytes.size());
    size_ += bytes.size();
}

void SecretBuffer::erase(std::size_t at, std::size_t count)
{
    if (at >= size_ || count == 0)
        return;
    if (count > size_ - at)
        count = size_ - at;
    std::memmove(data_ + at, data_ + at + count, size_ - at - count);
    size_ -= count;
    explicit_bzero(data_ + size_, count);
}

void SecretBuffer::reserve(std::size_t wanted)
{
    if (wanted < size_)
        throw std::bad_alloc();
    std::size_t capacity = capacity_ == 0 ? FIRST_MAPPING : capacity_;
    while (capacity < wanted) {
        if (capacity > static_cast<std::size_t>(-1) / 2)
            throw std::bad_alloc();
        capacity *= 2;
    }
    capacity = page_rounded(capacity);
    void* mapped;
    if (data_ == nullptr)
        mapped = mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    else
        mapped = mremap(data_, capacity_, capacity, MREMAP_MAYMOVE);
    if (mapped == MAP_FAILED)
        throw std::bad_alloc();
    // A core dump of the program must not carry the file's plaintext.
    madvise(mapped, capacity, MADV_DONTDUMP);
    // A large buffer is filled in one go: in 2 MiB pages it takes a page fault per 2 MiB instead of
    // one per 4 KiB, most of the cost of a hundred megabytes. Below the threshold the few megabytes a
    // partly used huge page holds would weigh more than the faults saved. (Advice only: where the
    // kernel has no such pages, nothing changes.)
    if (capacity >= HUGE_PAGES_FROM)
        madvise(mapped, capacity, MADV_HUGEPAGE);
    data_ = static_cast<char*>(mapped);
    capacity_ = capacity;
}

void SecretBuffer::clear()
{
    if (data_ == nullptr)
        return;
    explicit_bzero(data_, size_);
    munmap(data_, capacity_);
    data_ = nullptr;
    size_ = 0;
    capacity_ = 0;
}

} // namespace sealkeep
