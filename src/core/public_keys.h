// The public keys of the user's keyring as candidates to encrypt to: gpg's colon listing read into
// keys with their ids, first user id and whether they can encrypt now, and a recipient id (as the
// file's ENC_TO gives it, or as a user chose it) matched to its key.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace sealkeep {

// Why a key cannot be encrypted to; Usable when it can.
enum class KeyState { Usable, Revoked, Expired, Disabled, Invalid, CannotEncrypt };

struct PublicKey {
    std::string fingerprint;               // of the primary key
    std::string key_id;                    // the primary key's long key id
    std::string user_id;                   // the first user id that is not revoked or expired, else the first
    std::vector<std::string> subkey_ids;   // long key ids of the subkeys
    std::vector<std::string> fingerprints; // of the subkeys
    KeyState state = KeyState::CannotEncrypt;
};

// gpg lists every public key of the keyring, in colon format with fingerprints (no shell is involved).
std::vector<std::string> public_key_listing_arguments(std::string_view gpg_program);

// The keys of a colon listing, in its order. Records that do not parse are skipped.
std::vector<PublicKey> parse_public_keys(std::string_view colon_listing);

// The key that a recipient id names: a key id (long or short) or fingerprint of the key or any of its
// subkeys, in either case. Null when none does.
const PublicKey* find_public_key(const std::vector<PublicKey>& keys, std::string_view recipient);

struct KeyringListing {
    std::vector<PublicKey> keys;
    std::string error; // empty when gpg listed the keyring
};

// Runs gpg to list the keyring, on the calling thread, for at most `timeout`.
KeyringListing list_public_keys(std::string_view gpg_program, std::chrono::milliseconds timeout);

} // namespace sealkeep
