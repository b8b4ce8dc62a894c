// The private socket behind Log in. Who may connect: only processes of this user (the folder is 0700
// and the peer's uid is checked with SO_PEERCRED on every connection). What a connection may get: the
// password of one account of a live launch, once, for the token that launch's command was given and
// ssh's own password prompt for that account's user and host.
#include "ui/actions/login_service.h"

#include "core/login_protocol.h"
#include "core/ssh_destination.h"
#include "core/text_encoding.h"
#include "ui/actions/command_runner.h"
#include "ui/i18n.h"
#include "ui/status/status_row.h"

#include <glib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace sealkeep {

// A Log in waiting for ssh to say how it reaches the accounts' hosts. The thread asking holds it too: the
// login it belongs to is forgotten (null) when that goes first, or when its records go (a lock, Refresh).
struct PendingLogin {
    Login* login = nullptr;
    std::string command_line;
    std::string helper;
    std::vector<LoginAccount> accounts;
    std::atomic<bool> stop{false};
};

// A helper being served: what it has sent so far, until it closes its writing half.
struct LoginConnection {
    LoginConnection(const LoginConnection&) = delete;
    LoginConnection& operator=(const LoginConnection&) = delete;
    LoginConnection(Login& login, RefPtr<GSocket> socket) : login(&login), socket(std::move(socket)) {}
    ~LoginConnection()
    {
        if (source) {
            g_source_destroy(source);
            g_source_unref(source);
        }
        if (timeout)
            g_source_remove(timeout);
        scrub(received);
    }

    Login* login;
    RefPtr<GSocket> socket;
    GSource* source = nullptr;
    guint timeout = 0;
    std::string received;
};

namespace {

// A helper that connects and then says nothing is dropped after this long.
constexpr guint CONNECTION_SECONDS = 10;

std::string format(const char* format, const std::string& a, const std::string& b)
{
    GCharPtr text{g_strdup_printf(format, display_text(a).c_str(), display_text(b).c_str())};
    return text.get();
}

void drop_connection(Login& login, LoginConnection* connection)
{
    if (!login.service)
        return;
    std::erase_if(login.service->connections, [connection](const auto& c) { return c.get() == connection; });
}

std::string declined_text(const DeclinedPrompt& declined)
{
    GCharPtr name{g_strdup(display_text(declined.name).c_str())};
    const char* text = nullptr;
    switch (declined.kind) {
    case DeclinedPromptKind::HostKey:
        text = _("ssh asked to confirm the host key of %s: connect once with Execute, or set "
                 "StrictHostKeyChecking=accept-new.");
        break;
    case DeclinedPromptKind::KeyPassphrase:
        text = _("ssh asked for the passphrase of the key %s; Log in answers only password prompts: add the "
                 "key to your agent with ssh-add.");
        break;
    case DeclinedPromptKind::ServerQuestion:
        text = _("%s asked a question other than the password (a one-time code, say): log in with Execute "
                 "and answer it yourself.");
        break;
    case DeclinedPromptKind::Other:
        return _("ssh asked something Log in does not answer: log in with Execute and answer it yourself.");
    }
    GCharPtr line{g_strdup_printf(text, name.get())};
    return line.get();
}

// The reply to one whole request, and what the status bar says about it.
std::string answer(Login& login, std::string_view request_bytes)
{
    std::optional<LoginRequest> request = decode_login_request(request_bytes);
    if (!request)
        return encode_login_refusal();
    LoginDecision decision = login.service->tokens.ask(request->token, request->prompt, LoginTokens::Clock::now());
    switch (decision.verdict) {
    case LoginVerdict::Answer: {
        std::string password = decision.record->password();
        std::string reply = encode_login_password(password);
        scrub(password);
        login.status.say(format(_("Password handed to ssh for %s@%s."), decision.user, decision.host));
        return reply;
    }
    case LoginVerdict::Refused:
        login.status.say(format(_("%s refused the password of %s."), decision.host, decision.user));
        break;
    case LoginVerdict::NoSuchAccount:
        login.status.say(format(_("Log in has no selected account for %s@%s."), decision.user, decision.host));
        break;
    case LoginVerdict::NotPasswordPrompt:
        // A question of a launch of ours that is not ours to answer: the helper declines, and the status
        // bar says which it was and the way out.
        login.status.say(declined_text(describe_declined_prompt(request->prompt)));
        login.explained.push_back(request->token);
        break;
    case LoginVerdict::UnknownToken:
        // A token that is no longer good: nothing to tell, ssh says what it makes of the refusal.
        break;
    }
    return encode_login_refusal();
}

gboolean on_connection_timeout(gpointer data)
{
    auto* connection = static_cast<LoginConnection*>(data);
    connection->timeout = 0;
    drop_connection(*connection->login, connection);
    return G_SOURCE_REMOVE;
}

gboolean on_connection_ready(GSocket* socket, GIOCondition, gpointer data)
{
    auto* connection = static_cast<LoginConnection*>(data);
    Login& login = *connection->login;
    char buffer[1024];
    for (;;) {
        GErrorPtr error;
        const gssize n = g_socket_receive(socket, buffer, sizeof(buffer), nullptr, GErrorOut(error));
        if (n < 0 && g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_WOULD_BLOCK))
            return G_SOURCE_CONTINUE;
        if (n < 0 || connection->received.size() + static_cast<std::size_t>(n) > LOGIN_REQUEST_MAX) {
            drop_connection(login, connection);
            return G_SOURCE_REMOVE;
        }
        if (n == 0)
            break;
        connection->received.append(buffer, static_cast<std::size_t>(n));
    }
    std::string reply = answer(login, connection->received);
    // A reply is a few bytes and the socket's buffer is empty: it goes in one send or not at all, and a
    // helper that gets nothing declines.
    g_socket_send(socket, reply.data(), reply.size(), nullptr, nullptr);
    scrub(reply);
    drop_connection(login, connection);
    return G_SOURCE_REMOVE;
}

bool same_user(GSocket* socket)
{
    ucred credentials{};
    socklen_t length = sizeof(credentials);
    if (getsockopt(g_socket_get_fd(socket), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
        return false;
    return length == sizeof(credentials) && credentials.uid == getuid();
}

gboolean on_listener_ready(GSocket* listener, GIOCondition, gpointer data)
{
    Login& login = *static_cast<Login*>(data);
    for (;;) {
        GErrorPtr error;
        RefPtr<GSocket> socket = take_ref(g_socket_accept(listener, nullptr, GErrorOut(error)));
        if (!socket)
            return G_SOURCE_CONTINUE;
        // Another user's process never gets as far as being read: it cannot open the folder, and if the
        // folder were opened to it by mistake, its uid still does not match ours.
        if (!same_user(socket.get()))
            continue;
        g_socket_set_blocking(socket.get(), FALSE);
        auto connection = std::make_unique<LoginConnection>(login, std::move(socket));
        connection->source = g_socket_create_source(connection->socket.get(),
                                                    static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), nullptr);
        g_source_set_callback(connection->source, G_SOURCE_FUNC(on_connection_ready),
                              connection.get(), nullptr);
        g_source_attach(connection->source, nullptr);
        connection->timeout = g_timeout_add_seconds(CONNECTION_SECONDS, on_connection_timeout, connection.get());
        login.service->connections.push_back(std::move(connection));
    }
}

// The folder for the socket: in the user's runtime folder when there is one (itself private to the
// user), else in the temporary folder; mkdtemp makes it 0700 either way.
std::string make_private_directory()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string base = runtime && *runtime && g_file_test(runtime, G_FILE_TEST_IS_DIR) ? runtime : g_get_tmp_dir();
    std::string pattern = base + "/sealkeep-login-XXXXXX";
    if (!mkdtemp(pattern.data()))
        return {};
    return pattern;
}

// Listens on a new socket in a new private folder; an error message, or empty on success.
std::string start_listening(Login& login)
{
    auto service = std::make_unique<LoginService>();
    service->directory = make_private_directory();
    if (service->directory.empty())
        return std::strerror(errno);
    service->socket_path = service->directory + "/socket";

    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (service->socket_path.size() >= sizeof(address.sun_path))
        return _("the path of the socket is too long");
    std::memcpy(address.sun_path, service->socket_path.c_str(), service->socket_path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return std::strerror(errno);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
        chmod(service->socket_path.c_str(), 0600) != 0 || listen(fd, 16) != 0) {
        const int saved = errno;
        close(fd);
        return std::strerror(saved);
    }
    GErrorPtr error;
    service->listener = take_ref(g_socket_new_from_fd(fd, GErrorOut(error)));
    if (!service->listener) {
        close(fd);
        return error->message;
    }
    g_socket_set_blocking(service->listener.get(), FALSE);
    service->accept_source = g_socket_create_source(service->listener.get(), G_IO_IN, nullptr);
    g_source_set_callback(service->accept_source, G_SOURCE_FUNC(on_listener_ready), &login, nullptr);
    g_source_attach(service->accept_source, nullptr);
    login.service = std::move(service);
    return {};
}

} // namespace

LoginService::~LoginService()
{
    tokens.revoke_all();
    connections.clear();
    if (accept_source) {
        g_source_destroy(accept_source);
        g_source_unref(accept_source);
    }
    if (listener)
        g_socket_close(listener.get(), nullptr);
    if (!socket_path.empty())
        unlink(socket_path.c_str());
    if (!directory.empty())
        rmdir(directory.c_str());
}

std::string default_login_helper()
{
    GCharPtr self{g_file_read_link("/proc/self/exe", nullptr)};
    if (!self)
        return "sealkeep-askpass";
    GCharPtr directory{g_path_get_dirname(self.get())};
    return std::string(directory.get()) + "/sealkeep-askpass";
}

namespace {

// Starts the command of a Log in whose accounts know how ssh reaches their hosts.
bool launch(Login& login, const std::string& command_line, const std::string& helper, std::vector<LoginAccount> accounts)
{
    if (!login.service) {
        std::string problem = start_listening(login);
        if (!problem.empty()) {
            GCharPtr text{g_strdup_printf(_("Cannot log in: %s"), display_text(problem).c_str())};
            login.status.say(text.get());
            return false;
        }
    }
    std::string token = login.service->tokens.issue(std::move(accounts), LoginTokens::Clock::now());
    if (token.empty()) {
        login.status.say(_("Cannot log in: no random token could be made."));
        return false;
    }
    CommandExtras extras;
    extras.environment = {
        "SSH_ASKPASS=" + helper,
        "SSH_ASKPASS_REQUIRE=force",
        std::string(LOGIN_SOCKET_VARIABLE) + "=" + login.service->socket_path,
        std::string(LOGIN_TOKEN_VARIABLE) + "=" + token,
    };
    Login* owner = &login;
    const auto report = [owner, token](const std::string& message) {
        const auto explained = std::ranges::find(owner->explained, token);
        if (explained != owner->explained.end()) {
            owner->explained.erase(explained);
            return;
        }
        owner->status.say(message);
    };
    if (start_command_line(command_line, report, std::move(extras)))
        return true;
    login.service->tokens.end(token);
    return false;
}

// How long ssh may take to say how it reaches one host: it reads files only, unless the configuration
// runs a command (a Match exec), which must not hold a Log in up for long.
constexpr std::chrono::milliseconds RESOLVE_TIMEOUT{3000};

void resolve_in_thread(GTask* task, gpointer, gpointer data, GCancellable*)
{
    PendingLogin& pending = **static_cast<std::shared_ptr<PendingLogin>*>(data);
    std::vector<std::pair<std::string, std::optional<SshDestination>>> asked;
    for (LoginAccount& account : pending.accounts) {
        if (pending.stop)
            break;
        auto known = std::ranges::find(asked, account.host, &decltype(asked)::value_type::first);
        if (known == asked.end()) {
            asked.emplace_back(account.host, resolve_ssh_destination(account.host, RESOLVE_TIMEOUT, &pending.stop));
            known = asked.end() - 1;
        }
        if (known->second) {
            account.configured_user = known->second->user;
            account.configured_host = known->second->hostname;
        }
    }
    g_task_return_boolean(task, TRUE);
}

void on_resolved(GObject*, GAsyncResult* result, gpointer)
{
    std::shared_ptr<PendingLogin> pending = *static_cast<std::shared_ptr<PendingLogin>*>(g_task_get_task_data(G_TASK(result)));
    Login* login = pending->login;
    // The window went, or a lock, Refresh or a load took the records meanwhile: nothing is launched.
    if (!login)
        return;
    std::erase(login->resolving, pending);
    launch(*login, pending->command_line, pending->helper, std::move(pending->accounts));
}

void stop_resolving(Login& login)
{
    for (const auto& pending : login.resolving) {
        pending->stop = true;
        pending->login = nullptr;
    }
    login.resolving.clear();
}

} // namespace

Login::~Login()
{
    stop_resolving(*this);
}

bool start_login(Login& login, const std::string& command_line, std::vector<LoginAccount> accounts)
{
    if (command_line.empty())
        return false;
    const std::string helper = login.helper.empty() ? default_login_helper() : login.helper;
    if (!g_file_test(helper.c_str(), G_FILE_TEST_IS_EXECUTABLE)) {
        GCharPtr text{g_strdup_printf(_("Cannot log in: the helper %s is missing."), display_text(helper).c_str())};
        login.status.say(text.get());
        return false;
    }
    // ssh is asked first, beside the main loop, how it reaches each host (an alias, a User line): its
    // prompt names the host and user it resolved. The command starts when every answer is in.
    auto pending = std::make_shared<PendingLogin>();
    pending->login = &login;
    pending->command_line = command_line;
    pending->helper = helper;
    pending->accounts = std::move(accounts);
    login.resolving.push_back(pending);
    GTask* task = g_task_new(nullptr, nullptr, on_resolved, nullptr);
    g_task_set_task_data(task, new std::shared_ptr<PendingLogin>(pending),
                         [](gpointer data) { delete static_cast<std::shared_ptr<PendingLogin>*>(data); });
    g_task_run_in_thread(task, resolve_in_thread);
    g_object_unref(task);
    return true;
}

void revoke_login_tokens(Login& login)
{
    // A Log in still asking ssh launches nothing: its records are going.
    stop_resolving(login);
    login.explained.clear();
    if (login.service)
        login.service->tokens.revoke_all();
}

void stop_login_service(Login& login)
{
    stop_resolving(login);
    login.service.reset();
}

} // namespace sealkeep
