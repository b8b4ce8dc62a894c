// Splitting a status line into words.
#include "core/status_words.h"

#include <algorithm>

namespace sealkeep {

std::vector<std::string_view> words(std::string_view text)
{
    std::vector<std::string_view> result;
    while (!text.empty()) {
        const std::size_t start = text.find_first_not_of(' ');
        if (start == std::string_view::npos)
            break;
        text.remove_prefix(start);
        const std::size_t end = std::min(text.find(' '), text.size());
        result.push_back(text.substr(0, end));
        text.remove_prefix(end);
    }
    return result;
}

} // namespace sealkeep
