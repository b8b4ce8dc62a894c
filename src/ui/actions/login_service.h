// Log in's side of the private socket: a listening Unix socket in a folder only the user can open,
// the tokens of the launches that may still be answered, and the connections of helpers being served.
// Everything runs on the main loop from sources on non-blocking sockets; nothing here waits.
#pragma once

#include "core/login_tokens.h"
#include "ui/glib_ptr.h"

#include <gio/gio.h>

#include <memory>
#include <string>
#include <vector>

namespace sealkeep {

class StatusRow;
struct LoginConnection;
struct PendingLogin;

struct LoginService {
    LoginService() = default;
    LoginService(const LoginService&) = delete;
    LoginService& operator=(const LoginService&) = delete;
    // Stops listening, drops every connection and token, removes the socket and its folder.
    ~LoginService();

    std::string directory; // made for this process, mode 0700
    std::string socket_path;
    RefPtr<GSocket> listener;
    GSource* accept_source = nullptr;
    LoginTokens tokens;
    std::vector<std::unique_ptr<LoginConnection>> connections;
};

// Log in as the window has it: the helper ssh runs, and the service from the first Log in on.
struct Login {
    explicit Login(StatusRow& status) : status(status) {}
    Login(const Login&) = delete;
    Login& operator=(const Login&) = delete;
    // A Log in still asking ssh launches nothing.
    ~Login();
    StatusRow& status;                     // says what happened to a Log in
    std::string helper;                    // the password helper ssh runs; empty: the one beside the binary
    std::unique_ptr<LoginService> service; // null until the first Log in
    // Launches whose declined question the status bar explains: their command's failure, which follows
    // at once (ssh gives up), does not replace the explanation.
    std::vector<std::string> explained;
    // Log ins asking ssh how it reaches their hosts; a lock, Refresh or load lets go of them, and they
    // launch nothing.
    std::vector<std::shared_ptr<PendingLogin>> resolving;
};

// The helper installed beside the running binary.
std::string default_login_helper();

// Runs `command_line` as Execute does, with ssh pointed at the helper and a new token that answers
// the password prompts of `accounts` for this launch. ssh is asked first, beside the main loop and
// bounded in time, how it reaches each account's host (`ssh -G`), so that a prompt naming the host or
// user of an alias is answered too; the command starts once every answer is in. Starts listening at
// the first launch. What goes wrong is said in the status bar; returns whether the Log in was begun.
bool start_login(Login& login, const std::string& command_line, std::vector<LoginAccount> accounts);

// No token given so far answers anything any more.
void revoke_login_tokens(Login& login);

// Revokes every token, stops listening and removes the socket (Quit, the window going).
void stop_login_service(Login& login);

} // namespace sealkeep
