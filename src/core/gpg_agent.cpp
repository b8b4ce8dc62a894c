// The agent's cache entry of one key: found by keygrip, cleared with CLEAR_PASSPHRASE.
#include "core/child_process.h"
#include "core/colon_record.h"
#include "core/gpg_agent.h"

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
    return {std::string(gpg_program),
            "--batch",
            "--no-tty",
            "--with-colons",
            "--with-keygrip",
            "--list-secret-keys",
            std::string("--"),
            std::string(fingerprint)};
}

std::string keygrip_of(std::string_view colon_listing, std::string_view fingerprint)
{
    if (!is_hex(fingerprint))
        return {};
    // A whole fingerprint is the longest of its own endings.
    const std::vector<std::string> grips = keygrips_of_key_ids(colon_listing, {std::string(fingerprint)});
    return grips.empty() ? std::string() : grips.front();
}

std::vector<std::string> clear_passphrase_arguments(std::string_view keygrip)
{
    // No agent running holds nothing to forget: none is started for it.
    return {"gpg-connect-agent", "--no-autostart", "CLEAR_PASSPHRASE --mode=normal " + std::string(keygrip), "/bye"};
}

std::vector<std::string> recipient_query_arguments(std::string_view gpg_program, std::string_view path)
{
    return {std::string(gpg_program), "--batch",        "--no-tty", "--status-fd", "1", "--list-only", "--decrypt",
            std::string("--"),        std::string(path)};
}

std::vector<std::string> encrypted_to_key_ids(std::string_view status)
{
    constexpr std::string_view PREFIX = "[GNUPG:] ENC_TO ";
    std::vector<std::string> ids;
    while (!status.empty()) {
        const std::size_t end = std::min(status.find('\n'), status.size());
        std::string_view line = status.substr(0, end);
        status.remove_prefix(std::min(end + 1, status.size()));
        if (!line.starts_with(PREFIX))
            continue;
        line.remove_prefix(PREFIX.size());
        const std::string id(line.substr(0, line.find(' ')));
        // A file for an anonymous recipient names all zeros: no key of ours to forget by that.
        if (id.size() == 16 && is_hex(id) && id.find_first_not_of('0') != std::string::npos &&
            std::find(ids.begin(), ids.end(), id) == ids.end())
            ids.push_back(id);
    }
    return ids;
}

std::vector<std::string> keygrips_of_key_ids(std::string_view colon_listing, const std::vector<std::string>& key_ids)
{
    std::vector<std::string> grips;
    bool in_wanted_key = false;
    while (!colon_listing.empty()) {
        const std::size_t end = std::min(colon_listing.find('\n'), colon_listing.size());
        const std::string_view record = colon_listing.substr(0, end);
        colon_listing.remove_prefix(std::min(end + 1, colon_listing.size()));
        const std::string_view type = field(record, 0);
        // A keygrip belongs to the key whose "fpr" record came last; any other record of a key ends it.
        if (type == "fpr") {
            const std::string_view fingerprint = field(record, 9);
            in_wanted_key = std::any_of(key_ids.begin(), key_ids.end(), [&](const std::string& id) {
                return fingerprint.size() >= id.size() &&
                       same_hex(fingerprint.substr(fingerprint.size() - id.size()), id);
            });
        } else if (type == "grp") {
            const std::string_view grip = field(record, 9);
            // A keygrip is 20 bytes in hex; anything else must not reach the agent's command line.
            if (in_wanted_key && grip.size() == 40 && is_hex(grip) &&
                std::find(grips.begin(), grips.end(), grip) == grips.end())
                grips.emplace_back(grip);
            in_wanted_key = false;
        } else if (type == "sec" || type == "ssb" || type == "pub" || type == "sub") {
            in_wanted_key = false;
        }
    }
    return grips;
}

void forget_file_keys(std::string_view gpg_program, const std::string& path, std::chrono::milliseconds timeout,
                      const std::atomic<bool>* stop)
{
    constexpr std::size_t LISTING_LIMIT = 1 << 20;
    const ChildOutput recipients =
        run_for_output(recipient_query_arguments(gpg_program, path), timeout, LISTING_LIMIT, stop);
    const std::vector<std::string> ids = encrypted_to_key_ids(recipients.output);
    if (ids.empty())
        return;
    std::vector<std::string> query = keygrip_query_arguments(gpg_program, "");
    query.pop_back();
    query.insert(query.end(), ids.begin(), ids.end());
    // A key id that is no secret key of ours makes gpg end with an error after listing the others.
    const ChildOutput listing = run_for_output(query, timeout, LISTING_LIMIT, stop);
    const std::vector<std::string> grips = keygrips_of_key_ids(listing.output, ids);
    if (grips.empty())
        return;
    std::vector<std::string> clear{"gpg-connect-agent", "--no-autostart"};
    for (const std::string& grip : grips)
        clear.push_back("CLEAR_PASSPHRASE --mode=normal " + grip);
    clear.emplace_back("/bye");
    run_for_output(clear, timeout, LISTING_LIMIT, stop);
}

} // namespace sealkeep
