// Password generation with getrandom: each character by rejection sampling from the chosen alphabet, so
// that every character is equally likely.
#include "core/password_generator.h"

#include "core/text_encoding.h"

#include <sys/random.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <string.h>

namespace sealkeep {

namespace {

// Random bytes into `buffer`; false when the source fails.
bool random_bytes(unsigned char* buffer, std::size_t size)
{
    std::size_t filled = 0;
    while (filled < size) {
        const ssize_t got = getrandom(buffer + filled, size - filled, 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        filled += static_cast<std::size_t>(got);
    }
    return true;
}

// An index below `bound` (at most 256), uniform: bytes at or above the largest multiple are drawn again.
bool random_index(std::size_t bound, std::size_t& index)
{
    const unsigned limit = 256 - 256 % static_cast<unsigned>(bound);
    for (;;) {
        unsigned char byte = 0;
        if (!random_bytes(&byte, 1))
            return false;
        if (byte < limit) {
            index = byte % bound;
            return true;
        }
    }
}

bool holds_any(std::string_view text, std::string_view of)
{
    return text.find_first_of(of) != std::string_view::npos;
}

} // namespace

std::string generate_password(const PasswordRecipe& recipe)
{
    std::array<std::string_view, 3> classes;
    std::size_t count = 0;
    if (recipe.letters)
        classes[count++] = LETTERS;
    if (recipe.digits)
        classes[count++] = DIGITS;
    if (recipe.punctuation)
        classes[count++] = PUNCTUATION;
    if (count == 0)
        classes[count++] = LETTERS;
    std::string alphabet;
    for (std::size_t i = 0; i < count; ++i)
        alphabet.append(classes[i]);
    const auto length = static_cast<std::size_t>(std::clamp(recipe.length, MIN_PASSWORD_LENGTH, MAX_PASSWORD_LENGTH));

    std::string password;
    password.reserve(length);
    // Drawn again until every chosen class is in it: a password a site rejects for lacking a digit helps
    // nobody, and the draw stays uniform over the passwords that qualify.
    for (;;) {
        password.clear();
        for (std::size_t i = 0; i < length; ++i) {
            std::size_t index = 0;
            if (!random_index(alphabet.size(), index)) {
                scrub(password);
                return {};
            }
            password += alphabet[index];
        }
        bool every = true;
        for (std::size_t i = 0; i < count; ++i)
            every = every && holds_any(password, classes[i]);
        if (every)
            return password;
    }
}

double password_bits(std::string_view password)
{
    if (password.empty())
        return 0;
    std::size_t pool = 0;
    if (holds_any(password, "abcdefghijklmnopqrstuvwxyz"))
        pool += 26;
    if (holds_any(password, "ABCDEFGHIJKLMNOPQRSTUVWXYZ"))
        pool += 26;
    if (holds_any(password, DIGITS))
        pool += 10;
    if (holds_any(password, PUNCTUATION) || holds_any(password, "; "))
        pool += 33;
    if (std::any_of(password.begin(), password.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
        pool += 64;
    return static_cast<double>(password.size()) * std::log2(static_cast<double>(std::max<std::size_t>(pool, 2)));
}

Strength password_strength(std::string_view password)
{
    if (password.empty())
        return Strength::Empty;
    const double bits = password_bits(password);
    if (bits < 50)
        return Strength::Weak;
    if (bits < 80)
        return Strength::Fair;
    return Strength::Strong;
}

} // namespace sealkeep
