// The load: hands the passphrase to gpg over a pipe, reads the plaintext from gpg's standard output
// and parses it line by line. The plaintext lives only in buffers that are overwritten before release.
#include "core/record_reader.h"

#include "core/settings_values.h"
#include "core/gpg_command.h"
#include "core/text_encoding.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <memory>

#include <fcntl.h>
#include <string.h>
#include <unistd.h>

namespace sealkeep {

// Set by the passphrase prompt before a load and overwritten by it afterwards.
std::string passphrase;

namespace {

constexpr std::string_view PIPE_FAILURE = "Failed to open pipe\n";

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { close(fd_); }
    int get() const { return fd_; }

private:
    int fd_;
};

struct CloseCommand {
    void operator()(FILE* stream) const noexcept
    {
        // pclose waits for the command; its exit status says nothing we act on (a failed
        // decryption is simply an empty output).
        pclose(stream);
    }
};
using CommandStream = std::unique_ptr<FILE, CloseCommand>;

// Nobody reads the pipe until gpg runs, so a blocking write of a passphrase larger than the pipe's
// buffer would wait forever. Non-blocking, a full pipe shows as a short write instead.
bool hand_over(int write_fd, std::string_view text)
{
    const int flags = fcntl(write_fd, F_GETFL);
    if (flags == -1 || fcntl(write_fd, F_SETFL, flags | O_NONBLOCK) == -1)
        return false;
    while (!text.empty()) {
        const ssize_t written = write(write_fd, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Appends to a buffer that holds plaintext. When it has to grow, the old buffer is overwritten
// before it is freed, which a plain append (or getline's realloc) would not do.
void append_secret(std::string& buffer, std::string_view bytes)
{
    if (buffer.size() + bytes.size() > buffer.capacity()) {
        std::string bigger;
        bigger.reserve(std::max(buffer.capacity() * 2, buffer.size() + bytes.size()));
        bigger.append(buffer);
        scrub(buffer);
        buffer.swap(bigger);
    }
    buffer.append(bytes);
}

class LineHandler {
public:
    LineHandler(const AddLine& add_line, FILE* errors) : add_line_(add_line), errors_(errors) {}

    void operator()(const std::string& line)
    {
        // gpg may print its warnings on standard output too; they are no concern of the user's.
        if (is_gpg_warning_line(line))
            return;
        const auto record = parse_record_line(line);
        if (!record) {
            // %s prints a line that holds a NUL up to the NUL, which is all that can be shown of it.
            fprintf(errors_, "WARNING: not matched: %s\n", line.c_str());
            return;
        }
        add_line_(*record);
        result_ = 1;
    }

    int result() const { return result_; }

private:
    const AddLine& add_line_;
    FILE* errors_;
    int result_ = 0;
};

// Reads the command's output with read(2) into buffers of our own rather than through stdio, whose
// buffer would be freed by pclose with the plaintext still in it. Lines of any length come whole.
int read_lines(FILE* stream, const AddLine& add_line, FILE* errors)
{
    std::array<char, 4096> chunk;
    std::string line;
    line.reserve(256);
    struct Scrubber {
        std::array<char, 4096>& chunk;
        std::string& line;
        ~Scrubber()
        {
            explicit_bzero(chunk.data(), chunk.size());
            scrub(line);
        }
    } scrubber{chunk, line};

    LineHandler handle(add_line, errors);
    const int fd = fileno(stream);
    for (;;) {
        const ssize_t got = read(fd, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        std::string_view data(chunk.data(), static_cast<std::size_t>(got));
        while (!data.empty()) {
            const std::size_t newline = data.find('\n');
            const std::size_t take = newline == std::string_view::npos ? data.size() : newline + 1;
            append_secret(line, data.substr(0, take));
            data.remove_prefix(take);
            if (newline != std::string_view::npos) {
                handle(line);
                line.clear();
            }
        }
    }
    // The last line of a file need not end in a line feed.
    if (!line.empty())
        handle(line);
    return handle.result();
}

} // namespace

int read_record_lines(std::string_view passphrase_text, std::string_view path, const AddLine& add_line, FILE* errors)
{
    int ends[2];
    if (pipe(ends) != 0) {
        fwrite(PIPE_FAILURE.data(), 1, PIPE_FAILURE.size(), errors);
        return 0;
    }
    // gpg inherits the read end through the shell, so it stays open (and inheritable) until the
    // command has ended; it is declared first so that it is closed after pclose.
    Descriptor read_end(ends[0]);
    {
        // Closed before popen: gpg must see end of file right after the passphrase, and must not
        // hold a write end of its own.
        Descriptor write_end(ends[1]);
        if (!hand_over(write_end.get(), passphrase_text)) {
            // Deliberately silent, like a wrong passphrase: the load finds nothing.
            return 0;
        }
    }

    const std::string command = gpg_command(read_end.get(), path);
    CommandStream stream(popen(command.c_str(), "r"));
    if (!stream) {
        fwrite(PIPE_FAILURE.data(), 1, PIPE_FAILURE.size(), errors);
        return 0;
    }
    return read_lines(stream.get(), add_line, errors);
}

int read_record_lines(const AddLine& add_line)
{
    // The shell does not expand a tilde between double quotes, and "~/" is how paths are stored.
    std::string path = password_file_path;
    const char* home = getenv("HOME");
    if (path.starts_with("~/") && home && *home)
        path = std::string(home) + path.substr(1);
    return read_record_lines(passphrase, path, add_line);
}

} // namespace sealkeep
