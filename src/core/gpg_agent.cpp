// The agent's cache entry of one key: found by keygrip, cleared with CLEAR_PASSPHRASE.
#include "core/gpg_agent.h"
#include "core/colon_record.h"

#include <algorithm>
#include <cctype>

namespace sealkeep {

namespace {

// Field 10 (index 9) of a colon record holds the fingerprint of "fpr" and the keygrip of "grp".
std::string_view field(std::string_view record, std::size_t index)
{
    return colon_field(record, index);
}

bool is_hex(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c); });
}

bool same_hex(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::toupper(x) == std::toupper(y);
           });
}

} // namespace

std::vector<std::string> keygrip_query_arguments(std::string_view gpg_program, std::string_view fingerprint)
{
    return {std::string(gpg_program), "--batch",          "--no-tty", "--with-colons", "--with-keygrip",
            "--list-secret-keys",     std::string("--"), std::string(fingerprint)};
}

std::string keygrip_of(std::string_view colon_listing, std::string_view fingerprint)
{
    if (!is_hex(fingerprint))
        return {};
    // A keygrip belongs to the key whose "fpr" record came last; any other record of a key ends it.
    bool in_wanted_key = false;
    while (!colon_listing.empty()) {
        const std::size_t end = std::min(colon_listing.find('\n'), colon_listing.size());
        const std::string_view record = colon_listing.substr(0, end);
        colon_listing.remove_prefix(std::min(end + 1, colon_listing.size()));
        const std::string_view type = field(record, 0);
        if (type == "fpr") {
            in_wanted_key = same_hex(field(record, 9), fingerprint);
        } else if (type == "grp") {
            const std::string_view grip = field(record, 9);
            // A keygrip is 20 bytes in hex; anything else must not reach the agent's command line.
            if (in_wanted_key && grip.size() == 40 && is_hex(grip))
                return std::string(grip);
        } else if (type == "sec" || type == "ssb" || type == "pub" || type == "sub") {
            in_wanted_key = false;
        }
    }
    return {};
}

std::vector<std::string> clear_passphrase_arguments(std::string_view keygrip)
{
    return {"gpg-connect-agent", "CLEAR_PASSPHRASE --mode=normal " + std::string(keygrip), "/bye"};
}

} // namespace sealkeep
