// The agent's cache against a load: whatever another program left cached of the file's key, a load
// checks the passphrase it was given. Real gpg and a real agent in a throwaway home.
#include "core/account_load.h"
#include "core/gpg_agent.h"

#include "core/gpg_home.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace sealkeep {
namespace {

using test_support::GpgHome;

const std::string KEY_PASS = "Agent Test 5";
const std::string PLAINTEXT = "Acme;web;srv1;ssh;22;alice;pw-a\n";

LoadResult load(const std::string& path, const std::string& passphrase)
{
    return test_support::load_file(path, passphrase);
}

// What a user's terminal does: gpg decrypts the file, and the agent keeps the key's passphrase.
void cache_key_as_a_terminal_would(const GpgHome& home)
{
    home.gpg("--pinentry-mode loopback --passphrase '" + KEY_PASS + "' --decrypt '" + home.path("data.gpg") + "'");
}

TEST(GpgAgent, AKeyCachedByAnotherProgramDoesNotOpenTheFile)
{
    GpgHome home;
    home.encrypt_to_new_key(PLAINTEXT, KEY_PASS);
    cache_key_as_a_terminal_would(home);
    // The premise: with the key cached, gpg itself takes any passphrase.
    home.gpg("--pinentry-mode loopback --passphrase 'x' --decrypt '" + home.path("data.gpg") + "'");

    const struct {
        const char* typed;
        bool opens;
    } cases[] = {
        {"x", false},
        {"", false},
        {"Agent Test 4", false},
        {"Agent Test 5", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        cache_key_as_a_terminal_would(home);
        const LoadResult result = load(home.path("data.gpg"), c.typed);
        EXPECT_EQ(result.verdict.outcome == DecryptOutcome::Verified, c.opens) << result.verdict.reason;
        EXPECT_EQ(result.document != nullptr, c.opens);
    }
}

TEST(GpgAgent, StatusAndListingsAreReadForTheFilesKeysOnly)
{
    // ENC_TO lines name the keys; anything else, a malformed id or an anonymous recipient names none.
    EXPECT_EQ(encrypted_to_key_ids("[GNUPG:] ENC_TO C469A6EE8E70D549 1 0\n"
                                   "[GNUPG:] KEY_CONSIDERED F067F7E0F23228F80AE00507AD2C867D76D84740 0\n"
                                   "[GNUPG:] ENC_TO 0000000000000000 1 0\n"
                                   "[GNUPG:] ENC_TO C469A6EE8E70D549 1 0\n"
                                   "[GNUPG:] ENC_TO C469A6EE8E70D5 1 0\n"
                                   "[GNUPG:] ENC_TO ;rm -rf /;;;;;; 1 0\n"
                                   "gpg: [GNUPG:] ENC_TO 1111111111111111 1 0\n"
                                   "[GNUPG:] ENC_TO 2222222222222222 18 0"),
              (std::vector<std::string>{"C469A6EE8E70D549", "2222222222222222"}));

    // The keygrip goes with the fingerprint record right before it; the primary key's grip is not the
    // subkey's.
    const std::string listing = "sec:u:3072:1:AD2C867D76D84740:1796978567:::u:::scESC:::+:::23::0:\n"
                                "fpr:::::::::F067F7E0F23228F80AE00507AD2C867D76D84740:\n"
                                "grp:::::::::D77008C26EA4F13728768F2AB898413FAC57CA04:\n"
                                "uid:u::::1796978567::673F6AE0D95EA3D4D45CC876A66B8734DA303138::T <t@e>::::::::::0:\n"
                                "ssb:u:3072:1:C469A6EE8E70D549:1796978567::::::e:::+:::23:\n"
                                "fpr:::::::::148DFAF85D0D3718A0D8495DC469A6EE8E70D549:\n"
                                "grp:::::::::99FE1E3772EA584BE0E6E5BE4202531C7C039C12:\n";
    EXPECT_EQ(keygrips_of_key_ids(listing, {"c469a6ee8e70d549"}),
              (std::vector<std::string>{"99FE1E3772EA584BE0E6E5BE4202531C7C039C12"}));
    EXPECT_EQ(keygrips_of_key_ids(listing, {"AD2C867D76D84740", "C469A6EE8E70D549"}),
              (std::vector<std::string>{"D77008C26EA4F13728768F2AB898413FAC57CA04",
                                        "99FE1E3772EA584BE0E6E5BE4202531C7C039C12"}));
    EXPECT_TRUE(keygrips_of_key_ids(listing, {"0000000000000001"}).empty());
}

} // namespace
} // namespace sealkeep
