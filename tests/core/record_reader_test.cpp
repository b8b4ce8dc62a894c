// The load with a real gpg: plaintext lines become records or warnings, any passphrase and file name
// reach gpg, failures yield no records, and nothing is left behind.
#include "core/record_reader.h"

#include "core/gpg_home.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace sealkeep {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using test_support::GpgHome;
using test_support::open_descriptors;
using test_support::ScopedEnv;

const std::string RECORD = "customer=Acme;group=web;server=h1;service=ssh;serviceplus=;user=root;password=s3cret\n";

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
    DecryptVerdict verdict;
    std::vector<RecordLine> records;
    std::string errors;
};

Load load(const std::string& pass, const std::string& path)
{
    Load out;
    ErrorCapture errors;
    GpgDecryption decryption;
    out.verdict = read_record_lines(
        decryption, {path, pass, "gpg"}, [&out](const RecordLine& line) { out.records.push_back(line); },
        errors.stream());
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

TEST(RecordReader, PlaintextLinesBecomeRecordsOrWarnings)
{
    const struct {
        const char* name;
        std::string plaintext;
        std::vector<std::string> passwords;
        std::string errors;
    } cases[] = {
        {"records, warnings and gpg's own lines",
         RECORD +                                      //
             "not a record\n"                          //
             "GPG: Warning: dropped without a word\n"  //
             "gpg: WA\n"                               //
             "customer=B\0hidden;;;;;;password=x\n"s + //
             "customer=Acme;group=web;server=h2;service=ftp;serviceplus=21;user=bob;password=a;b; c\n" +
             "customer=Z;group=;server=s;service=http;serviceplus=;user=u;password=caf\xe9", // no final line feed
         {"s3cret", "a;b; c", "caf\xe9"},
         // The line is printed as read, its line feed included; a NUL ends what can be printed.
         "WARNING: not matched: not a record\n\n"
         "WARNING: not matched: gpg: WA\n\n"
         "WARNING: not matched: customer=B\n"},
        {"CRLF file",
         "customer=c;group=;server=s;service=ssh;serviceplus=;user=u;password=one\r\n"
         "junk\r\n"
         "customer=c;group=;server=s;service=ssh;serviceplus=;user=v;password=two;three\r\n",
         {"one", "two;three"},
         "WARNING: not matched: junk\r\n\n"},
        // Longer than the read buffer and than a pipe's buffer: still one line, one password.
        {"long line",
         "customer=c;group=;server=s;service=ssh;serviceplus=;user=u;password=" + std::string(100000, 'p') + ";" +
             std::string(100000, 'q') + "\n",
         {std::string(100000, 'p') + ";" + std::string(100000, 'q')},
         ""},
        {"only lines that are not records",
         "first\nsecond\n",
         {},
         "WARNING: not matched: first\n\n"
         "WARNING: not matched: second\n\n"},
        {"empty file", "", {}, ""},
    };
    for (const auto& c : cases) {
        GpgHome home;
        home.encrypt_symmetric(c.plaintext, "pw");
        const Load loaded = load("pw", home.path("data.gpg"));
        EXPECT_EQ(loaded.verdict.outcome, DecryptOutcome::Verified) << c.name;
        EXPECT_EQ(passwords(loaded), c.passwords) << c.name;
        EXPECT_EQ(loaded.errors, c.errors) << c.name;
    }
}

TEST(RecordReader, HandsAllSevenValuesOver)
{
    GpgHome home;
    home.encrypt_symmetric("customer=Acme; group=web ;server=h1;service=ssh;serviceplus=22;user=root;password=pw\n",
                           "pw");
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
        DecryptOutcome outcome;
    } cases[] = {
        {"symmetric, right passphrase", false, "correct horse", DecryptOutcome::Verified},
        {"symmetric, wrong passphrase", false, "wrong", DecryptOutcome::BadPassphrase},
        {"symmetric, empty passphrase", false, "", DecryptOutcome::BadPassphrase},
        // The key's passphrase must come from the pipe: no pinentry can be asked here.
        {"public key, right passphrase", true, "correct horse", DecryptOutcome::Verified},
        {"public key, wrong passphrase", true, "wrong", DecryptOutcome::BadPassphrase},
        {"public key, empty passphrase", true, "", DecryptOutcome::BadPassphrase},
    };
    for (const auto& c : cases) {
        GpgHome home;
        if (c.public_key)
            home.encrypt_to_new_key(RECORD, "correct horse");
        else
            home.encrypt_symmetric(RECORD, "correct horse");
        const Load loaded = load(c.passphrase, home.path("data.gpg"));
        EXPECT_EQ(loaded.verdict.outcome, c.outcome) << c.name << ": " << loaded.verdict.reason;
        EXPECT_EQ(loaded.records.size(), c.outcome == DecryptOutcome::Verified ? 1u : 0u) << c.name;
        // gpg's complaints go into the verdict; the load itself prints nothing.
        EXPECT_EQ(loaded.errors, "") << c.name;
    }
}

TEST(RecordReader, AnyFileNameReachesGpgWholeAndRunsNothing)
{
    const struct {
        const char* name;
        std::string file;
        bool relative; // handed over as it is rather than as an absolute path
    } cases[] = {
        {"blanks", "my  accounts file.gpg", false},
        {"double quote", "say \"hi\".gpg", false},
        {"single quote", "it's.gpg", false},
        {"dollar", "$HOME$(touch pwned).gpg", false},
        {"backquote", "`touch pwned`.gpg", false},
        {"backslash", "back\\slash\\.gpg", false},
        {"newline", "two\nlines.gpg", false},
        {"not UTF-8", "caf\xe9\xff.gpg", false},
        {"leading dash", "-n", true},
        {"leading dashes", "--version", true},
        {"longer than a thousand bytes",
         std::string(250, 'a') + "/" + std::string(250, 'b') + "/" + std::string(250, 'c') + "/" +
             std::string(250, 'd') + "/x y.gpg",
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

        EXPECT_EQ(loaded.verdict.outcome, DecryptOutcome::Verified) << c.name << ": " << loaded.verdict.reason;
        EXPECT_EQ(passwords(loaded), std::vector<std::string>{"s3cret"}) << c.name;
        EXPECT_FALSE(fs::exists(home.path("pwned"))) << c.name;
    }
}

TEST(RecordReader, FailuresYieldNothingAndSayNothing)
{
    GpgHome home;
    home.encrypt_symmetric(RECORD, "pw");

    const Load missing = load("pw", home.path("missing.gpg"));
    EXPECT_EQ(missing.verdict.outcome, DecryptOutcome::FileNotFound);
    EXPECT_TRUE(missing.records.empty());
    EXPECT_EQ(missing.errors, "");

    fs::create_directory(home.path("empty-bin"));
    {
        ScopedEnv path("PATH", home.path("empty-bin"));
        const Load loaded = load("pw", home.path("data.gpg"));
        EXPECT_EQ(loaded.verdict.outcome, DecryptOutcome::Failed);
        EXPECT_EQ(loaded.verdict.reason, "cannot run gpg: gpg: No such file or directory");
        EXPECT_TRUE(loaded.records.empty());
        EXPECT_EQ(loaded.errors, "");
    }
    EXPECT_EQ(load("pw", home.path("data.gpg")).verdict.outcome, DecryptOutcome::Verified) << "the file is fine";
}

TEST(RecordReader, PassphraseLargerThanThePipeYieldsNothingWithoutHanging)
{
    GpgHome home;
    home.encrypt_symmetric(RECORD, "pw");
    // A hang would otherwise stop the whole test run; the alarm ends it with a clear signal instead.
    alarm(60);
    const Load loaded = load(std::string(1 << 20, 'p'), home.path("data.gpg"));
    alarm(0);
    EXPECT_NE(loaded.verdict.outcome, DecryptOutcome::Verified);
    EXPECT_TRUE(loaded.records.empty());
    EXPECT_EQ(loaded.errors, "");
}

// Short of descriptors, the load fails at whichever step runs out, says why, and leaks none of the
// ones it did get.
TEST(RecordReader, MissingDescriptorsFailTheLoadWithoutLeaks)
{
    GpgHome home;
    home.encrypt_symmetric(RECORD, "pw");

    int lowest_free = 0;
    while (fcntl(lowest_free, F_GETFD) != -1)
        ++lowest_free;
    const int before = open_descriptors();
    // From none at all, through one more at a time, to enough for every pipe of the run.
    for (int spare = 0; spare <= 12; ++spare) {
        rlimit saved{};
        getrlimit(RLIMIT_NOFILE, &saved);
        rlimit low = saved;
        low.rlim_cur = static_cast<rlim_t>(spare == 0 ? 0 : lowest_free + spare);
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
        const Load loaded = load("pw", home.path("data.gpg"));
        setrlimit(RLIMIT_NOFILE, &saved);
        if (loaded.verdict.outcome != DecryptOutcome::Verified) {
            EXPECT_TRUE(loaded.records.empty()) << spare;
            EXPECT_NE(loaded.verdict.reason, "") << spare;
        }
        if (spare < 8) {
            EXPECT_EQ(loaded.verdict.outcome, DecryptOutcome::Failed) << spare;
            EXPECT_TRUE(loaded.verdict.reason.ends_with("Too many open files")) << spare << loaded.verdict.reason;
        }
        EXPECT_EQ(open_descriptors(), before) << spare;
    }
    EXPECT_EQ(load("pw", home.path("data.gpg")).verdict.outcome, DecryptOutcome::Verified);
}

TEST(RecordReader, ManyLoadsLeaveNoDescriptorBehind)
{
    GpgHome home;
    home.encrypt_symmetric(RECORD, "pw");
    const int before = open_descriptors();
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(load("pw", home.path("data.gpg")).verdict.outcome, DecryptOutcome::Verified);
        EXPECT_EQ(load("pw", home.path("missing.gpg")).verdict.outcome, DecryptOutcome::FileNotFound);
        EXPECT_NE(load(std::string(1 << 20, 'p'), home.path("data.gpg")).verdict.outcome, DecryptOutcome::Verified);
    }
    EXPECT_EQ(open_descriptors(), before);
}

TEST(ExpandHome, OnlyALeadingTildeSlashIsTheHome)
{
    ScopedEnv home_env("HOME", "/home/someone");
    const struct {
        std::string path;
        std::string expanded;
    } cases[] = {
        {"~/data.gpg", "/home/someone/data.gpg"},
        {"~/", "/home/someone/"},
        {"~", "~"},
        {"~other/data.gpg", "~other/data.gpg"},
        {"/abs/~/data.gpg", "/abs/~/data.gpg"},
        {"rel/data.gpg", "rel/data.gpg"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(expand_home(c.path), c.expanded) << c.path;

    ScopedEnv no_home("HOME", "");
    EXPECT_EQ(expand_home("~/data.gpg"), "~/data.gpg");
}

TEST(ExpandHome, LoadsTheFileUnderTheHome)
{
    GpgHome home;
    home.encrypt_symmetric(RECORD, "pw");
    ScopedEnv home_env("HOME", home.dir());
    const Load loaded = load("pw", expand_home("~/data.gpg"));
    EXPECT_EQ(loaded.verdict.outcome, DecryptOutcome::Verified);
    EXPECT_EQ(passwords(loaded), std::vector<std::string>{"s3cret"});
}

} // namespace
} // namespace sealkeep
