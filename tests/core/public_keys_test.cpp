// The keyring's public keys as gpg lists them: a table of colon listings and what is read from them,
// recipient ids matched to their keys, and the listing of a real keyring, run with a timeout.
#include "core/child_process.h"
#include "core/public_keys.h"

#include "core/gpg_home.h"

#include <gtest/gtest.h>

namespace sealkeep {
namespace {

using namespace std::chrono_literals;

const char* const ALICE = "pub:u:255:22:1111AAAA2222BBBB:1700000000:::u:::scESC::::::23::0:\n"
                          "fpr:::::::::0000111122223333444455556666AAAA1111AAAA2222BBBB:\n"
                          "grp:::::::::ABCDEF:\n"
                          "uid:u::::1700000000::HASH::Alice \\x3a Admin <alice@example.org>::::::::::0:\n"
                          "sub:u:255:18:3333CCCC4444DDDD:1700000000::::::e::::::23:\n"
                          "fpr:::::::::9999888877776666555544443333CCCC4444DDDD:\n";

struct Expected {
    std::string fingerprint;
    std::string user_id;
    KeyState state;
    std::size_t subkeys;
};

TEST(PublicKeys, ColonListingsAreReadIntoKeys)
{
    const struct {
        const char* name;
        std::string listing;
        std::vector<Expected> keys;
    } cases[] = {
        {"a key with an encryption subkey; the user id's escaped colon is undone",
         std::string("tru::1:1700000000:0:3:1:5\n") + ALICE,
         {{"0000111122223333444455556666AAAA1111AAAA2222BBBB", "Alice : Admin <alice@example.org>", KeyState::Usable, 1}}},
        {"CRLF line endings and lower-case hex", "pub:-:3072:1:abcdef0123456789:1:::-:::scESC:\r\nfpr:::::::::aaaabbbbccccddddeeeeffff00001111abcdef0123456789:\r\nuid:-::::1::H::Bob <bob@example.org>:\r\n",
         {{"AAAABBBBCCCCDDDDEEEEFFFF00001111ABCDEF0123456789", "Bob <bob@example.org>", KeyState::Usable, 0}}},
        {"revoked", "pub:r:255:22:1111AAAA2222BBBB:1::::::sc:\nfpr:::::::::F1:\nuid:r::::::H::R <r@x>:\n",
         {{"F1", "R <r@x>", KeyState::Revoked, 0}}},
        {"expired", "pub:e:255:22:1111AAAA2222BBBB:1:2:::::sc:\nfpr:::::::::F2:\nuid:e::::::H::E <e@x>:\n",
         {{"F2", "E <e@x>", KeyState::Expired, 0}}},
        {"disabled (capital D among the capabilities)", "pub:f:255:22:1111AAAA2222BBBB:1::::::scESCD:\nfpr:::::::::F3:\n",
         {{"F3", "", KeyState::Disabled, 0}}},
        // The subkey can encrypt but has expired: the key as a whole has no capital E.
        {"an encryption subkey that expired", "pub:u:255:22:1111AAAA2222BBBB:1::::::scSC:\nfpr:::::::::F4:\n"
                                              "sub:e:255:18:3333CCCC4444DDDD:1:2:::::e:\nfpr:::::::::F5:\n",
         {{"F4", "", KeyState::CannotEncrypt, 1}}},
        {"the first user id is revoked: the next one names the key",
         "pub:u:255:22:1111AAAA2222BBBB:1::::::scESC:\nfpr:::::::::F6:\nuid:r::::::H::Old <old@x>:\n"
         "uid:u::::::H::New <new@x>:\nuid:u::::::H::Other <other@x>:\n",
         {{"F6", "New <new@x>", KeyState::Usable, 0}}},
        {"a record before any key, a key id that is no hex, a key without fingerprint: skipped",
         "uid:u::::::H::Stray:\nfpr:::::::::F7:\npub:u:255:22:NOTHEX:1::::::scESC:\nfpr:::::::::F8:\n"
         "pub:u:255:22:1111AAAA2222BBBB:1::::::scESC:\nuid:u::::::H::No fingerprint:\n",
         {}},
        {"two keys", std::string(ALICE) + "pub:f:255:22:5555EEEE6666FFFF:1::::::scESC:\nfpr:::::::::F9:\n",
         {{"0000111122223333444455556666AAAA1111AAAA2222BBBB", "Alice : Admin <alice@example.org>", KeyState::Usable, 1},
          {"F9", "", KeyState::Usable, 0}}},
        {"empty", "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<PublicKey> keys = parse_public_keys(c.listing);
        ASSERT_EQ(keys.size(), c.keys.size());
        for (std::size_t i = 0; i < keys.size(); ++i) {
            EXPECT_EQ(keys[i].fingerprint, c.keys[i].fingerprint);
            EXPECT_EQ(keys[i].user_id, c.keys[i].user_id);
            EXPECT_EQ(keys[i].state, c.keys[i].state);
            EXPECT_EQ(keys[i].subkey_ids.size(), c.keys[i].subkeys);
        }
    }
}

TEST(PublicKeys, ARecipientIdFindsItsKey)
{
    const std::vector<PublicKey> keys = parse_public_keys(ALICE);
    ASSERT_EQ(keys.size(), 1u);
    const struct {
        const char* recipient;
        bool found;
    } cases[] = {
        {"3333CCCC4444DDDD", true}, // the encryption subkey's id, as the file's ENC_TO gives it
        {"3333cccc4444dddd", true},
        {"1111AAAA2222BBBB", true},
        {"2222BBBB", true},
        {"0x2222BBBB", true},
        {"0000111122223333444455556666AAAA1111AAAA2222BBBB", true},
        {"9999888877776666555544443333CCCC4444DDDD", true},
        {"1111AAAA", false}, // the front of a key id is not a short id
        {"BBBB", false},     // too short to name anything
        {"5555EEEE6666FFFF", false},
        {"alice@example.org", false},
        {"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.recipient);
        EXPECT_EQ(find_public_key(keys, c.recipient) != nullptr, c.found);
    }
}

TEST(PublicKeys, ARealKeyringIsListed)
{
    test_support::GpgHome home;
    home.gpg("--pinentry-mode loopback --passphrase '' --quick-gen-key 'Alice <alice@example.org>' "
             "future-default default never");
    home.gpg("--pinentry-mode loopback --passphrase '' --quick-gen-key 'Signer <signer@example.org>' "
             "ed25519 sign never");
    const KeyringListing listing = list_public_keys("gpg", 10s);
    ASSERT_EQ(listing.error, "");
    ASSERT_EQ(listing.keys.size(), 2u);
    EXPECT_EQ(listing.keys[0].user_id, "Alice <alice@example.org>");
    EXPECT_EQ(listing.keys[0].state, KeyState::Usable);
    EXPECT_EQ(listing.keys[0].fingerprint.size(), 40u);
    ASSERT_EQ(listing.keys[0].subkey_ids.size(), 1u);
    EXPECT_EQ(listing.keys[0].fingerprints.size(), 1u);
    EXPECT_EQ(find_public_key(listing.keys, listing.keys[0].subkey_ids[0]), &listing.keys[0]);
    EXPECT_EQ(listing.keys[1].user_id, "Signer <signer@example.org>");
    EXPECT_EQ(listing.keys[1].state, KeyState::CannotEncrypt) << "a signing key is no recipient";

    const KeyringListing missing = list_public_keys("/nonexistent/gpg", 10s);
    EXPECT_TRUE(missing.keys.empty());
    EXPECT_NE(missing.error.find("No such file"), std::string::npos) << missing.error;
}

TEST(PublicKeys, AShortRunIsEndedAtItsTimeoutOrItsOutputLimit)
{
    const auto start = std::chrono::steady_clock::now();
    const ChildOutput slow = run_for_output({"sh", "-c", "echo partial; exec sleep 30"}, 300ms, 1024);
    EXPECT_FALSE(slow.succeeded);
    EXPECT_EQ(slow.failure, "sh did not answer in time");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);

    const ChildOutput loud = run_for_output({"yes"}, 10s, 4096);
    EXPECT_FALSE(loud.succeeded);
    EXPECT_EQ(loud.failure, "yes wrote more than expected");
    EXPECT_EQ(loud.output.size(), 4096u);

    const ChildOutput failing = run_for_output({"sh", "-c", "echo out; echo err >&2; exit 3"}, 10s, 1024);
    EXPECT_FALSE(failing.succeeded);
    EXPECT_EQ(failing.exit_status, 3);
    EXPECT_EQ(failing.output, "out\n");
    EXPECT_EQ(failing.errors, "err\n");

    const ChildOutput fine = run_for_output({"printf", "a\\nb"}, 10s, 1024);
    EXPECT_TRUE(fine.succeeded);
    EXPECT_EQ(fine.output, "a\nb");
}

} // namespace
} // namespace sealkeep
