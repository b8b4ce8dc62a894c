// The gpg run with a real gpg: what the verdict makes of each way a decryption can end, the plaintext
// as lines, and cancellation of a gpg that will not end by itself. Only where gpg has to misbehave
// does a small script stand in for it.
#include "core/gpg_decryption.h"

#include "core/gpg_home.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sealkeep {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using namespace std::chrono_literals;
using test_support::GpgHome;
using test_support::open_descriptors;

// Enough records that the middle of the file lies well inside the encrypted data.
std::string records(int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += "customer=c" + std::to_string(i) + ";group=;server=s;service=ssh;serviceplus=;user=u;password=p\n";
    return text;
}
const std::string PLAINTEXT = records(20);

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size() - 1) + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

void flip_byte(const std::string& path, std::size_t at)
{
    std::string bytes = read_file(path);
    ASSERT_LT(at, bytes.size());
    bytes[at] ^= 0x01;
    write_file(path, bytes);
}

struct Decrypted {
    DecryptVerdict verdict;
    std::vector<std::string> lines;
    std::string error_text;
};

Decrypted decrypt(const std::string& path, const std::string& passphrase, const std::string& program = "gpg")
{
    Decrypted out;
    GpgDecryption decryption;
    out.verdict =
        decryption.run({path, passphrase, program}, [&out](std::string_view line) { out.lines.emplace_back(line); });
    out.error_text = decryption.error_text();
    return out;
}

// A stand-in for gpg: a shell script in the home's directory.
std::string fake_gpg(const GpgHome& home, const std::string& name, const std::string& body)
{
    const std::string program = home.path(name);
    write_file(program, "#!/bin/sh\n" + body);
    fs::permissions(program, fs::perms::owner_all);
    return program;
}

TEST(GpgDecryption, VerdictFollowsHowGpgEnded)
{
    const auto symmetric = [](const std::string& options) {
        return [options](GpgHome& home) { home.encrypt_symmetric(PLAINTEXT, "pw", "data.gpg", options); };
    };
    const auto to_key = [](GpgHome& home) { home.encrypt_to_new_key(PLAINTEXT, "pw"); };
    std::string signer; // the key id of the last signing key made, which is its fingerprint's tail
    const struct {
        const char* name;
        std::function<void(GpgHome&)> prepare; // leaves the file to open in data.gpg
        std::string passphrase;
        DecryptOutcome outcome;
        std::string reason;   // the whole reason, or where it ends with "...", its beginning
        bool whole_plaintext; // the sink got every line of PLAINTEXT
        bool note;            // a signature note is expected
    } cases[] = {
        {"symmetric, right passphrase", symmetric(""), "pw", DecryptOutcome::Verified, "", true, false},
        {"symmetric, wrong passphrase", symmetric(""), "wrong", DecryptOutcome::BadPassphrase,
         "decryption failed: Bad session key", false, false},
        {"symmetric, empty passphrase", symmetric(""), "", DecryptOutcome::BadPassphrase, "Bad passphrase", false,
         false},
        // The key's passphrase must come from the pipe: no pinentry can be asked here.
        {"public key, right passphrase", to_key, "pw", DecryptOutcome::Verified, "", true, false},
        {"public key, wrong passphrase", to_key, "wrong", DecryptOutcome::BadPassphrase,
         "public key decryption failed: Bad passphrase", false, false},
        {"public key, empty passphrase", to_key, "", DecryptOutcome::BadPassphrase,
         "public key decryption failed: No passphrase given", false, false},
        {"no secret key",
         [&](GpgHome& home) {
             to_key(home);
             home.gpg("--delete-secret-keys " + home.fingerprint());
         },
         "pw", DecryptOutcome::NoSecretKey, "decryption failed: No secret key", false, false},
        {"missing file", [](GpgHome&) {}, "pw", DecryptOutcome::FileNotFound, "can't open '...", false, false},
        {"not an OpenPGP file", [](GpgHome& home) { home.write_file("data.gpg", PLAINTEXT); }, "pw",
         DecryptOutcome::NotOpenPgp, "no valid OpenPGP data found.", false, false},
        {"empty file", [](GpgHome& home) { home.write_file("data.gpg", ""); }, "pw", DecryptOutcome::NotOpenPgp,
         "decrypt_message failed: Unknown system error", false, false},
        {"cut in the middle",
         [&](GpgHome& home) {
             symmetric("--compress-algo none")(home);
             const std::string bytes = read_file(home.path("data.gpg"));
             home.write_file("data.gpg", bytes.substr(0, bytes.size() / 2));
         },
         "pw", DecryptOutcome::Failed, "decryption failed: Invalid packet", false, false},
        {"one byte flipped in the middle",
         [&](GpgHome& home) {
             symmetric("--compress-algo none")(home);
             flip_byte(home.path("data.gpg"), fs::file_size(home.path("data.gpg")) / 2);
         },
         "pw", DecryptOutcome::Manipulated, "WARNING: encrypted message has been manipulated!", false, false},
        {"no integrity protection", symmetric("--rfc2440"), "pw", DecryptOutcome::NotProtected,
         "WARNING: message was not integrity protected", true, false},
        {"not encrypted at all",
         [](GpgHome& home) {
             home.write_file("plain", PLAINTEXT);
             home.gpg("--store -o '" + home.path("data.gpg") + "' '" + home.path("plain") + "'");
         },
         "pw", DecryptOutcome::NotProtected, "the file is not encrypted", true, false},
        {"signed by a key not in the keyring",
         [&signer](GpgHome& home) {
             home.make_key("pw");
             signer = home.fingerprint().substr(24);
             home.write_file("plain", PLAINTEXT);
             home.gpg("--pinentry-mode loopback --passphrase pw --no-symkey-cache --s2k-count 65536 -u "
                      "test@example.org -s -c -o '" +
                      home.path("data.gpg") + "' '" + home.path("plain") + "'");
             home.gpg("--delete-secret-and-public-key " + home.fingerprint());
             home.stop_agent();
         },
         "pw", DecryptOutcome::Verified, "", true, true},
        {"signature that does not match",
         [](GpgHome& home) {
             home.make_key("pw");
             home.write_file("plain", PLAINTEXT);
             home.gpg("--pinentry-mode loopback --passphrase pw --compress-algo none -u test@example.org -s -o '" +
                      home.path("data.gpg") + "' '" + home.path("plain") + "'");
             flip_byte(home.path("data.gpg"), read_file(home.path("data.gpg")).find("customer=c7"));
         },
         "pw", DecryptOutcome::Manipulated, "BAD signature from \"Sealkeep Test <test@example.org>\"...", false, false},
    };
    for (const auto& c : cases) {
        GpgHome home;
        c.prepare(home);
        if (HasFatalFailure())
            return;
        const Decrypted run = decrypt(home.path("data.gpg"), c.passphrase);
        EXPECT_EQ(run.verdict.outcome, c.outcome) << c.name << ": " << run.verdict.reason;
        if (c.reason.ends_with("...")) {
            EXPECT_TRUE(run.verdict.reason.starts_with(c.reason.substr(0, c.reason.size() - 3)))
                << c.name << ": " << run.verdict.reason;
        } else {
            EXPECT_EQ(run.verdict.reason, c.reason) << c.name;
        }
        if (c.whole_plaintext) {
            EXPECT_EQ(run.lines, lines_of(PLAINTEXT)) << c.name;
        }
        EXPECT_EQ(run.verdict.signature_note, c.note ? "signed by an unknown key " + signer : "") << c.name;
    }
}

TEST(GpgDecryption, FailuresOfGpgItself)
{
    GpgHome home;
    home.encrypt_symmetric(PLAINTEXT, "pw");
    const struct {
        const char* name;
        std::string program;
        std::string reason;
    } cases[] = {
        {"no such program", home.path("no-such-gpg"),
         "cannot run gpg: " + home.path("no-such-gpg") + ": No such file or directory"},
        {"killed by a signal", fake_gpg(home, "fake-gpg-1", "echo 'gpg: about to crash' >&2\nkill -SEGV $$\n"),
         "gpg ended by signal 11"},
        // Status lines claim success, but the exit status does not.
        {"claims success, exits 2",
         fake_gpg(home, "fake-gpg-2",
                  "echo '[GNUPG:] BEGIN_DECRYPTION' >&4\necho '[GNUPG:] DECRYPTION_INFO 2 9 0' >&4\n"
                  "echo '[GNUPG:] DECRYPTION_OKAY' >&4\necho '[GNUPG:] GOODMDC' >&4\n"
                  "echo 'gpg: something else went wrong' >&2\nexit 2\n"),
         "something else went wrong"},
    };
    for (const auto& c : cases) {
        const Decrypted run = decrypt(home.path("data.gpg"), "pw", c.program);
        EXPECT_EQ(run.verdict.outcome, DecryptOutcome::Failed) << c.name;
        EXPECT_EQ(run.verdict.reason, c.reason) << c.name;
    }
    {
        test_support::ScopedEnv path("PATH", home.dir());
        const Decrypted run = decrypt(home.path("data.gpg"), "pw");
        EXPECT_EQ(run.verdict.outcome, DecryptOutcome::Failed);
        EXPECT_EQ(run.verdict.reason, "cannot run gpg: gpg: No such file or directory");
    }
}

// Lines of every length from 1 to 97 bytes, so that reads of any size cut some of them.
std::string many_lines(int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += std::string(static_cast<std::size_t>(i % 97), static_cast<char>('a' + i % 26)) + "\n";
    return text;
}

std::vector<std::string> split_lines(const std::string& text)
{
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end + 1 - start));
        start = end + 1;
    }
    return lines;
}

TEST(GpgDecryption, PlaintextArrivesLineByLineWithEndings)
{
    const struct {
        const char* name;
        std::string plaintext;
        std::vector<std::string> lines;
    } cases[] = {
        {"endings kept, last line without one", "a\nb\0c\r\n\nlast"s, {"a\n", "b\0c\r\n"s, "\n", "last"}},
        {"longer than a pipe's buffer",
         std::string(200000, 'x') + "\nshort\n",
         {std::string(200000, 'x') + "\n", "short\n"}},
        {"nothing", "", {}},
        {"many lines, some cut by the edges of the reads", many_lines(30000), split_lines(many_lines(30000))},
    };
    for (const auto& c : cases) {
        GpgHome home;
        home.encrypt_symmetric(c.plaintext, "pw");
        const Decrypted run = decrypt(home.path("data.gpg"), "pw");
        EXPECT_EQ(run.verdict.outcome, DecryptOutcome::Verified) << c.name;
        EXPECT_EQ(run.lines, c.lines) << c.name;
    }
}

TEST(GpgDecryption, ErrorTextIsGpgsStandardErrorCutToABound)
{
    GpgHome home;
    home.encrypt_symmetric(PLAINTEXT, "pw");
    const Decrypted wrong = decrypt(home.path("data.gpg"), "wrong");
    EXPECT_NE(wrong.error_text.find("gpg: decryption failed: Bad session key\n"), std::string::npos)
        << wrong.error_text;

    const Decrypted flood = decrypt(home.path("data.gpg"), "pw",
                                    fake_gpg(home, "fake-gpg-3",
                                             "echo 'gpg: first words'>&2\nhead -c 1000000 /dev/zero | tr '\\0' e >&2\n"
                                             "exit 2\n"));
    EXPECT_EQ(flood.error_text.size(), 64u * 1024);
    EXPECT_TRUE(flood.error_text.starts_with("gpg: first words\neee")) << flood.error_text.substr(0, 40);
    EXPECT_EQ(flood.verdict.outcome, DecryptOutcome::Failed);
}

TEST(GpgDecryption, PassphraseLargerThanThePipeDoesNotHang)
{
    GpgHome home;
    home.encrypt_symmetric(PLAINTEXT, "pw");
    // A hang would otherwise stop the whole test run; the alarm ends it with a clear signal instead.
    alarm(60);
    const Decrypted run = decrypt(home.path("data.gpg"), std::string(1 << 20, 'p'));
    alarm(0);
    // gpg gives up on it (it runs out of secure memory) rather than taking it as a wrong one.
    EXPECT_NE(run.verdict.outcome, DecryptOutcome::Verified);
    EXPECT_NE(run.verdict.reason, "");
    EXPECT_TRUE(run.lines.empty());
}

// gpg starts as if from a clean slate, whatever the calling program did to its own signals and
// descriptors: GLib ignores SIGPIPE, threads block signals, libraries leave descriptors inheritable.
TEST(GpgDecryption, GpgGetsDefaultSignalsAndOnlyItsOwnDescriptors)
{
    GpgHome home;
    const std::string program =
        fake_gpg(home, "fake-gpg-4", "ls -l /proc/self/fd/ >&2\nexec grep -E '^(SigBlk|SigIgn):' /proc/self/status\n");

    const auto old_pipe = signal(SIGPIPE, SIG_IGN);
    sigset_t usr1, old_mask;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &usr1, &old_mask);
    const int inheritable = open("/dev/null", O_RDONLY);

    const Decrypted run = decrypt("/dev/null", "pw", program);

    close(inheritable);
    pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
    signal(SIGPIPE, old_pipe);

    // The classic signals must all be at default; ChildProcess.AChildStartsFromACleanSlate checks the
    // real-time ones as well.
    ASSERT_EQ(run.lines.size(), 2u);
    EXPECT_EQ(run.lines[0], "SigBlk:\t0000000000000000\n");
    EXPECT_TRUE(run.lines[1].starts_with("SigIgn:\t")) << run.lines[1];
    EXPECT_EQ(std::stoull(run.lines[1].substr(8), nullptr, 16) & 0x7fffffffull, 0u) << run.lines[1];
    // ls lists its own handle on the directory too; apart from that, 0 to 4 and nothing else.
    std::vector<std::string> descriptors;
    std::istringstream listing(run.error_text);
    for (std::string line; std::getline(listing, line);) {
        const auto arrow = line.find(" -> ");
        if (arrow == std::string::npos || line.find("/fd", arrow) != std::string::npos)
            continue;
        const auto name_start = line.rfind(' ', arrow - 1) + 1;
        descriptors.push_back(line.substr(name_start, arrow - name_start) + " " + line.substr(arrow + 4, 5));
    }
    EXPECT_EQ(descriptors, (std::vector<std::string>{"0 /dev/", "1 pipe:", "2 pipe:", "3 pipe:", "4 pipe:"}))
        << run.error_text;
}

// One process as /proc/<pid>/stat describes it.
struct ProcessState {
    pid_t pid;
    char state;
    pid_t parent;
    pid_t group;
};

// Every process of the machine, read once.
std::vector<ProcessState> processes()
{
    std::vector<ProcessState> all;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const std::string stat = read_file(entry.path() / "stat");
        // The command name may hold blanks and parentheses: the fields start after the last ')'.
        const auto close_paren = stat.rfind(')');
        if (close_paren == std::string::npos)
            continue;
        std::istringstream fields(stat.substr(close_paren + 2));
        ProcessState process{std::stoi(name), 0, 0, 0};
        fields >> process.state >> process.parent >> process.group;
        all.push_back(process);
    }
    return all;
}

// The processes of a group that are still running (zombies waiting for their reaper do not count).
std::vector<pid_t> live_members(pid_t group)
{
    std::vector<pid_t> members;
    for (const ProcessState& process : processes())
        if (process.group == group && process.state != 'Z' && process.state != 'X')
            members.push_back(process.pid);
    return members;
}

// The child this process started, once it is there.
pid_t wait_for_child()
{
    for (int i = 0; i < 500; ++i) {
        for (const ProcessState& process : processes())
            if (process.parent == getpid())
                return process.pid;
        std::this_thread::sleep_for(10ms);
    }
    return -1;
}

TEST(GpgDecryption, CancelEndsAnyGpgPromptly)
{
    GpgHome home;
    ASSERT_EQ(mkfifo(home.path("fifo").c_str(), 0600), 0);
    const struct {
        const char* name;
        std::string path;
        std::string program;
    } cases[] = {
        {"blocked opening a FIFO without a writer", home.path("fifo"), "gpg"},
        {"reading /dev/zero forever", "/dev/zero", "gpg"},
        {"ignores SIGTERM, and its child keeps the output open", "/dev/null",
         fake_gpg(home, "fake-gpg-5", "trap '' TERM\nsleep 600 &\necho started\nsleep 600\n")},
        {"plaintext that never ends", "/dev/null",
         fake_gpg(home, "fake-gpg-6", "yes 'customer=c;group=;server=s;service=ssh;serviceplus=;user=u;password=p'\n")},
    };
    const int descriptors_before = open_descriptors();
    for (const auto& c : cases) {
        GpgDecryption decryption;
        std::atomic<int> lines{0};
        DecryptVerdict verdict;
        std::thread worker([&] {
            verdict = decryption.run({c.path, "pw", c.program}, [&lines](std::string_view) { ++lines; });
        });
        const pid_t gpg = wait_for_child();
        ASSERT_GT(gpg, 0) << c.name;
        // Long enough for gpg to be deep in whatever keeps it from ending.
        std::this_thread::sleep_for(300ms);
        const auto start = std::chrono::steady_clock::now();
        decryption.cancel();
        const int lines_at_cancel = lines.load();
        worker.join();
        const auto took = std::chrono::steady_clock::now() - start;

        EXPECT_EQ(verdict.outcome, DecryptOutcome::Cancelled) << c.name;
        EXPECT_EQ(verdict.reason, "") << c.name;
        EXPECT_LT(took, 1s) << c.name;
        // A line already on its way may still arrive, nothing after it.
        EXPECT_LE(lines.load(), lines_at_cancel + 1) << c.name;
        // SIGKILL is sent to the whole group before run() returns; on a busy machine a member may take
        // a moment more to die.
        for (int i = 0; i < 100 && !live_members(gpg).empty(); ++i)
            std::this_thread::sleep_for(10ms);
        EXPECT_EQ(live_members(gpg), std::vector<pid_t>{}) << c.name;
        EXPECT_EQ(open_descriptors(), descriptors_before) << c.name;
    }
}

TEST(GpgDecryption, CancelBeforeRunStartsNothing)
{
    GpgHome home;
    const std::string program = fake_gpg(home, "fake-gpg-7", "touch '" + home.path("ran") + "'\n");
    const int descriptors_before = open_descriptors();
    GpgDecryption decryption;
    decryption.cancel();
    decryption.cancel();
    bool sink_called = false;
    const DecryptVerdict verdict =
        decryption.run({"/dev/null", "pw", program}, [&](std::string_view) { sink_called = true; });
    EXPECT_EQ(verdict.outcome, DecryptOutcome::Cancelled);
    EXPECT_FALSE(sink_called);
    EXPECT_FALSE(fs::exists(home.path("ran")));
    EXPECT_EQ(open_descriptors(), descriptors_before);
}

TEST(GpgDecryption, CancelAfterRunChangesNothing)
{
    GpgHome home;
    home.encrypt_symmetric(PLAINTEXT, "pw");
    GpgDecryption decryption;
    std::vector<std::string> lines;
    const DecryptVerdict verdict =
        decryption.run({home.path("data.gpg"), "pw", "gpg"}, [&](std::string_view line) { lines.emplace_back(line); });
    decryption.cancel();
    decryption.cancel();
    EXPECT_EQ(verdict.outcome, DecryptOutcome::Verified);
    EXPECT_EQ(lines, lines_of(PLAINTEXT));
}

TEST(GpgDecryption, ManyRunsLeaveNoDescriptorBehind)
{
    GpgHome home;
    home.encrypt_symmetric(PLAINTEXT, "pw");
    const int before = open_descriptors();
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(decrypt(home.path("data.gpg"), "pw").verdict.outcome, DecryptOutcome::Verified);
        EXPECT_EQ(decrypt(home.path("missing.gpg"), "pw").verdict.outcome, DecryptOutcome::FileNotFound);
    }
    EXPECT_EQ(open_descriptors(), before);
}

} // namespace
} // namespace sealkeep
