// Text helpers: what the toolkit is given to show, and overwriting secrets.
#pragma once

#include <string>
#include <string_view>

namespace sealkeep {

// The toolkit takes UTF-8 only. Valid UTF-8 is returned as it is; anything else is taken as
// Latin-1 and converted, which loses nothing (the X11 STRING target gives the bytes back).
std::string display_text(std::string_view bytes);

class SecretBuffer;
// display_text(bytes), appended to `out` without a string in between.
void append_display_text(SecretBuffer& out, std::string_view bytes);

// The same rule as GLib's validator: shortest form only, no UTF-16 surrogates, nothing above U+10FFFF.
bool is_valid_utf8(std::string_view bytes);

// UTF-8 text as Latin-1 bytes, when every character of it has a Latin-1 code (U+0000 to U+00FF);
// false (and `latin1` left empty) otherwise. `text` must be valid UTF-8.
bool latin1_of_utf8(std::string_view text, std::string& latin1);

// Overwrites every byte the string's buffer holds, then empties it.
void scrub(std::string& secret);

// Appends to a buffer that holds plaintext. When it has to grow, the old buffer is overwritten
// before it is freed, which a plain append would not do.
void append_secret(std::string& buffer, std::string_view bytes);

// Drops the spare room growing left in a buffer that holds plaintext, overwriting the old buffer.
void shrink_secret(std::string& buffer);

} // namespace sealkeep
