// The encrypting gpg run: one poll loop feeds the plaintext and the passphrase, reads the status and
// standard error, and wakes for cancel(). gpg writes the ciphertext itself, into the caller's file.
#include "core/gpg_encryption.h"

#include "core/child_process.h"
#include "core/gpg_command.h"
#include "core/status_words.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sealkeep {

namespace {

constexpr std::size_t ERROR_LIMIT = 16 * 1024;
constexpr std::size_t STATUS_LINE_LIMIT = 4096;
constexpr std::size_t WRITE_CHUNK = 64 * 1024;

// What the status lines of an encryption told.
struct EncryptStatus {
    bool end_encryption = false;
    bool failure = false;
    bool no_recipients = false;
    std::string invalid_recipient; // as gpg echoes the request
    int invalid_code = -1;
    std::string key_problem; // KEYEXPIRED / KEYREVOKED seen on the way

    void add(std::string_view line)
    {
        constexpr std::string_view PREFIX = "[GNUPG:] ";
        if (!line.starts_with(PREFIX))
            return;
        const auto w = words(line.substr(PREFIX.size()));
        if (w.empty())
            return;
        if (w[0] == "END_ENCRYPTION") {
            end_encryption = true;
        } else if (w[0] == "FAILURE" || w[0] == "ERROR") {
            failure = true;
        } else if (w[0] == "NO_RECP") {
            no_recipients = true;
        } else if (w[0] == "INV_RECP" && invalid_recipient.empty()) {
            // INV_RECP <reason> <requested recipient>
            invalid_code = w.size() > 1 ? std::atoi(std::string(w[1]).c_str()) : 0;
            invalid_recipient = w.size() > 2 ? std::string(w[2]) : std::string("?");
        } else if (w[0] == "KEYEXPIRED") {
            key_problem = "expired";
        } else if (w[0] == "KEYREVOKED") {
            key_problem = "revoked";
        }
    }
};

std::string last_message(std::string_view errors)
{
    std::string_view last;
    while (!errors.empty()) {
        const std::size_t end = std::min(errors.find('\n'), errors.size());
        const std::string_view line = errors.substr(0, end);
        if (!line.empty())
            last = line;
        errors.remove_prefix(std::min(end + 1, errors.size()));
    }
    if (const std::size_t colon = last.find(": ");
        colon != std::string_view::npos && last.substr(0, colon).find(' ') == std::string_view::npos)
        last.remove_prefix(colon + 2);
    return std::string(last);
}

} // namespace

std::string invalid_recipient_reason(int code)
{
    switch (code) {
    case 1:
        return "no public key";
    case 2:
        return "ambiguous name";
    case 3:
        return "the key cannot encrypt";
    case 4:
        return "key revoked";
    case 5:
        return "key expired";
    case 10:
        return "key not trusted";
    case 13:
        return "key disabled";
    default:
        return "unusable public key";
    }
}

GpgEncryption::~GpgEncryption()
{
    std::lock_guard lock(mutex_);
    if (wake_ >= 0)
        close(wake_);
    wake_ = -1;
}

void GpgEncryption::cancel()
{
    cancelled_.store(true);
    std::lock_guard lock(mutex_);
    if (wake_ >= 0) {
        const char byte = 1;
        (void)!write(wake_, &byte, 1);
    }
}

EncryptVerdict GpgEncryption::run(const EncryptRequest& request, std::string_view plaintext, int output_fd)
{
    EncryptVerdict verdict;
    const auto failed = [&](std::string reason) {
        verdict.outcome = EncryptOutcome::Failed;
        verdict.reason = std::move(reason);
        return verdict;
    };
    EncryptVerdict cancelled_verdict;
    cancelled_verdict.outcome = EncryptOutcome::Cancelled;
    if (cancelled_.load())
        return cancelled_verdict;
    for (const std::string& recipient : request.recipients) {
        // A hidden recipient (--throw-keyids) names no key that could be asked for again.
        if (recipient.find_first_not_of('0') == std::string::npos) {
            verdict.outcome = EncryptOutcome::RecipientUnusable;
            verdict.recipient = recipient;
            verdict.reason = "hidden recipient: the key cannot be known";
            return verdict;
        }
    }
    if (!request.symmetric && request.recipients.empty())
        return failed("neither a passphrase nor a recipient to encrypt for");

    int wake_ends[2];
    if (pipe2(wake_ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return failed(errno_text("pipe", errno));
    Fd wake_read(wake_ends[0]);
    {
        std::lock_guard lock(mutex_);
        wake_ = wake_ends[1];
    }
    struct WakeCloser {
        GpgEncryption& self;
        ~WakeCloser()
        {
            std::lock_guard lock(self.mutex_);
            if (self.wake_ >= 0)
                close(self.wake_);
            self.wake_ = -1;
        }
    } wake_closer{*this};
    if (cancelled_.load())
        return cancelled_verdict;

    // To spawn_child a missing descriptor means this program's own standard output: never the place for
    // the ciphertext.
    if (output_fd < 0)
        return failed(errno_text("fcntl", EBADF));
    Fd in_read, in_write, err_read, err_write, status_read, status_write, pass_read, pass_write;
    if (!make_pipe(in_read, in_write) || !make_pipe(err_read, err_write) || !make_pipe(status_read, status_write) ||
        !make_pipe(pass_read, pass_write))
        return failed(errno_text("pipe", errno));
    if (!set_nonblocking(in_write) || !set_nonblocking(err_read) || !set_nonblocking(status_read) ||
        !set_nonblocking(pass_write))
        return failed(errno_text("fcntl", errno));

    ChildStart start;
    start.descriptors = {.input = in_read.get(),
                         .output = output_fd,
                         .errors = err_write.get(),
                         .passphrase = pass_read.get(),
                         .status = status_write.get()};
    SigpipeBlock sigpipe_block;
    const SpawnedChild spawned =
        spawn_child(gpg_encrypt_arguments(request.gpg_program, CHILD_STATUS_FD, CHILD_PASSPHRASE_FD, request.symmetric,
                                          request.recipients),
                    start);
    if (spawned.pid < 0)
        return failed("cannot run gpg: " + spawned.failure);
    Child child(spawned.pid);
    // gpg holds the only other ends now: end of file on them means gpg is done.
    in_read.reset();
    err_write.reset();
    status_write.reset();
    pass_read.reset();

    std::string_view pass_left = request.symmetric ? request.passphrase.view() : std::string_view{};
    if (pass_left.empty())
        pass_write.reset();
    std::string_view plain_left = plaintext;
    if (plain_left.empty())
        in_write.reset();

    std::string errors;
    std::string status_line;
    EncryptStatus status;
    bool io_failed = false;
    std::string io_error;
    std::array<char, 4096> chunk;

    const auto write_some = [&](Fd& fd, std::string_view& left) {
        for (;;) {
            const ssize_t written = write(fd.get(), left.data(), std::min(left.size(), WRITE_CHUNK));
            if (written > 0) {
                left.remove_prefix(static_cast<std::size_t>(written));
                if (left.empty()) {
                    fd.reset();
                    return;
                }
                continue;
            }
            if (written < 0 && errno == EINTR)
                continue;
            // EAGAIN: full until gpg reads on. EPIPE: gpg will not read the rest; its status says why.
            if (!(written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)))
                fd.reset();
            return;
        }
    };
    const auto read_some = [&](Fd& fd, auto&& take) {
        for (;;) {
            const ssize_t got = read(fd.get(), chunk.data(), chunk.size());
            if (got > 0) {
                take(std::string_view(chunk.data(), static_cast<std::size_t>(got)));
                return;
            }
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return;
            if (got < 0) {
                io_failed = true;
                io_error = errno_text("read", errno);
            }
            fd.reset();
            return;
        }
    };
    const auto take_status = [&](std::string_view data) {
        while (!data.empty()) {
            const std::size_t newline = data.find('\n');
            const std::string_view part = data.substr(0, newline);
            status_line.append(part.substr(0, STATUS_LINE_LIMIT - std::min(STATUS_LINE_LIMIT, status_line.size())));
            if (newline == std::string_view::npos)
                return;
            data.remove_prefix(newline + 1);
            status.add(status_line);
            status_line.clear();
        }
    };
    const auto take_errors = [&](std::string_view data) {
        errors.append(data.substr(0, ERROR_LIMIT - std::min(ERROR_LIMIT, errors.size())));
    };

    while (!cancelled_.load() && !io_failed && (err_read.open() || status_read.open())) {
        std::array<pollfd, 5> fds{};
        fds[0] = {wake_read.get(), POLLIN, 0};
        fds[1] = {err_read.open() ? err_read.get() : -1, POLLIN, 0};
        fds[2] = {status_read.open() ? status_read.get() : -1, POLLIN, 0};
        fds[3] = {in_write.open() ? in_write.get() : -1, POLLOUT, 0};
        fds[4] = {pass_write.open() ? pass_write.get() : -1, POLLOUT, 0};
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            io_failed = true;
            io_error = errno_text("poll", errno);
            break;
        }
        if (fds[0].revents != 0 || cancelled_.load())
            break;
        if (pass_write.open() && fds[4].revents != 0)
            write_some(pass_write, pass_left);
        if (in_write.open() && fds[3].revents != 0)
            write_some(in_write, plain_left);
        if (err_read.open() && fds[1].revents != 0)
            read_some(err_read, take_errors);
        if (status_read.open() && fds[2].revents != 0)
            read_some(status_read, take_status);
    }
    if (!status_line.empty())
        status.add(status_line);
    in_write.reset();
    pass_write.reset();
    if (!cancelled_.load() && !io_failed) {
        while (!child.try_reap()) {
            pollfd wake{wake_read.get(), POLLIN, 0};
            if (poll(&wake, 1, 20) > 0 || cancelled_.load())
                break;
        }
    }
    if (!child.reaped())
        child.stop();
    if (cancelled_.load())
        return cancelled_verdict;
    if (io_failed)
        return failed(io_error);

    if (!status.invalid_recipient.empty()) {
        verdict.outcome = EncryptOutcome::RecipientUnusable;
        verdict.recipient = status.invalid_recipient;
        verdict.reason = invalid_recipient_reason(status.invalid_code);
        // gpg gives "0: no specific reason" for an expired or revoked key and says which on its own line.
        if (status.invalid_code == 0)
            verdict.reason = status.key_problem.empty() ? "key revoked or not usable" : "key " + status.key_problem;
        return verdict;
    }
    const int code = child.status();
    if (WIFEXITED(code) && WEXITSTATUS(code) == 0 && status.end_encryption && !status.failure && plain_left.empty())
        return {EncryptOutcome::Encrypted, {}, {}};
    if (WIFSIGNALED(code))
        return failed("gpg ended by signal " + std::to_string(WTERMSIG(code)));
    std::string message = last_message(errors);
    if (message.empty())
        message = status.no_recipients
                      ? "no valid recipients"
                      : "gpg exited with status " + std::to_string(WIFEXITED(code) ? WEXITSTATUS(code) : -1);
    return failed(message);
}

} // namespace sealkeep
