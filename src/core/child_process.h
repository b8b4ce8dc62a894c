// Pieces shared by the gpg runs: descriptors that close themselves, pipes for a child, SIGPIPE kept
// off the running thread, a started child that is always ended and reaped, and a short run whose
// output is gathered.
#pragma once

#include <chrono>
#include <cstddef>
#include <signal.h>
#include <string>
#include <sys/types.h>
#include <vector>

namespace sealkeep {

// Where a gpg child finds its extra descriptors; its arguments name them.
inline constexpr int CHILD_PASSPHRASE_FD = 3;
inline constexpr int CHILD_STATUS_FD = 4;
inline constexpr int FIRST_FREE_CHILD_FD = 5;

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    ~Fd() { reset(); }
    int get() const { return fd_; }
    bool open() const { return fd_ >= 0; }
    void reset(int fd = -1);
    // Gives the descriptor up without closing it.
    int release();

private:
    int fd_ = -1;
};

// A close-on-exec pipe.
bool make_pipe(Fd& read_end, Fd& write_end);
bool set_nonblocking(const Fd& fd);
// A descriptor the child is to find at 0..4 must not already sit at one of those numbers, or one
// dup2 would overwrite the source of another.
bool lift_above_child_fds(Fd& fd);

std::string errno_text(const char* what, int error);

// Writing to a pipe whose reader has gone raises SIGPIPE, and the program's own disposition of it
// is not ours to rely on; blocked on this thread, a write fails with EPIPE instead. A SIGPIPE that
// the run itself raised is taken back before the mask is restored.
class SigpipeBlock {
public:
    SigpipeBlock();
    SigpipeBlock(const SigpipeBlock&) = delete;
    SigpipeBlock& operator=(const SigpipeBlock&) = delete;
    ~SigpipeBlock();

private:
    sigset_t pipe_;
    sigset_t old_;
    bool was_pending_ = false;
};

// A started child in a process group of its own. Whatever way its runner is left, the group is ended
// and the child reaped.
class Child {
public:
    explicit Child(pid_t pid) : pid_(pid) {}
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child();

    bool reaped() const { return reaped_; }
    int status() const { return status_; }
    bool try_reap();
    // SIGTERM to the whole group (the child and whatever it started there), a short grace, then SIGKILL.
    void stop();

private:
    pid_t pid_;
    int status_ = 0;
    bool reaped_ = false;
};

// What a short child run gave back (see run_for_output).
struct ChildOutput {
    bool succeeded = false; // the child ran and exited with status 0
    int exit_status = -1;   // when it exited by itself in time; -1 otherwise
    std::string output;     // its standard output, up to the limit
    std::string errors;     // its standard error, up to a few kilobytes
    std::string failure;    // when it did not succeed: one line saying why
};

// Runs a program (no shell; looked up on PATH when it has no slash) with nothing on its standard input
// and gathers what it writes. A child that outlives the timeout, or writes more than `output_limit`
// bytes, is ended with its process group. Blocks the calling thread for at most about the timeout.
ChildOutput run_for_output(const std::vector<std::string>& arguments, std::chrono::milliseconds timeout,
                           std::size_t output_limit);

} // namespace sealkeep
