// The load: gpg's plaintext, line by line, into records; everything else on the line is a warning.
#include "core/record_reader.h"

#include "core/text_encoding.h"

#include <algorithm>
#include <cstdlib>

namespace sealkeep {

void print_unmatched_line(FILE* errors, std::string_view line)
{
    // Printed as read, line ending included; a NUL ends what %s can show of it.
    fprintf(errors, "WARNING: not matched: %.*s\n", static_cast<int>(std::min(line.find('\0'), line.size())),
            line.data());
}

DecryptVerdict read_record_lines(GpgDecryption& decryption, DecryptRequest request, const AddLine& add_line,
                                 FILE* errors)
{
    return read_record_lines(decryption, std::move(request), add_line,
                             [errors](std::string_view line) { print_unmatched_line(errors, line); });
}

DecryptVerdict read_record_lines(GpgDecryption& decryption, DecryptRequest request, const AddLine& add_line,
                                 const UnmatchedLine& unmatched)
{
    const auto handle = [&](std::string_view line) {
        // gpg may print its warnings on standard output too; they are no concern of the user's.
        if (is_gpg_warning_line(line))
            return;
        if (const auto record = parse_record_line(line)) {
            add_line(*record);
            return;
        }
        unmatched(line);
    };
    DecryptVerdict verdict = decryption.run(std::move(request), handle);
    // A short passphrase sits inside the string object itself, and a move leaves its bytes behind.
    scrub(request.passphrase);
    return verdict;
}

std::string expand_home(std::string_view path)
{
    const char* home = getenv("HOME");
    if (path.starts_with("~/") && home && *home)
        return std::string(home) + std::string(path.substr(1));
    return std::string(path);
}

} // namespace sealkeep
