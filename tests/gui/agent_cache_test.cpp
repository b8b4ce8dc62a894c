// The agent forgets the passphrase of the key that opened the password file, and of that key alone:
// checked against a real gpg-agent, which is asked directly which keys it holds a passphrase for, after
// a forgetting by fingerprint and after a verified load through the prompt.
#include "gui/gui_support.h"
#include "gui/robustness_support.h"

#include "ui/file/agent_cache.h"
#include "ui/tree/entry_store.h"
#include "ui/window/document_events.h"
#include "ui/window/main_window.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace sealkeep {
namespace {

const std::string TWO_ACCOUNTS = "customer=Acme;group=;server=alpha;service=ssh;serviceplus=;user=root;password=pa\n"
                                 "customer=Acme;group=;server=beta;service=ftp;serviceplus=;user=bob;password=pb\n";

// The keygrips whose passphrase the agent holds now. Each key is a status line
// "S KEYINFO <keygrip> <type> <serialno> <idstr> <cached> <protection> …" whose cached field is "1".
std::set<std::string> cached_keygrips()
{
    std::set<std::string> grips;
    const auto listing = test::run_beside_loop({"gpg-connect-agent", "KEYINFO --list", "/bye"});
    if (!listing) {
        ADD_FAILURE() << "gpg-connect-agent failed";
        return grips;
    }
    std::istringstream lines(*listing);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        const std::vector<std::string> w{std::istream_iterator<std::string>(fields), {}};
        if (w.size() >= 7 && w[0] == "S" && w[1] == "KEYINFO" && w[6] == "1")
            grips.insert(w[2]);
    }
    return grips;
}

class AgentCache : public testing::Test {
protected:
    void SetUp() override
    {
        saved_settings_ = main().settings.values;
        // The agent calibrates the protection of secret keys to the machine; on a loaded machine that
        // makes making and using a key take seconds.
        std::ofstream(home_.path() + "/gpg-agent.conf") << "s2k-count 65536\n";
        for (const char* who : {"owner", "other"})
            gpg("--pinentry-mode loopback --passphrase '" + std::string(who) + "-pw' --quick-gen-key '" + who + " <" +
                who + "@example.org>' future-default default never");
        owner_file_ = encrypt_to("owner", TWO_ACCOUNTS);
        other_file_ = encrypt_to("other", "not the password file\n");
        // Nothing of the setup stays cached.
        ASSERT_EQ(std::system("gpgconf --kill gpg-agent >/dev/null 2>&1"), 0);
        ASSERT_TRUE(cached_keygrips().empty());
    }

    void TearDown() override
    {
        clear_document(main());
        main().file.decryption_key.clear();
        main().settings.values = saved_settings_;
        test::drain_events();
    }

    static MainWindow& main() { return test::main_window(); }

    static void gpg(const std::string& arguments)
    {
        const std::string command = "gpg --batch --yes --quiet " + arguments + " >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }

    std::string encrypt_to(const std::string& who, const std::string& plaintext) const
    {
        const std::string plain = home_.path() + "/plain";
        const std::string encrypted = home_.path() + "/" + who + ".gpg";
        std::ofstream(plain) << plaintext;
        gpg("--trust-model always -r " + who + "@example.org -o '" + encrypted + "' -e '" + plain + "'");
        std::remove(plain.c_str());
        return encrypted;
    }

    // Decrypts the file as a load does, with the passphrase through the loopback pinentry, which leaves
    // the key's passphrase in the agent's cache. The fingerprint of the (sub)key that decrypted it.
    static std::string decrypt(const std::string& path, const std::string& passphrase)
    {
        const auto status = test::run_beside_loop({"gpg", "--batch", "--quiet", "--pinentry-mode", "loopback",
                                                   "--passphrase", passphrase.c_str(), "--status-fd", "1", "--output",
                                                   "/dev/null", "--decrypt", path.c_str()});
        if (!status) {
            ADD_FAILURE() << "gpg could not decrypt " << path;
            return {};
        }
        // [GNUPG:] DECRYPTION_KEY <fingerprint of the (sub)key> <fingerprint of its primary key> <trust>
        const std::string word = "[GNUPG:] DECRYPTION_KEY ";
        const std::size_t at = status->find(word);
        if (at == std::string::npos)
            return {};
        const std::size_t start = at + word.size();
        return status->substr(start, status->find(' ', start) - start);
    }

    test::GnupgHome home_;
    std::string owner_file_;
    std::string other_file_;
    SettingsValues saved_settings_;
};

TEST_F(AgentCache, ForgettingAKeyClearsItsPassphraseAloneAndThenSaysDone)
{
    decrypt(other_file_, "other-pw");
    const std::set<std::string> other = cached_keygrips();
    ASSERT_EQ(other.size(), 1u);
    const std::string owner_key = decrypt(owner_file_, "owner-pw");
    ASSERT_FALSE(owner_key.empty());
    const std::set<std::string> both = cached_keygrips();
    ASSERT_EQ(both.size(), 2u);

    const struct {
        const char* name;
        std::string fingerprint;
        std::set<std::string> left_cached;
    } cases[] = {
        // Nothing to forget: the caller still hears that it is over.
        {"a fingerprint no key has", std::string(40, 'A'), both},
        {"the key that decrypted the file", owner_key, other},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bool done = false;
        forget_key_passphrase(c.fingerprint, [&done] { done = true; });
        ASSERT_TRUE(test::wait_until([&done] { return done; }, 20)) << "the forgetting never ended";
        EXPECT_EQ(cached_keygrips(), c.left_cached);
    }
}

// After a verified load the file's key must be asked for again: otherwise the next load, an unlock among
// them, would open the file whatever was typed. The key's passphrase is cached before the load as well,
// so that only a forgetting after the load can leave it uncached; the user's other key stays cached.
TEST_F(AgentCache, AVerifiedLoadLeavesTheFilesKeyUncachedAndOtherKeysCached)
{
    decrypt(other_file_, "other-pw");
    const std::set<std::string> other = cached_keygrips();
    ASSERT_EQ(other.size(), 1u);
    decrypt(owner_file_, "owner-pw");
    ASSERT_EQ(cached_keygrips().size(), 2u);

    main().settings.values.password_file_path = owner_file_;
    ASSERT_EQ(test::load_through_prompt("owner-pw").loaded, 1);
    EXPECT_EQ(test::records().size(), 2u);
    // The agent is told beside the main loop, after the rows are shown.
    EXPECT_TRUE(test::wait_until([&] { return cached_keygrips() == other; }, 10))
        << "the agent does not hold the other key's passphrase alone";
    EXPECT_EQ(cached_keygrips(), other);
}

} // namespace
} // namespace sealkeep
