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

// Overwrites every byte the string's buffer holds, then empties it.
void scrub(std::string& secret);

// Appends to a buffer that holds plaintext. When it has to grow, the old buffer is overwritten
// before it is freed, which a plain append would not do.
void append_secret(std::string& buffer, std::string_view bytes);

// Drops the spare room growing left in a buffer that holds plaintext, overwriting the old buffer.
void shrink_secret(std::string& buffer);

} // namespace sealkeep
