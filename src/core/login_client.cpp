// Connects, writes the request, closes the writing half so that Sealkeep knows it has all of it, and
// reads the reply to its end, never waiting longer than the time given.
#include "core/login_client.h"

#include "core/login_protocol.h"
#include "core/text_encoding.h"

#include <cerrno>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace sealkeep {

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

using Clock = std::chrono::steady_clock;

// Waits until the socket is ready for `events` or the deadline passes.
bool wait_for(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd entry{fd, events, 0};
        const int ready = poll(&entry, 1, static_cast<int>(left.count()));
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
    }
}

} // namespace

std::optional<std::string> ask_for_login_password(const std::string& socket_path, const std::string& token,
                                                  const std::string& prompt, std::chrono::milliseconds timeout)
{
    const Clock::time_point deadline = Clock::now() + timeout;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socket_path.empty() || socket_path.size() >= sizeof(address.sun_path))
        return std::nullopt;
    std::memcpy(address.sun_path, socket_path.c_str(), socket_path.size() + 1);

    Descriptor socket_fd{socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)};
    if (socket_fd.get() < 0 ||
        connect(socket_fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0)
        return std::nullopt;

    const std::string request = encode_login_request({token, prompt});
    std::size_t sent = 0;
    while (sent < request.size()) {
        if (!wait_for(socket_fd.get(), POLLOUT, deadline))
            return std::nullopt;
        const ssize_t n = send(socket_fd.get(), request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return std::nullopt;
        sent += static_cast<std::size_t>(n);
    }
    shutdown(socket_fd.get(), SHUT_WR);

    std::string reply;
    char buffer[512];
    for (;;) {
        if (!wait_for(socket_fd.get(), POLLIN, deadline)) {
            scrub(reply);
            return std::nullopt;
        }
        const ssize_t n = recv(socket_fd.get(), buffer, sizeof(buffer), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            scrub(reply);
            explicit_bzero(buffer, sizeof(buffer));
            return std::nullopt;
        }
        if (n == 0)
            break;
        append_secret(reply, std::string_view(buffer, static_cast<std::size_t>(n)));
        if (reply.size() > LOGIN_REQUEST_MAX * 16) {
            scrub(reply);
            explicit_bzero(buffer, sizeof(buffer));
            return std::nullopt;
        }
    }
    explicit_bzero(buffer, sizeof(buffer));
    std::optional<std::string> password = decode_login_reply(reply);
    scrub(reply);
    return password;
}

} // namespace sealkeep
