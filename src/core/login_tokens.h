// The launches that Log in started and may still answer a password prompt for: each has a token that
// its command was given, the accounts it logs into, and the time after which it answers nothing.
#pragma once

#include "core/entry_record.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sealkeep {

// How long after its start a launch's token is good: enough for ssh to connect to a cluster's servers,
// short enough that a token found later in a process's environment is worth nothing.
inline constexpr std::chrono::seconds LOGIN_TOKEN_LIFETIME{60};

// One account of a launch: the user and host ssh will name in its prompt, and the record whose
// password answers it. ssh's configuration may change both (a Host alias with its HostName, a User
// line): what ssh says it will use stands beside them, empty where it was not asked or did not say.
struct LoginAccount {
    std::string user;
    std::string host;
    EntryRecord record;
    std::string configured_user;
    std::string configured_host;
};

enum class LoginVerdict {
    Answer,            // the record's password goes to the helper
    Refused,           // every account for this user and host has had its answer: ssh asks again because
                       // the server refused it, and gets nothing more
    UnknownToken,      // no such token, or its time is up, or it was revoked
    NotPasswordPrompt, // a host key, a passphrase, a second factor: never answered with a password
    NoSuchAccount,     // the launch logs into no account with this user and host
};

struct LoginDecision {
    LoginVerdict verdict;
    std::string user; // from the prompt, for Answer and Refused
    std::string host;
    const EntryRecord* record = nullptr; // for Answer; valid until the tokens change
};

class LoginTokens {
public:
    using Clock = std::chrono::steady_clock;

    explicit LoginTokens(Clock::duration lifetime = LOGIN_TOKEN_LIFETIME) : lifetime_(lifetime) {}

    // A new launch over these accounts, good from `now` for the lifetime; its token, or empty when no
    // random token could be made (the launch then gets no password).
    std::string issue(std::vector<LoginAccount> accounts, Clock::time_point now);

    // What to answer the helper that presents `token` with ssh's `prompt` at `now`. Each account of a
    // launch is answered once. A prompt is for an account when it names the account's user or its
    // configured user, and its host or its configured host; host names compare whole and without regard
    // to ASCII case (a trailing dot makes another name), users exactly.
    LoginDecision ask(std::string_view token, std::string_view prompt, Clock::time_point now);

    // The launch of this token answers nothing more (its command could not start).
    void end(std::string_view token);

    // Every token stops being good (a lock, Refresh, Quit, or the records going).
    void revoke_all();

    // Launches whose tokens are still held (expired ones go at the next issue or ask).
    std::size_t size() const { return launches_.size(); }

private:
    struct Launch {
        std::string token;
        Clock::time_point expiry;
        std::vector<LoginAccount> accounts;
        std::vector<bool> answered;
    };

    void forget_expired(Clock::time_point now);

    Clock::duration lifetime_;
    std::vector<Launch> launches_;
};

} // namespace sealkeep
