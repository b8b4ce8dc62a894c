// Starting a child: which descriptors it finds where, the clean slate of signals it starts from, its
// process group and environment, and what a program that cannot start gives back.
#include "core/child_process.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace sealkeep {
namespace {

namespace fs = std::filesystem;

// What a descriptor of this process refers to, as the child's /proc listing shows it.
std::string target_of(int fd)
{
    std::error_code error;
    return fs::read_symlink("/proc/self/fd/" + std::to_string(fd), error).string();
}

struct Ran {
    std::string failure;
    std::string output;
    std::string output_target; // the pipe the child found as its standard output
    pid_t pid = -1;
    int status = -1;
};

// Starts `arguments` with its standard output into a pipe, reads that to its end and reaps the child.
Ran run_child(const std::vector<std::string>& arguments, ChildStart start)
{
    Ran ran;
    Fd out_read, out_write;
    EXPECT_TRUE(make_pipe(out_read, out_write));
    ran.output_target = target_of(out_write.get());
    start.descriptors.output = out_write.get();
    const SpawnedChild spawned = spawn_child(arguments, start);
    out_write.reset();
    ran.failure = spawned.failure;
    ran.pid = spawned.pid;
    if (spawned.pid < 0)
        return ran;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(out_read.get(), buffer, sizeof buffer);
        if (got > 0)
            ran.output.append(buffer, static_cast<std::size_t>(got));
        else if (!(got < 0 && errno == EINTR))
            break;
    }
    EXPECT_EQ(waitpid(spawned.pid, &ran.status, 0), spawned.pid);
    return ran;
}

// The children of this process, zombies included.
int own_children()
{
    int count = 0;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        if (entry.path().filename().string().find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream in(entry.path() / "stat");
        std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const auto close_paren = stat.rfind(')');
        if (close_paren == std::string::npos)
            continue;
        std::istringstream fields(stat.substr(close_paren + 2));
        char state = 0;
        pid_t parent = 0;
        fields >> state >> parent;
        count += parent == getpid();
    }
    return count;
}

// The descriptors given land at their numbers even where one sits at another's number, the child's
// standard input is /dev/null and its standard error ours unless given, and nothing else reaches it:
// neither an unassigned 3 or 4 nor a descriptor someone opened without O_CLOEXEC.
TEST(ChildProcess, AChildFindsExactlyTheDescriptorsItIsGiven)
{
    struct DescriptorCase {
        const char* what;
        bool input, errors, passphrase, status;
    };
    const DescriptorCase cases[] = {
        {"standard output only", false, false, false, false},
        {"a short run", false, true, false, false},
        {"a decryption", false, true, true, true},
        {"an encryption", true, true, true, true},
        {"a passphrase without status", false, true, true, false},
        {"status without a passphrase", false, true, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // Distinct files, so that the child's links tell which is which. Opened in this order, the
        // status descriptor takes the lowest free number, in a test process usually 3: the
        // passphrase's place in the child, while the passphrase's own sits at 4, the status's place.
        Fd status(c.status ? open("/dev/full", O_WRONLY | O_CLOEXEC) : -1);
        Fd passphrase(c.passphrase ? open("/dev/zero", O_RDONLY | O_CLOEXEC) : -1);
        Fd input(c.input ? open("/dev/urandom", O_RDONLY | O_CLOEXEC) : -1);
        Fd errors(c.errors ? open("/dev/random", O_WRONLY | O_CLOEXEC) : -1);
        Fd inheritable(open("/", O_RDONLY | O_DIRECTORY));
        ASSERT_TRUE(inheritable.open());

        ChildStart start;
        start.descriptors = {
            .input = input.get(), .errors = errors.get(), .passphrase = passphrase.get(), .status = status.get()};
        const Ran ran = run_child({"ls", "-l", "/proc/self/fd/"}, start);
        ASSERT_EQ(ran.failure, "");

        std::map<std::string, std::string> expected{
            {"0", c.input ? "/dev/urandom" : "/dev/null"},
            {"1", ran.output_target},
            {"2", c.errors ? "/dev/random" : target_of(STDERR_FILENO)},
        };
        if (c.passphrase)
            expected["3"] = "/dev/zero";
        if (c.status)
            expected["4"] = "/dev/full";
        std::map<std::string, std::string> found;
        std::istringstream listing(ran.output);
        for (std::string line; std::getline(listing, line);) {
            const auto arrow = line.find(" -> ");
            // ls's own handle on the directory it lists
            if (arrow == std::string::npos || line.ends_with("/fd"))
                continue;
            const auto name_start = line.rfind(' ', arrow - 1) + 1;
            found[line.substr(name_start, arrow - name_start)] = line.substr(arrow + 4);
        }
        EXPECT_EQ(found, expected) << ran.output;
    }
}

// The value of one "Name:\thex" line of a /proc/<pid>/status text.
std::uint64_t status_mask(const std::string& status, const std::string& name)
{
    const std::size_t at = status.find("\n" + name + ":\t");
    if (at == std::string::npos) {
        ADD_FAILURE() << name << " missing from " << status;
        return ~std::uint64_t{0};
    }
    return std::stoull(status.substr(at + name.size() + 3, 16), nullptr, 16);
}

// Whatever this program did to its own signals, the child starts with all of them at their default and
// none blocked, glibc's two real-time signals included; in its own process group or ours as asked,
// with the environment it was given or ours.
TEST(ChildProcess, AChildStartsFromACleanSlate)
{
    struct SlateCase {
        const char* what;
        bool own_process_group;
        std::vector<std::string> environment; // empty: this program's
    };
    const SlateCase cases[] = {
        {"a gpg run", true, {}},
        {"a command", false, {"HOME=/nonexistent", "SEALKEEP_ONLY=yes"}},
    };
    std::vector<std::string> ours;
    for (char** entry = environ; *entry; ++entry)
        ours.emplace_back(*entry);

    struct sigaction ignore = {}, old_pipe = {}, old_usr2 = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &old_pipe);
    sigaction(SIGUSR2, &ignore, &old_usr2);
    sigset_t usr1, old_mask;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &usr1, &old_mask);

    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ChildStart start;
        start.own_process_group = c.own_process_group;
        if (!c.environment.empty())
            start.environment = &c.environment;
        const Ran ran = run_child({"cat", "/proc/self/stat", "/proc/self/status", "/proc/self/environ"}, start);
        ASSERT_EQ(ran.failure, "");
        ASSERT_TRUE(WIFEXITED(ran.status) && WEXITSTATUS(ran.status) == 0) << ran.status;

        const std::string& out = ran.output;
        std::istringstream stat(out.substr(out.rfind(')', out.find('\n')) + 2));
        char state = 0;
        pid_t parent = 0, group = 0;
        stat >> state >> parent >> group;
        EXPECT_EQ(group, c.own_process_group ? ran.pid : getpgrp());

        EXPECT_EQ(status_mask(out, "SigIgn"), 0u);
        EXPECT_EQ(status_mask(out, "SigBlk"), 0u);

        std::vector<std::string> environment;
        // The environment follows the status, whose last line is this one.
        const std::size_t last_status_line = out.find("\nnonvoluntary_ctxt_switches:");
        ASSERT_NE(last_status_line, std::string::npos) << out;
        std::istringstream entries(out.substr(out.find('\n', last_status_line + 1) + 1));
        for (std::string entry; std::getline(entries, entry, '\0');)
            environment.push_back(entry);
        EXPECT_EQ(environment, c.environment.empty() ? ours : c.environment);
    }

    pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
    sigaction(SIGUSR2, &old_usr2, nullptr);
    sigaction(SIGPIPE, &old_pipe, nullptr);
}

// A program that cannot start gives one line that names it, and leaves no child behind.
TEST(ChildProcess, AProgramThatCannotStartGivesOneLineAndNoChild)
{
    struct FailureCase {
        std::vector<std::string> arguments;
        std::string failure;
    };
    const FailureCase cases[] = {
        {{"/nonexistent/program"}, "/nonexistent/program: No such file or directory"},
        // Looked up on PATH, and named as it was asked for.
        {{"sealkeep-no-such-program", "--help"}, "sealkeep-no-such-program: No such file or directory"},
        {{"/etc/passwd"}, "/etc/passwd: Permission denied"},
        {{}, "nothing to run"},
    };
    const int children_before = own_children();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failure);
        const Ran ran = run_child(c.arguments, ChildStart{});
        EXPECT_EQ(ran.pid, -1);
        EXPECT_EQ(ran.failure, c.failure);
    }
    EXPECT_EQ(own_children(), children_before);
}

// A short run asked to stop from another thread (a load cancelled while it asks gpg about the file's
// keys) ends promptly, even with a child that ignores SIGTERM, and leaves no child behind.
TEST(ChildProcess, AShortRunStopsWhenAskedFromAnotherThread)
{
    const std::vector<std::string> stubborn{"sh", "-c", "trap '' TERM; sleep 30"};
    std::atomic<bool> stop{false};
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        stop = true;
    });
    const auto start = std::chrono::steady_clock::now();
    const ChildOutput output = run_for_output(stubborn, std::chrono::seconds(20), 1024, &stop);
    const auto took = std::chrono::steady_clock::now() - start;
    stopper.join();
    EXPECT_FALSE(output.succeeded);
    EXPECT_LT(took, std::chrono::seconds(3)) << "the stop was not seen";
    EXPECT_EQ(own_children(), 0);
}

} // namespace
} // namespace sealkeep
