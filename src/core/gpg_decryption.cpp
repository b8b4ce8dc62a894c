// One gpg run: started without a shell in a process group of its own, fed the passphrase through a
// non-blocking pipe, read through one poll loop that cancel() can wake, and judged by its status.
#include "core/gpg_decryption.h"

#include "core/child_process.h"
#include "core/gpg_command.h"
#include "core/gpg_verdict.h"
#include "core/text_encoding.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace sealkeep {

namespace {

constexpr std::size_t ERROR_LIMIT = 64 * 1024;
constexpr std::size_t STATUS_LINE_LIMIT = 4096;
// A read takes what a pipe holds by default; fewer, larger reads keep pace with gpg.
constexpr std::size_t CHUNK_SIZE = 64 * 1024;
// gpg's output pipe holds this much where the system allows, so that gpg decrypts on while this thread
// is busy with the lines it read last.
constexpr int PLAINTEXT_PIPE_SIZE = 1 << 20;

// Cuts the plaintext into lines of any length, in a buffer that is overwritten before release.
class PlaintextLines {
public:
    PlaintextLines(const GpgDecryption::LineSink& sink, const std::atomic<bool>& cancelled)
        : sink_(sink), cancelled_(cancelled)
    {
        line_.reserve(256);
    }
    PlaintextLines(const PlaintextLines&) = delete;
    PlaintextLines& operator=(const PlaintextLines&) = delete;
    ~PlaintextLines() { scrub(line_); }

    // A line that lies whole in the chunk is handed on where it lies; only one cut by the chunk's
    // edge is gathered in the buffer.
    void feed(std::string_view data)
    {
        while (!data.empty() && !cancelled_.load()) {
            const std::size_t newline = data.find('\n');
            if (newline == std::string_view::npos) {
                append_secret(line_, data);
                return;
            }
            const std::string_view line = data.substr(0, newline + 1);
            data.remove_prefix(newline + 1);
            if (line_.empty()) {
                sink_(line);
            } else {
                append_secret(line_, line);
                hand_over();
            }
        }
    }

    // The last line of a file need not end in a line feed.
    void finish()
    {
        if (!line_.empty() && !cancelled_.load())
            hand_over();
    }

private:
    void hand_over()
    {
        sink_(line_);
        // clear() keeps the capacity, and the next line overwrites this one.
        explicit_bzero(line_.data(), line_.size());
        line_.clear();
    }

    const GpgDecryption::LineSink& sink_;
    const std::atomic<bool>& cancelled_;
    std::string line_;
};

// Status lines are folded into the summary as they complete; an overlong one is cut.
class StatusLines {
public:
    explicit StatusLines(GpgStatusSummary& summary) : summary_(summary) {}

    void feed(std::string_view data)
    {
        while (!data.empty()) {
            const std::size_t newline = data.find('\n');
            const std::string_view part = data.substr(0, newline);
            line_.append(part.substr(0, STATUS_LINE_LIMIT - std::min(STATUS_LINE_LIMIT, line_.size())));
            if (newline == std::string_view::npos)
                return;
            data.remove_prefix(newline + 1);
            finish();
        }
    }

    void finish()
    {
        if (!line_.empty())
            summary_.add(line_);
        line_.clear();
    }

private:
    GpgStatusSummary& summary_;
    std::string line_;
};

} // namespace

GpgDecryption::~GpgDecryption()
{
    std::lock_guard lock(mutex_);
    for (int& fd : wake_) {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
}

void GpgDecryption::cancel()
{
    cancelled_.store(true);
    std::lock_guard lock(mutex_);
    if (wake_[1] >= 0) {
        const char byte = 1;
        // A full pipe already holds a wake-up; nothing else can go wrong that matters here.
        (void)!write(wake_[1], &byte, 1);
    }
}

std::string GpgDecryption::error_text() const
{
    std::lock_guard lock(mutex_);
    return error_text_;
}

DecryptVerdict GpgDecryption::run(DecryptRequest request, const LineSink& sink)
{
    // The passphrase leaves the request at once, and every copy is overwritten however run() ends.
    std::string secret = std::move(request.passphrase);
    scrub(request.passphrase);
    struct SecretScrubber {
        std::string& secret;
        ~SecretScrubber() { scrub(secret); }
    } secret_scrubber{secret};

    {
        std::lock_guard lock(mutex_);
        error_text_.clear();
    }
    DecryptVerdict cancelled_verdict;
    cancelled_verdict.outcome = DecryptOutcome::Cancelled;
    if (cancelled_.load())
        return cancelled_verdict;

    GpgEnd end;
    std::string errors;
    const auto fail_to_start = [&](const char* what, int error) {
        end.started = false;
        end.start_error = errno_text(what, error);
        return judge_gpg_end(end);
    };

    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0)
        return fail_to_start("pipe", errno);
    Fd wake_read(wake[0]);
    {
        std::lock_guard lock(mutex_);
        wake_[1] = wake[1];
    }
    // cancel() may write to the wake pipe until this closes it.
    struct WakeCloser {
        GpgDecryption& self;
        ~WakeCloser()
        {
            std::lock_guard lock(self.mutex_);
            if (self.wake_[1] >= 0)
                close(self.wake_[1]);
            self.wake_[1] = -1;
        }
    } wake_closer{*this};
    if (cancelled_.load())
        return cancelled_verdict;

    Fd out_read, out_write, err_read, err_write, status_read, status_write, pass_read, pass_write;
    if (!make_pipe(out_read, out_write) || !make_pipe(err_read, err_write) || !make_pipe(status_read, status_write) ||
        !make_pipe(pass_read, pass_write))
        return fail_to_start("pipe", errno);
    // Only a wish: a smaller pipe still works, only with more waiting between the two.
    fcntl(out_read.get(), F_SETPIPE_SZ, PLAINTEXT_PIPE_SIZE);
    if (!set_nonblocking(out_read) || !set_nonblocking(err_read) || !set_nonblocking(status_read) ||
        !set_nonblocking(pass_write))
        return fail_to_start("fcntl", errno);

    // Nothing on its standard input; a process group of its own, so that a cancel reaches whatever
    // gpg started.
    ChildStart start;
    start.descriptors = {.output = out_write.get(),
                         .errors = err_write.get(),
                         .passphrase = pass_read.get(),
                         .status = status_write.get()};
    SigpipeBlock sigpipe_block;
    const SpawnedChild spawned =
        spawn_child(gpg_arguments(request.gpg_program, CHILD_STATUS_FD, CHILD_PASSPHRASE_FD, request.path), start);
    if (spawned.pid < 0) {
        end.started = false;
        end.start_error = spawned.failure;
        return judge_gpg_end(end);
    }
    Child child(spawned.pid);
    {
        std::lock_guard lock(mutex_);
        pid_ = spawned.pid;
    }
    // The child's ends: gpg must be the only writer, so that end of file means gpg is done with them.
    out_write.reset();
    err_write.reset();
    status_write.reset();
    pass_read.reset();

    std::string_view unwritten = secret;
    const auto passphrase_done = [&] {
        scrub(secret);
        unwritten = {};
        pass_write.reset();
    };
    if (unwritten.empty())
        passphrase_done();

    std::vector<char> chunk(CHUNK_SIZE);
    struct ChunkScrubber {
        std::vector<char>& chunk;
        ~ChunkScrubber() { explicit_bzero(chunk.data(), chunk.size()); }
    } chunk_scrubber{chunk};
    PlaintextLines plaintext(sink, cancelled_);
    StatusLines status(end.status);

    // One chunk per ready descriptor and round, so that a wake-up is never kept waiting behind a
    // stream that does not stop.
    enum class Read { Data, End, Again, Failed };
    const auto read_chunk = [&](Fd& fd, std::string_view& data) {
        for (;;) {
            const ssize_t got = read(fd.get(), chunk.data(), chunk.size());
            if (got > 0) {
                data = std::string_view(chunk.data(), static_cast<std::size_t>(got));
                return Read::Data;
            }
            if (got == 0) {
                fd.reset();
                return Read::End;
            }
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return Read::Again;
            end.read_failed = true;
            end.read_error = errno_text("read", errno);
            fd.reset();
            return Read::Failed;
        }
    };

    while (!cancelled_.load() && !end.read_failed && (out_read.open() || err_read.open() || status_read.open())) {
        std::array<pollfd, 5> fds{};
        std::size_t count = 0;
        fds[count++] = {wake_read.get(), POLLIN, 0};
        const auto watch = [&](const Fd& fd, short events) {
            const std::size_t index = count;
            // A closed descriptor is left out of the poll by its negative number.
            fds[count++] = {fd.open() ? fd.get() : -1, events, 0};
            return index;
        };
        const std::size_t out_index = watch(out_read, POLLIN);
        const std::size_t err_index = watch(err_read, POLLIN);
        const std::size_t status_index = watch(status_read, POLLIN);
        const std::size_t pass_index = watch(pass_write, POLLOUT);
        if (poll(fds.data(), count, -1) < 0) {
            if (errno == EINTR)
                continue;
            end.read_failed = true;
            end.read_error = errno_text("poll", errno);
            break;
        }
        if (fds[0].revents != 0 || cancelled_.load())
            break;

        if (pass_write.open() && fds[pass_index].revents != 0) {
            for (;;) {
                const ssize_t written = write(pass_write.get(), unwritten.data(), unwritten.size());
                if (written > 0) {
                    unwritten.remove_prefix(static_cast<std::size_t>(written));
                    if (unwritten.empty()) {
                        passphrase_done();
                        break;
                    }
                    continue;
                }
                if (written < 0 && errno == EINTR)
                    continue;
                // EAGAIN: the pipe is full until gpg reads on. Anything else (EPIPE: gpg will not
                // read the rest): the passphrase is given up, and gpg's own status tells the rest.
                if (!(written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)))
                    passphrase_done();
                break;
            }
        }

        std::string_view data;
        if (out_read.open() && fds[out_index].revents != 0) {
            const Read result = read_chunk(out_read, data);
            if (result == Read::Data)
                plaintext.feed(data);
            else if (result == Read::End)
                plaintext.finish();
        }
        if (err_read.open() && fds[err_index].revents != 0 && read_chunk(err_read, data) == Read::Data)
            errors.append(data.substr(0, ERROR_LIMIT - std::min(ERROR_LIMIT, errors.size())));
        if (status_read.open() && fds[status_index].revents != 0) {
            const Read result = read_chunk(status_read, data);
            if (result == Read::Data)
                status.feed(data);
            else if (result == Read::End)
                status.finish();
        }
    }
    passphrase_done();

    // gpg has closed its outputs; it may still take a moment to exit (or not exit at all, which
    // only a cancel can end).
    if (!cancelled_.load() && !end.read_failed) {
        while (!child.try_reap()) {
            pollfd wake{wake_read.get(), POLLIN, 0};
            if (poll(&wake, 1, 20) > 0 || cancelled_.load())
                break;
        }
    }
    const bool cancelled = cancelled_.load();
    out_read.reset();
    err_read.reset();
    status_read.reset();
    if (!child.reaped())
        child.stop();
    {
        std::lock_guard lock(mutex_);
        pid_ = -1;
        error_text_ = errors;
    }
    if (cancelled)
        return cancelled_verdict;

    end.exited = WIFEXITED(child.status());
    end.exit_code = end.exited ? WEXITSTATUS(child.status()) : -1;
    end.signal = WIFSIGNALED(child.status()) ? WTERMSIG(child.status()) : 0;
    end.errors = errors;
    return judge_gpg_end(end);
}

} // namespace sealkeep
