// Reading gpg's colon listing of public keys (the format of doc/DETAILS in GnuPG): "pub" starts a key,
// "fpr" gives the fingerprint of the (sub)key record before it, "uid" a user id, "sub" a subkey.
#include "core/colon_record.h"
#include "core/public_keys.h"

#include "core/child_process.h"

#include <algorithm>
#include <cctype>

namespace sealkeep {

namespace {

constexpr std::size_t LISTING_LIMIT = 16 * 1024 * 1024;

std::string_view field(std::string_view record, std::size_t index)
{
    return colon_field(record, index);
}

int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A user id comes with colons, backslashes and control bytes as "\xHH".
std::string unescaped(std::string_view text)
{
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' && hex_value(text[i + 2]) >= 0 &&
            hex_value(text[i + 3]) >= 0) {
            result += static_cast<char>(hex_value(text[i + 2]) * 16 + hex_value(text[i + 3]));
            i += 3;
        } else {
            result += text[i];
        }
    }
    return result;
}

std::string upper(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), [](unsigned char c) { return std::toupper(c); });
    return result;
}

bool is_hex(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c); });
}

bool dead_validity(std::string_view validity)
{
    return validity == "r" || validity == "e" || validity == "i";
}

KeyState state_of(std::string_view validity, std::string_view capabilities)
{
    if (validity == "r")
        return KeyState::Revoked;
    if (validity == "e")
        return KeyState::Expired;
    if (validity == "i")
        return KeyState::Invalid;
    // The primary key's capital letters are what the key as a whole can do now; "D" marks it disabled.
    if (validity == "d" || capabilities.find('D') != std::string_view::npos)
        return KeyState::Disabled;
    if (capabilities.find('E') == std::string_view::npos)
        return KeyState::CannotEncrypt;
    return KeyState::Usable;
}

// The last hex digits of a fingerprint are its key id (for the common version 4 keys).
bool names(std::string_view id, std::string_view fingerprint_or_id)
{
    return id.size() <= fingerprint_or_id.size() && fingerprint_or_id.ends_with(id);
}

} // namespace

std::vector<std::string> public_key_listing_arguments(std::string_view gpg_program)
{
    return {std::string(gpg_program), "--batch", "--no-tty", "--with-colons", "--fixed-list-mode",
            "--with-fingerprint", "--with-fingerprint", "--list-keys"};
}

std::vector<PublicKey> parse_public_keys(std::string_view colon_listing)
{
    std::vector<PublicKey> keys;
    // Which record an "fpr" belongs to: the primary key, a subkey, or something else (skipped).
    enum class Last { None, Primary, Subkey } last = Last::None;
    bool user_id_alive = false;
    while (!colon_listing.empty()) {
        const std::size_t end = std::min(colon_listing.find('\n'), colon_listing.size());
        std::string_view record = colon_listing.substr(0, end);
        colon_listing.remove_prefix(std::min(end + 1, colon_listing.size()));
        if (record.ends_with('\r'))
            record.remove_suffix(1);
        const std::string_view type = field(record, 0);
        if (type == "pub") {
            const std::string_view key_id = field(record, 4);
            if (!is_hex(key_id)) {
                last = Last::None;
                continue;
            }
            PublicKey key;
            key.key_id = upper(key_id);
            key.state = state_of(field(record, 1), field(record, 11));
            keys.push_back(std::move(key));
            last = Last::Primary;
            user_id_alive = false;
        } else if (keys.empty()) {
            continue;
        } else if (type == "sub") {
            const std::string_view key_id = field(record, 4);
            last = is_hex(key_id) ? Last::Subkey : Last::None;
            if (last == Last::Subkey)
                keys.back().subkey_ids.push_back(upper(key_id));
        } else if (type == "fpr") {
            const std::string_view fingerprint = field(record, 9);
            if (!is_hex(fingerprint))
                continue;
            if (last == Last::Primary && keys.back().fingerprint.empty())
                keys.back().fingerprint = upper(fingerprint);
            else if (last == Last::Subkey && keys.back().fingerprints.size() < keys.back().subkey_ids.size())
                keys.back().fingerprints.push_back(upper(fingerprint));
            last = Last::None;
        } else if (type == "uid") {
            const bool alive = !dead_validity(field(record, 1));
            if (keys.back().user_id.empty() || (alive && !user_id_alive)) {
                keys.back().user_id = unescaped(field(record, 9));
                user_id_alive = alive;
            }
            last = Last::None;
        } else if (type == "sec" || type == "ssb" || type == "crt" || type == "crs") {
            last = Last::None;
        }
    }
    // A key without its fingerprint cannot be named to gpg safely.
    std::erase_if(keys, [](const PublicKey& key) { return key.fingerprint.empty(); });
    return keys;
}

const PublicKey* find_public_key(const std::vector<PublicKey>& keys, std::string_view recipient)
{
    std::string wanted = upper(recipient);
    if (wanted.starts_with("0X"))
        wanted.erase(0, 2);
    if (wanted.size() < 8 || !is_hex(wanted))
        return nullptr;
    for (const PublicKey& key : keys) {
        if (wanted.size() == key.fingerprint.size() ? wanted == key.fingerprint : names(wanted, key.key_id))
            return &key;
        for (std::size_t i = 0; i < key.subkey_ids.size(); ++i) {
            if (names(wanted, key.subkey_ids[i]))
                return &key;
            if (i < key.fingerprints.size() && wanted == key.fingerprints[i])
                return &key;
        }
    }
    return nullptr;
}

KeyringListing list_public_keys(std::string_view gpg_program, std::chrono::milliseconds timeout)
{
    KeyringListing listing;
    const ChildOutput run = run_for_output(public_key_listing_arguments(gpg_program), timeout, LISTING_LIMIT);
    // gpg exits with 2 when one key of many did not list; the rest is still good to offer.
    if (!run.succeeded && !(run.exit_status == 2 && !run.output.empty())) {
        listing.error = run.failure;
        return listing;
    }
    listing.keys = parse_public_keys(run.output);
    return listing;
}

} // namespace sealkeep
