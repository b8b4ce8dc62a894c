// Text helpers: what the toolkit is given to show, and overwriting secrets.
#include "core/text_encoding.h"

#include "core/secret_buffer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string.h>

namespace sealkeep {

bool is_valid_utf8(std::string_view bytes)
{
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        // Most texts are ASCII: eight bytes at a time while no high bit is set.
        std::uint64_t word;
        if (n - i >= sizeof word) {
            std::memcpy(&word, bytes.data() + i, sizeof word);
            if ((word & 0x8080808080808080u) == 0) {
                i += sizeof word;
                continue;
            }
        }
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t length;
        char32_t code;
        char32_t minimum;
        if ((lead & 0xE0) == 0xC0) {
            length = 2, code = lead & 0x1F, minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, code = lead & 0x0F, minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, code = lead & 0x07, minimum = 0x10000;
        } else {
            return false;
        }
        if (n - i < length)
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

std::string display_text(std::string_view bytes)
{
    if (is_valid_utf8(bytes))
        return std::string(bytes);
    // Every Latin-1 byte is the code point of the same number, so the conversion is total.
    std::string text;
    text.reserve(bytes.size() * 2);
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            text += c;
        } else {
            text += static_cast<char>(0xC0 | (byte >> 6));
            text += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return text;
}

void append_display_text(SecretBuffer& out, std::string_view bytes)
{
    if (is_valid_utf8(bytes)) {
        out.append(bytes);
        return;
    }
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out.push_back(c);
        } else {
            const char pair[2] = {static_cast<char>(0xC0 | (byte >> 6)), static_cast<char>(0x80 | (byte & 0x3F))};
            out.append(std::string_view(pair, 2));
        }
    }
}

bool latin1_of_utf8(std::string_view text, std::string& latin1)
{
    latin1.clear();
    latin1.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            latin1 += text[i];
            continue;
        }
        // Two-byte forms led by C2 or C3 are U+0080 to U+00FF; anything else has no Latin-1 code.
        if ((lead != 0xC2 && lead != 0xC3) || i + 1 == text.size()) {
            scrub(latin1);
            return false;
        }
        const auto next = static_cast<unsigned char>(text[++i]);
        latin1 += static_cast<char>(((lead & 0x03) << 6) | (next & 0x3F));
    }
    return true;
}

void scrub(std::string& secret)
{
    // The whole buffer, not only size(): a string that once held a longer secret keeps its tail
    // beyond the current end.
    explicit_bzero(secret.data(), secret.capacity());
    secret.clear();
}

void append_secret(std::string& buffer, std::string_view bytes)
{
    if (buffer.size() + bytes.size() > buffer.capacity()) {
        std::string bigger;
        bigger.reserve(std::max(buffer.capacity() * 2, buffer.size() + bytes.size()));
        bigger.append(buffer);
        scrub(buffer);
        buffer.swap(bigger);
    }
    buffer.append(bytes);
}

void shrink_secret(std::string& buffer)
{
    if (buffer.capacity() == buffer.size())
        return;
    std::string exact;
    exact.reserve(buffer.size());
    exact.append(buffer);
    scrub(buffer);
    buffer.swap(exact);
}

} // namespace sealkeep
