// Test fixtures for runs of the real gpg: a fresh GnuPG home per case (the agent caches passphrases,
// so a shared one would make cases depend on their order) under a short path (the agent's socket
// lives inside it), whose agent is stopped afterwards; and small helpers around processes.
#pragma once

#include "core/account_load.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include <dirent.h>
#include <unistd.h>

namespace sealkeep::test_support {

inline const char* const KEY_USER = "Sealkeep Test <test@example.org>";

// Sets an environment variable for the lifetime of the object, then puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name)
    {
        if (const char* old = getenv(name))
            old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ~ScopedEnv()
    {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

inline std::string make_temp_dir(const char* prefix = "/tmp/g.")
{
    std::string name = std::string(prefix) + "XXXXXX";
    if (!mkdtemp(name.data()))
        ADD_FAILURE() << "mkdtemp failed";
    return name;
}

class GpgHome {
public:
    GpgHome() : dir_(make_temp_dir()), env_("GNUPGHOME", dir_)
    {
        // The agent calibrates the protection of secret keys to the machine; on a loaded machine
        // that makes making and using a key take seconds.
        std::ofstream(path("gpg-agent.conf")) << "s2k-count 65536\n";
    }
    GpgHome(const GpgHome&) = delete;
    GpgHome& operator=(const GpgHome&) = delete;
    ~GpgHome()
    {
        stop_agent();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    const std::string& dir() const { return dir_; }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }

    void gpg(const std::string& arguments) const
    {
        const std::string command = "gpg --batch --yes --quiet " + arguments + " >/dev/null 2>&1";
        ASSERT_EQ(system(command.c_str()), 0) << command;
    }

    void write_file(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(path(name), std::ios::binary) << bytes;
    }

    // Encrypts with a passphrase into `name`; `options` go to gpg as they are. The agent is stopped
    // afterwards so that nothing of the setup stays cached.
    void encrypt_symmetric(const std::string& plaintext, const std::string& pass, const std::string& name = "data.gpg",
                           const std::string& options = "")
    {
        write_file("plain", plaintext);
        gpg("--pinentry-mode loopback --passphrase '" + pass + "' --no-symkey-cache --s2k-count 65536 " + options +
            " -c -o '" + path(name) + "' '" + path("plain") + "'");
        std::filesystem::remove(path("plain"));
        stop_agent();
    }

    // A key whose secret part is protected by `key_pass`.
    void make_key(const std::string& key_pass)
    {
        gpg("--pinentry-mode loopback --passphrase '" + key_pass + "' --quick-gen-key '" + KEY_USER +
            "' future-default default never");
    }

    // A key whose secret part is protected by `key_pass`, and the plaintext encrypted to it.
    void encrypt_to_new_key(const std::string& plaintext, const std::string& key_pass)
    {
        make_key(key_pass);
        write_file("plain", plaintext);
        gpg("--trust-model always -r test@example.org -o '" + path("data.gpg") + "' -e '" + path("plain") + "'");
        std::filesystem::remove(path("plain"));
        stop_agent();
    }

    // The fingerprint of the test key.
    std::string fingerprint() const
    {
        const std::string command = "gpg --batch --with-colons --list-keys test@example.org 2>/dev/null";
        FILE* out = popen(command.c_str(), "r");
        std::string text;
        char buffer[512];
        while (out && fgets(buffer, sizeof buffer, out))
            text += buffer;
        if (out)
            pclose(out);
        // fpr:::::::::<fingerprint>:
        const auto at = text.find("\nfpr:");
        if (at == std::string::npos)
            return {};
        std::size_t start = at + 1;
        for (int field = 0; field < 9; ++field)
            start = text.find(':', start) + 1;
        return text.substr(start, text.find(':', start) - start);
    }

    void stop_agent() const { (void)system("gpgconf --kill gpg-agent >/dev/null 2>&1"); }

private:
    std::string dir_;
    ScopedEnv env_;
};

// A whole load of the file with this passphrase, as the window's load job runs it; unmatched lines are
// reported nowhere.
inline LoadResult load_file(const std::string& path, const std::string& passphrase)
{
    GpgDecryption decryption;
    std::atomic<std::size_t> read{0};
    LoadRequest request;
    request.decrypt.path = path;
    request.decrypt.passphrase = passphrase;
    FILE* sink = fopen("/dev/null", "w");
    LoadResult result = load_accounts(decryption, std::move(request), read, sink);
    fclose(sink);
    return result;
}

inline int open_descriptors()
{
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    while (dirent* entry = readdir(dir))
        count += entry->d_name[0] != '.';
    closedir(dir);
    return count;
}

} // namespace sealkeep::test_support
