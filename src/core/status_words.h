// gpg's status lines ("[GNUPG:] KEYWORD arg arg") split into their words, for the decryption's and the
// encryption's readers alike.
#pragma once

#include <string_view>
#include <vector>

namespace sealkeep {

// The words of a line, split at runs of spaces; they point into `text`.
std::vector<std::string_view> words(std::string_view text);

} // namespace sealkeep
