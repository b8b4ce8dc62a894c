// Starting children, and the descriptors, pipes and ends of the runs around them.
#include "core/child_process.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include <algorithm>
#include <array>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace sealkeep {

namespace {

constexpr auto TERM_GRACE = std::chrono::milliseconds(300);
constexpr std::size_t ERROR_LIMIT = 4096;
// The child's numbers 0..4 are spawn_child's places for the descriptors it is given.
constexpr int FIRST_FREE_CHILD_FD = 5;
static_assert(CHILD_PASSPHRASE_FD == 3 && CHILD_STATUS_FD == 4);

// The set-up a posix_spawn call is given, released however the call ends.
struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    SpawnSetup()
    {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
    ~SpawnSetup()
    {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
};

void sleep_briefly()
{
    const timespec pause{0, 10 * 1000 * 1000};
    nanosleep(&pause, nullptr);
}

} // namespace

void Fd::reset(int fd)
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = fd;
}

int Fd::release()
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

bool make_pipe(Fd& read_end, Fd& write_end)
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return false;
    read_end.reset(ends[0]);
    write_end.reset(ends[1]);
    return true;
}

bool set_nonblocking(const Fd& fd)
{
    const int flags = fcntl(fd.get(), F_GETFL);
    return flags != -1 && fcntl(fd.get(), F_SETFL, flags | O_NONBLOCK) == 0;
}

std::string errno_text(const char* what, int error)
{
    return std::string(what) + ": " + strerror(error);
}

SpawnedChild spawn_child(const std::vector<std::string>& arguments, const ChildStart& start)
{
    SpawnedChild result;
    if (arguments.empty()) {
        result.failure = "nothing to run";
        return result;
    }
    // Indexed by the number the child finds each at.
    const ChildDescriptors& given = start.descriptors;
    std::array<int, FIRST_FREE_CHILD_FD> sources{given.input, given.output, given.errors, given.passphrase,
                                                 given.status};
    // A descriptor that already sits at one of the child's numbers would be overwritten by the dup2 to
    // that number before its own dup2 ran; a close-on-exec copy above them stands in for it.
    std::array<Fd, FIRST_FREE_CHILD_FD> copies;
    for (std::size_t number = 0; number < sources.size(); ++number) {
        if (sources[number] < 0 || sources[number] >= FIRST_FREE_CHILD_FD)
            continue;
        copies[number].reset(fcntl(sources[number], F_DUPFD_CLOEXEC, FIRST_FREE_CHILD_FD));
        if (!copies[number].open()) {
            result.failure = errno_text("fcntl", errno);
            return result;
        }
        sources[number] = copies[number].get();
    }

    SpawnSetup setup;
    int failed = 0;
    const auto check = [&failed](int error) {
        if (failed == 0)
            failed = error;
    };
    if (sources[STDIN_FILENO] < 0)
        check(posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0));
    for (int number = 0; number < FIRST_FREE_CHILD_FD; ++number) {
        if (sources[number] >= 0)
            check(posix_spawn_file_actions_adddup2(&setup.actions, sources[number], number));
        else if (number >= CHILD_PASSPHRASE_FD)
            // A close of a number that is not open is no error to posix_spawn.
            check(posix_spawn_file_actions_addclose(&setup.actions, number));
    }
    // Descriptors that other threads or libraries opened without O_CLOEXEC are none of the child's
    // business either.
    check(posix_spawn_file_actions_addclosefrom_np(&setup.actions, FIRST_FREE_CHILD_FD));

    // sigfillset leaves out the two real-time signals glibc keeps for its threads, and posix_spawn then
    // has the child ignore them, which exec keeps; every bit set resets those too, as a shell would
    // leave them. Default dispositions and an empty mask because this program ignores SIGPIPE (as
    // GLib does) and threads block signals: a pipeline's writer relies on SIGPIPE to stop.
    sigset_t every, none;
    std::memset(&every, 0xff, sizeof every);
    sigemptyset(&none);
    short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    if (start.own_process_group) {
        flags |= POSIX_SPAWN_SETPGROUP;
        check(posix_spawnattr_setpgroup(&setup.attributes, 0));
    }
    check(posix_spawnattr_setflags(&setup.attributes, flags));
    check(posix_spawnattr_setsigdefault(&setup.attributes, &every));
    check(posix_spawnattr_setsigmask(&setup.attributes, &none));
    if (failed != 0) {
        result.failure = errno_text("posix_spawn", failed);
        return result;
    }

    std::vector<char*> argv;
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    if (start.environment) {
        for (const auto& entry : *start.environment)
            envp.push_back(const_cast<char*>(entry.c_str()));
        envp.push_back(nullptr);
    }
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0], &setup.actions, &setup.attributes, argv.data(),
                                     start.environment ? envp.data() : environ);
    if (spawned != 0)
        result.failure = errno_text(arguments[0].c_str(), spawned);
    else
        result.pid = pid;
    return result;
}

SigpipeBlock::SigpipeBlock()
{
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
    sigset_t pending;
    sigpending(&pending);
    was_pending_ = sigismember(&pending, SIGPIPE) == 1;
}

SigpipeBlock::~SigpipeBlock()
{
    sigset_t pending;
    sigpending(&pending);
    if (!was_pending_ && sigismember(&pending, SIGPIPE) == 1) {
        const timespec now{};
        sigtimedwait(&pipe_, nullptr, &now);
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
}

Child::~Child()
{
    if (!reaped_)
        stop();
}

bool Child::try_reap()
{
    if (!reaped_) {
        const pid_t got = waitpid(pid_, &status_, WNOHANG);
        reaped_ = got == pid_ || (got < 0 && errno == ECHILD);
    }
    return reaped_;
}

void Child::stop()
{
    kill(-pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + TERM_GRACE;
    while (std::chrono::steady_clock::now() < deadline) {
        // While the child is not reaped the group's id cannot be reused, so the group is still ours;
        // once it is reaped and the group is empty there is nothing left to signal.
        if (try_reap() && kill(-pid_, 0) != 0)
            return;
        sleep_briefly();
    }
    kill(-pid_, SIGKILL);
    while (!reaped_) {
        const pid_t got = waitpid(pid_, &status_, 0);
        reaped_ = got == pid_ || (got < 0 && errno != EINTR);
    }
}

ChildOutput run_for_output(const std::vector<std::string>& arguments, std::chrono::milliseconds timeout,
                           std::size_t output_limit, const std::atomic<bool>* stop)
{
    ChildOutput result;
    if (arguments.empty()) {
        result.failure = "nothing to run";
        return result;
    }
    Fd out_read, out_write, err_read, err_write;
    if (!make_pipe(out_read, out_write) || !make_pipe(err_read, err_write)) {
        result.failure = errno_text("pipe", errno);
        return result;
    }
    if (!set_nonblocking(out_read) || !set_nonblocking(err_read)) {
        result.failure = errno_text("fcntl", errno);
        return result;
    }
    ChildStart start;
    start.descriptors.output = out_write.get();
    start.descriptors.errors = err_write.get();
    const SpawnedChild spawned = spawn_child(arguments, start);
    if (spawned.pid < 0) {
        result.failure = spawned.failure;
        return result;
    }
    Child child(spawned.pid);
    out_write.reset();
    err_write.reset();

    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::array<char, 4096> chunk;
    bool too_much = false;
    const auto read_some = [&](Fd& fd, std::string& into, std::size_t limit) {
        for (;;) {
            const ssize_t got = read(fd.get(), chunk.data(), chunk.size());
            if (got > 0) {
                const std::size_t room = limit - std::min(limit, into.size());
                into.append(chunk.data(), std::min(room, static_cast<std::size_t>(got)));
                too_much = too_much || (&into == &result.output && static_cast<std::size_t>(got) > room);
                continue;
            }
            if (got < 0 && errno == EINTR)
                continue;
            if (!(got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)))
                fd.reset();
            return;
        }
    };
    bool timed_out = false;
    // A stop asked for from another thread is seen within a slice of the wait.
    constexpr std::chrono::milliseconds STOP_SLICE{50};
    const auto stopped = [stop] { return stop && stop->load(); };
    while ((out_read.open() || err_read.open()) && !too_much) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || stopped()) {
            timed_out = true;
            break;
        }
        if (stop)
            left = std::min(left, STOP_SLICE);
        std::array<pollfd, 2> fds{};
        fds[0] = {out_read.open() ? out_read.get() : -1, POLLIN, 0};
        fds[1] = {err_read.open() ? err_read.get() : -1, POLLIN, 0};
        if (poll(fds.data(), fds.size(), static_cast<int>(left.count())) < 0 && errno != EINTR) {
            result.failure = errno_text("poll", errno);
            return result; // the child is ended as it goes
        }
        if (out_read.open() && fds[0].revents != 0)
            read_some(out_read, result.output, output_limit);
        if (err_read.open() && fds[1].revents != 0)
            read_some(err_read, result.errors, ERROR_LIMIT);
    }
    // Its output is closed; the exit follows at once unless it left something running on it.
    while (!timed_out && !too_much && !child.try_reap()) {
        if (std::chrono::steady_clock::now() >= deadline || stopped())
            timed_out = true;
        else
            sleep_briefly();
    }
    if (!child.reaped())
        child.stop();
    if (timed_out) {
        result.failure = arguments[0] + " did not answer in time";
    } else if (too_much) {
        result.failure = arguments[0] + " wrote more than expected";
    } else if (WIFEXITED(child.status()) && WEXITSTATUS(child.status()) == 0) {
        result.exit_status = 0;
        result.succeeded = true;
    } else if (WIFSIGNALED(child.status())) {
        result.failure = arguments[0] + " ended by signal " + std::to_string(WTERMSIG(child.status()));
    } else {
        result.exit_status = WEXITSTATUS(child.status());
        result.failure = arguments[0] + " exited with status " + std::to_string(result.exit_status);
    }
    return result;
}

} // namespace sealkeep
