// New passwords from the system's random source, and a rough measure of how hard a password is to guess.
#pragma once

#include <string>
#include <string_view>

namespace sealkeep {

// What a generated password is made of. The default: 20 characters of letters, digits and punctuation.
struct PasswordRecipe {
    int length = 20;
    bool letters = true;     // A-Z and a-z
    bool digits = true;      // 0-9
    bool punctuation = true; // printable ASCII punctuation, without ";" and without the blank

    bool operator==(const PasswordRecipe&) const = default;
};

inline constexpr int MIN_PASSWORD_LENGTH = 4;
inline constexpr int MAX_PASSWORD_LENGTH = 128;

// The characters of each class.
inline constexpr std::string_view LETTERS = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
inline constexpr std::string_view DIGITS = "0123456789";
inline constexpr std::string_view PUNCTUATION = "!\"#$%&'()*+,-./:<=>?@[\\]^_`{|}~";

// A password of recipe.length characters (clamped to the limits above), each drawn uniformly from the
// chosen classes (letters alone when none is chosen) with getrandom, and holding at least one character
// of every chosen class. Empty only when the random source fails.
std::string generate_password(const PasswordRecipe& recipe);

enum class Strength { Empty, Weak, Fair, Strong };

// Bits of a password drawn at random from the classes it uses: length times the bits per character.
// A guess for typed passwords, which are seldom random: a hint, not a promise.
double password_bits(std::string_view password);
Strength password_strength(std::string_view password);

} // namespace sealkeep
