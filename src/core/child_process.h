// Children of this program and the pieces around them: the one function that starts a child, descriptors
// that close themselves, pipes for a child, SIGPIPE kept off the running thread, a started child that is
// always ended and reaped, and a short run whose output is gathered.
#pragma once

#include <atomic>
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

std::string errno_text(const char* what, int error);

// Which of this program's descriptors a child finds at its own numbers. They may sit at any number
// (spawn_child moves them out of the child's way) and are best close-on-exec, so that no other child
// gets them.
struct ChildDescriptors {
    int input = -1;      // standard input; -1: /dev/null
    int output = -1;     // standard output; -1: this program's own
    int errors = -1;     // standard error; -1: this program's own
    int passphrase = -1; // at CHILD_PASSPHRASE_FD; -1: nothing there
    int status = -1;     // at CHILD_STATUS_FD; -1: nothing there
};

struct ChildStart {
    ChildDescriptors descriptors;
    // The child's whole environment, "NAME=value" entries; null: this program's environment as it is.
    const std::vector<std::string>* environment = nullptr;
    // A group of its own, so that ending the group ends whatever the child started too. A command the
    // user runs stays in ours, as if started from a terminal.
    bool own_process_group = true;
};

struct SpawnedChild {
    pid_t pid = -1;      // the child, when it started; the caller reaps it
    std::string failure; // otherwise one line saying why, such as "gpg: No such file or directory"
};

// Starts a program (no shell; looked up on PATH when it has no slash) as if from a clean slate: all
// signals at their default disposition, none blocked, and no descriptor above 2 but the ones `start` names,
// whatever this program did to its own. Thread-safe; no code of ours runs in the child.
SpawnedChild spawn_child(const std::vector<std::string>& arguments, const ChildStart& start);

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

// A child started in a process group of its own. Whatever way its runner is left, the group is ended
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
// bytes, is ended with its process group. Blocks the calling thread for at most about the timeout; `stop`,
// set from another thread, ends the child as the timeout does, within a twentieth of a second.
ChildOutput run_for_output(const std::vector<std::string>& arguments, std::chrono::milliseconds timeout,
                           std::size_t output_limit, const std::atomic<bool>* stop = nullptr);

} // namespace sealkeep
