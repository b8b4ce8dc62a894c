// The load with a real gpg: each case gets a fresh GnuPG home (the agent caches passphrases, so a
// shared one would make the cases depend on their order) under a short path (the agent's socket
// lives inside it), and its agent is stopped afterwards.
#include "core/record_reader.h"

#include "core/settings_values.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace sealkeep {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

const std::string RECORD = "customer=Acme;group=web;server=h1;service=ssh;serviceplus=;user=root;password=s3cret\n";
const char* const KEY_USER = "Sealkeep Test <test@example.org>";

// Sets an environment variable for the lifetime of the object, then puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name)
    {
        if (const char* old = getenv(name))
            old_ = old;
        setenv(name, value.c_str(), 1);
    }
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

class GpgHome {
public:
    GpgHome() : dir_(make_dir()), env_("GNUPGHOME", dir_)
    {
        // The agent calibrates the protection of secret keys to the machine; on a loaded machine
        // that makes making and using a key take seconds.
        std::ofstream(path("gpg-agent.conf")) << "s2k-count 65536\n";
    }
    ~GpgHome()
    {
        stop_agent();
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    const std::string& dir() const { return dir_; }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }

    void gpg(const std::string& arguments) const
    {
        const std::string command = "gpg --batch --yes --quiet " + arguments + " >/dev/null 2>&1";
        ASSERT_EQ(system(command.c_str()), 0) << command;
    }

    void write_plaintext(const std::string& plaintext) const
    {
        std::ofstream(path("plain"), std::ios::binary) << plaintext;
    }

    // Encrypts with a passphrase into `name`; the agent is stopped afterwards so that nothing of
    // the setup stays cached.
    void encrypt_symmetric(const std::string& plaintext, const std::string& pass, const std::string& name = "data.gpg")
    {
        write_plaintext(plaintext);
        gpg("--pinentry-mode loopback --passphrase '" + pass + "' --no-symkey-cache --s2k-count 65536 -c -o '" +
            path(name) + "' '" + path("plain") + "'");
        fs::remove(path("plain"));
        stop_agent();
    }

    // A key whose secret part is protected by `key_pass`, and the plaintext encrypted to it.
    void encrypt_to_new_key(const std::string& plaintext, const std::string& key_pass)
    {
        gpg("--pinentry-mode loopback --passphrase '" + key_pass + "' --quick-gen-key '" + KEY_USER +
            "' future-default default never");
        write_plaintext(plaintext);
        gpg("--trust-model always -r test@example.org -o '" + path("data.gpg") + "' -e '" + path("plain") + "'");
        fs::remove(path("plain"));
        stop_agent();
    }

    void stop_agent() const { (void)system("gpgconf --kill gpg-agent >/dev/null 2>&1"); }

private:
    static std::string make_dir()
    {
        char name[] = "/tmp/g.XXXXXX";
        if (!mkdtemp(name))
            ADD_FAILURE() << "mkdtemp failed";
        return name;
    }

    std::string dir_;
    ScopedEnv env_;
};

// The warnings a load writes, captured byte for byte.
class ErrorCapture {
public:
    ErrorCapture() : stream_(open_memstream(&buffer_, &size_)) {}
    ~ErrorCapture()
    {
        fclose(stream_);
        free(buffer_);
    }
    FILE* stream() const { return stream_; }
    std::string text()
    {
        fflush(stream_);
        return std::string(buffer_, size_);
    }

private:
    char* buffer_ = nullptr;
    std::size_t size_ = 0;
    FILE* stream_;
};

struct Load {
    int result;
    std::vector<RecordLine> records;
    std::string errors;
};

Load load(const std::string& pass, const std::string& path)
{
    Load out;
    ErrorCapture errors;
    out.result = read_record_lines(
        pass, path, [&out](const RecordLine& line) { out.records.push_back(line); }, errors.stream());
    out.errors = errors.text();
    return out;
}

std::vector<std::string> passwords(const Load& loaded)
{
    std::vector<std::string> result;
    for (const auto& record : loaded.records)
        result.push_back(record.password);
    return result;
}

int open_descriptors()
{
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    while (dirent* entry = readdir(dir))
        count += entry->d_name[0] != '.';
    closedir(dir);
    return count;
}

TEST(RecordReader, PlaintextLinesBecomeRecordsOrWarnings)
{
    const struct {
        const char* name;
        std::string plaintext;
        int result;
        std::vector<std::string> passwords;
        std::string errors;
    } cases[] = {
        {"records, warnings and gpg's own lines",
         RECORD +                                                    //
             "not a record\n"                                        //
             "GPG: Warning: dropped without a word\n"                //
             "gpg: WA\n"                                             //
             "customer=B\0hidden;;;;;;password=x\n"s +               //
             "customer=Acme;group=web;server=h2;service=ftp;serviceplus=21;user=bob;password=a;b; c\n" +
             "customer=Z;group=;server=s;service=http;serviceplus=;user=u;password=caf\xe9",  // no final line feed
         1,
         {"s3cret", "a;b; c", "caf\xe9"},
         // The line is printed as read, its line feed included; a NUL ends what can be printed.
         "WARNING: not matched: not a record\n\n"
         "WARNING: not matched: gpg: WA\n\n"
         "WARNING: not matched: customer=B\n"},
        {"CRLF file",
         "customer=c;group=;server=s;service=ssh;serviceplus=;user=u;password=one\r\n"
         "junk\r\n"
         "customer=c;group=;server=s;service=ssh;serviceplus=;user=v;password=two;three\r\n",
         1,
         {"one", "two;three"},
         "WARNING: not matched: junk\r\n\n"},
        // Longer than the read buffer and than a pipe's buffer: still one line, one password.
        {"long line", "customer=c;group=;server=s;service=ssh;serviceplus=;user=u;password=" + std::string(100000, 'p') +
                          ";" + std::string(100000, 'q') + "\n",
         1,
         {std::string(100000, 'p') + ";" + std::string(100000, 'q')},
         ""},
        {"only lines that are not records", "first\nsecond\n", 0, {}, "WARNING: not matched: first\n\n"
                                                                      "WARNING: not matched: second\n\n"},
        {"empty file", "", 0, {}, ""},
    };
    for (const auto& c : cases) {
        GpgHome home;
        home.encrypt_symmetric(c.plaintext, "pw");
        const Load loaded = load("pw", home.path("data.gpg"));
        EXPECT_EQ(loaded.result, c.result) << c.name;
        EXPECT_EQ(passwords(loaded), c.passwords) << c.name;
        EXPECT_EQ(loaded.errors, c.errors) << c.name;
    }
}

TEST(RecordReader, HandsAllSevenValuesOver)
{
    GpgHome home;
    home.encrypt_symmetric("customer=Acme; group=web ;server=h1;service=ssh;serviceplus=22;user=root;password=pw\n", "pw");
    const Load loaded = load("pw", home.path("data.gpg"));
    ASSERT_EQ(loaded.records.size(), 1u);
    const RecordLine& r = loaded.records[0];
    EXPECT_EQ((std::vector<std::string>{r.customer, r.group, r.server, r.service, r.serviceplus, r.user, r.password}),
              (std::vector<std::string>{"Acme", "web", "h1", "ssh", "22", "root", "pw"}));
}

TEST(RecordReader, OnlyTheRightPassphraseDecrypts)
{
    const struct {
        const char* name;
        bool public_key;
        std::string passphrase;
        int result;
    } cases[] = {
        {"symmetric, right passphrase", false, "correct horse", 1},
        {"symmetric, wrong passphrase", false, "wrong", 0},
        {"symmetric, empty passphrase", false, "", 0},
        // The key's passphrase must come from the pipe: no pinentry can be asked here.
        {"public key, right passphrase", true, "correct horse", 1},
        {"public key, wrong passphrase", true, "wrong", 0},
        {"public key, empty passphrase", true, "", 0},
    };
    for (const auto& c : cases) {
        GpgHome home;
        if (c.public_key)
            home.encrypt_to_new_key(RECORD, "correct horse");
        else
            home.encrypt_symmetric(RECORD, "correct horse");
        const Load loaded = load(c.passphrase, home.path("data.gpg"));
        EXPECT_EQ(loaded.result, c.result) << c.name;
        EXPECT_EQ(loaded.records.size(), static_cast<std::size_t>(c.result)) << c.name;
        // gpg's complaints are discarded; the load itself reports nothing.
        EXPECT_EQ(loaded.errors, "") << c.name;
    }
}

TEST(RecordReader, AnyFileNameReachesGpgWholeAndRunsNothing)
{
    const struct {
        const char* name;
        std::string file;
        bool relative;  // handed over as it is rather than as an absolute path
    } cases[] = {
        {"blanks", "my  accounts file.gpg", false},
        {"double quote", "say \"hi\".gpg", false},
        {"dollar", "$HOME$(touch pwned).gpg", false},
        {"backquote", "`touch pwned`.gpg", false},
        {"backslash", "back\\slash\\.gpg", false},
        {"leading dash", "-n", true},
        {"leading dashes", "--version", true},
        {"longer than a thousand bytes", std::string(250, 'a') + "/" + std::string(250, 'b') + "/" +
                                             std::string(250, 'c') + "/" + std::string(250, 'd') + "/x y.gpg",
         false},
    };
    const fs::path original_dir = fs::current_path();
    for (const auto& c : cases) {
        GpgHome home;
        home.encrypt_symmetric(RECORD, "pw");
        const fs::path target = home.path(c.file);
        fs::create_directories(target.parent_path());
        fs::rename(home.path("data.gpg"), target);

        // From inside the home, so that anything the name might run stays in there.
        fs::current_path(home.dir());
        const Load loaded = load("pw", c.relative ? c.file : target.string());
        fs::current_path(original_dir);

        EXPECT_EQ(loaded.result, 1) << c.name;
        EXPECT_EQ(passwords(loaded), std::vector<std::string>{"s3cret"}) << c.name;
        EXPECT_FALSE(fs::exists(home.path("pwned"))) << c.name;
    }
}

TEST(RecordReader, FailuresYieldNothingAndSayNothing)
{
    GpgHome home;
    home.encrypt_symmetric(RECORD, "pw");

    EXPECT_EQ(load("pw", home.path("missing.gpg")).result, 0);
    EXPECT_EQ(load("pw", home.path("missing.gpg")).errors, "");

    // The shell runs, but finds no gpg.
    fs::create_directory(home.path("empty-bin"));
    {
        ScopedEnv path("PATH", home.path("empty-bin"));
        const Load loaded = load("pw", home.path("data.gpg"));
        EXPECT_EQ(loaded.result, 0);
        EXPECT_EQ(loaded.errors, "");
    }
    EXPECT_EQ(load("pw", home.path("data.gpg")).result, 1) << "the file itself is fine";
}

TEST(RecordReader, PassphraseLargerThanThePipeYieldsNothingWithoutHanging)
{
    GpgHome home;
    home.encrypt_symmetric(RECORD, "pw");
    // A hang would otherwise stop the whole test run; the alarm ends it with a clear signal instead.
    alarm(60);
    const Load loaded = load(std::string(1 << 20, 'p'), home.path("data.gpg"));
    alarm(0);
    EXPECT_EQ(loaded.result, 0);
    EXPECT_EQ(loaded.errors, "");
}

// Without a descriptor to spare the load cannot start; it says so and yields nothing.
TEST(RecordReader, MissingDescriptorsAreReportedAsAFailedPipe)
{
    GpgHome home;
    home.encrypt_symmetric(RECORD, "pw");

    // The two lowest free descriptor numbers: a limit just above the second leaves room for the
    // passphrase pipe and none for popen's own pipe.
    std::vector<int> free_numbers;
    for (int fd = 0; free_numbers.size() < 2; ++fd)
        if (fcntl(fd, F_GETFD) == -1)
            free_numbers.push_back(fd);

    const struct {
        const char* name;
        rlim_t limit;
    } cases[] = {
        {"no pipe for the passphrase", 0},
        {"no pipe for the command", static_cast<rlim_t>(free_numbers[1] + 1)},
    };
    const int before = open_descriptors();
    for (const auto& c : cases) {
        rlimit saved{};
        getrlimit(RLIMIT_NOFILE, &saved);
        rlimit low = saved;
        low.rlim_cur = c.limit;
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
        const Load loaded = load("pw", home.path("data.gpg"));
        setrlimit(RLIMIT_NOFILE, &saved);
        EXPECT_EQ(loaded.result, 0) << c.name;
        EXPECT_EQ(loaded.errors, "Failed to open pipe\n") << c.name;
        EXPECT_EQ(open_descriptors(), before) << c.name;
    }
}

TEST(RecordReader, ManyLoadsLeaveNoDescriptorBehind)
{
    GpgHome home;
    home.encrypt_symmetric(RECORD, "pw");
    const int before = open_descriptors();
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(load("pw", home.path("data.gpg")).result, 1);
        EXPECT_EQ(load("pw", home.path("missing.gpg")).result, 0);
        EXPECT_EQ(load(std::string(1 << 20, 'p'), home.path("data.gpg")).result, 0);
    }
    EXPECT_EQ(open_descriptors(), before);
}

TEST(RecordReader, ProcessWideOverloadExpandsTheHomeDirectory)
{
    GpgHome home;
    home.encrypt_symmetric(RECORD, "pw");
    ScopedEnv home_env("HOME", home.dir());
    const std::string saved_path = password_file_path;
    password_file_path = "~/data.gpg";
    passphrase = "pw";

    std::vector<std::string> got;
    const int result = read_record_lines([&got](const RecordLine& line) { got.push_back(line.password); });

    passphrase.clear();
    password_file_path = saved_path;
    EXPECT_EQ(result, 1);
    EXPECT_EQ(got, std::vector<std::string>{"s3cret"});
}

} // namespace
} // namespace sealkeep
