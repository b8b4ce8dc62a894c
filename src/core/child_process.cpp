// Descriptors, pipes and children for the gpg runs.
#include "core/child_process.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace sealkeep {

namespace {

constexpr auto TERM_GRACE = std::chrono::milliseconds(300);

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

bool lift_above_child_fds(Fd& fd)
{
    if (fd.get() >= FIRST_FREE_CHILD_FD)
        return true;
    const int lifted = fcntl(fd.get(), F_DUPFD_CLOEXEC, FIRST_FREE_CHILD_FD);
    if (lifted < 0)
        return false;
    fd.reset(lifted);
    return true;
}

std::string errno_text(const char* what, int error)
{
    return std::string(what) + ": " + strerror(error);
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

} // namespace sealkeep
