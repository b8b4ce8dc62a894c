// SHA-256 (FIPS 180-4): only ciphertext passes through it, so secrecy does not matter here. Speed does:
// a load hashes the whole file beside gpg, so where the processor has the SHA instructions they do the
// blocks, several times faster than the plain rounds, which remain for every other processor.
#include "core/file_digest.h"

#include "core/child_process.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace sealkeep {

namespace {

constexpr std::uint32_t K[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

constexpr std::uint32_t rotr(std::uint32_t x, int n)
{
    return (x >> n) | (x << (32 - n));
}

#if defined(__x86_64__)
bool has_sha_instructions()
{
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_SSSE3) || !(c & bit_SSE4_1))
        return false;
    return __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_SHA);
}

// One block in sixteen groups of four rounds. The state is kept as the instructions want it: ABEF in
// one register, CDGH in the other.
__attribute__((target("sha,sse4.1,ssse3"))) void sha_block(std::array<std::uint32_t, 8>& state,
                                                             const unsigned char* data)
{
    const __m128i byte_order = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    __m128i tmp = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0])), 0xB1);
    __m128i state1 = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4])), 0x1B);
    __m128i state0 = _mm_alignr_epi8(tmp, state1, 8);
    state1 = _mm_blend_epi16(state1, tmp, 0xF0);
    const __m128i abef = state0;
    const __m128i cdgh = state1;

    __m128i w[4];
    for (int group = 0; group < 16; ++group) {
        __m128i& words = w[group % 4];
        if (group < 4) {
            words = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * group)), byte_order);
        } else {
            // words holds the group four back; the others the three after it.
            __m128i next = _mm_sha256msg1_epu32(words, w[(group + 1) % 4]);
            next = _mm_add_epi32(next, _mm_alignr_epi8(w[(group + 3) % 4], w[(group + 2) % 4], 4));
            words = _mm_sha256msg2_epu32(next, w[(group + 3) % 4]);
        }
        __m128i message = _mm_add_epi32(words, _mm_loadu_si128(reinterpret_cast<const __m128i*>(&K[4 * group])));
        state1 = _mm_sha256rnds2_epu32(state1, state0, message);
        message = _mm_shuffle_epi32(message, 0x0E);
        state0 = _mm_sha256rnds2_epu32(state0, state1, message);
    }
    state0 = _mm_add_epi32(state0, abef);
    state1 = _mm_add_epi32(state1, cdgh);

    tmp = _mm_shuffle_epi32(state0, 0x1B);
    state1 = _mm_shuffle_epi32(state1, 0xB1);
    state0 = _mm_blend_epi16(tmp, state1, 0xF0);
    state1 = _mm_alignr_epi8(state1, tmp, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), state0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), state1);
}
#endif

} // namespace

Sha256::Sha256()
    : state_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19}
{
}

void Sha256::block(const unsigned char* data)
{
#if defined(__x86_64__)
    static const bool sha_instructions = has_sha_instructions();
    if (sha_instructions) {
        sha_block(state_, data);
        return;
    }
#endif
    std::uint32_t w[64];
    for (int i = 0; i < 16; ++i)
        w[i] = std::uint32_t(data[4 * i]) << 24 | std::uint32_t(data[4 * i + 1]) << 16 |
               std::uint32_t(data[4 * i + 2]) << 8 | std::uint32_t(data[4 * i + 3]);
    for (int i = 16; i < 64; ++i) {
        const std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    auto [a, b, c, d, e, f, g, h] = state_;
    for (int i = 0; i < 64; ++i) {
        const std::uint32_t t1 = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + K[i] + w[i];
        const std::uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    const std::uint32_t add[8] = {a, b, c, d, e, f, g, h};
    for (int i = 0; i < 8; ++i)
        state_[i] += add[i];
}

void Sha256::update(std::string_view data)
{
    length_ += data.size();
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    std::size_t size = data.size();
    while (size > 0) {
        if (buffered_ == 0 && size >= 64) {
            block(bytes);
            bytes += 64;
            size -= 64;
            continue;
        }
        const std::size_t take = std::min(size, 64 - buffered_);
        std::memcpy(buffer_.data() + buffered_, bytes, take);
        buffered_ += take;
        bytes += take;
        size -= take;
        if (buffered_ == 64) {
            block(buffer_.data());
            buffered_ = 0;
        }
    }
}

std::string Sha256::hex()
{
    const std::uint64_t bits = length_ * 8;
    const unsigned char one = 0x80;
    update({reinterpret_cast<const char*>(&one), 1});
    const unsigned char zero = 0;
    while (buffered_ != 56)
        update({reinterpret_cast<const char*>(&zero), 1});
    unsigned char tail[8];
    for (int i = 0; i < 8; ++i)
        tail[i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
    update({reinterpret_cast<const char*>(tail), 8});
    static constexpr char DIGITS[] = "0123456789abcdef";
    std::string text;
    for (const std::uint32_t word : state_)
        for (int shift = 28; shift >= 0; shift -= 4)
            text += DIGITS[(word >> shift) & 0xF];
    return text;
}

std::string sha256_hex(std::string_view data)
{
    Sha256 hash;
    hash.update(data);
    return hash.hex();
}

std::optional<std::string> file_digest(const std::string& path, std::string* error, const std::atomic<bool>* stop)
{
    // Only a regular file is read: a FIFO would block, or take bytes that were gpg's to read.
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        if (error)
            *error = strerror(errno);
        return std::nullopt;
    }
    if (!S_ISREG(info.st_mode)) {
        if (error)
            *error = "not a regular file";
        return std::nullopt;
    }
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.open() || fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        if (error)
            *error = fd.open() ? "not a regular file" : strerror(errno);
        return std::nullopt;
    }
    Sha256 hash;
    char buffer[65536];
    for (;;) {
        if (stop && stop->load()) {
            if (error)
                *error = "stopped";
            return std::nullopt;
        }
        const ssize_t got = read(fd.get(), buffer, sizeof buffer);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            if (error)
                *error = strerror(errno);
            return std::nullopt;
        }
        hash.update({buffer, static_cast<std::size_t>(got)});
    }
    return hash.hex();
}

std::optional<FileIdentity> file_identity(const std::string& path)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    FileIdentity identity;
    identity.device = info.st_dev;
    identity.inode = info.st_ino;
    identity.size = info.st_size;
    identity.modified_s = info.st_mtim.tv_sec;
    identity.modified_ns = info.st_mtim.tv_nsec;
    identity.changed_s = info.st_ctim.tv_sec;
    identity.changed_ns = info.st_ctim.tv_nsec;
    return identity;
}

} // namespace sealkeep
