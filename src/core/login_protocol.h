// What passes between a launched ssh's password helper and the running Sealkeep: the names of the
// variables that tell the helper where to ask and with which token, the one request and its reply on
// the private socket, and which prompts of ssh are the password prompt at all.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace sealkeep {

// Set in the environment of a Log in launch, beside SSH_ASKPASS and SSH_ASKPASS_REQUIRE. Neither is a
// secret by itself: the socket admits only the user's own processes, and a token yields nothing after
// its launch.
inline constexpr const char* LOGIN_SOCKET_VARIABLE = "SEALKEEP_LOGIN_SOCKET";
inline constexpr const char* LOGIN_TOKEN_VARIABLE = "SEALKEEP_LOGIN_TOKEN";

// A request never needs more: a token and one line of ssh's prompt.
inline constexpr std::size_t LOGIN_REQUEST_MAX = 4096;
// Bytes of randomness in a token; it travels as twice as many hexadecimal digits.
inline constexpr std::size_t LOGIN_TOKEN_BYTES = 32;

// The user and host ssh names in its password prompt ("user@host's password: ").
struct PasswordPrompt {
    std::string user;
    std::string host;
};

// A password prompt, and nothing else. ssh's own ("user@host's password: "), or a keyboard-interactive
// question that is exactly a password question ("Password:", or "name@server's password:", any case, a
// trailing blank allowed) behind the "(user@host) " that ssh itself puts before the server's text: the
// user and host are then the prefix's, written by the client, never the server's. A host key to
// confirm, a key's passphrase, any other server question (a one-time code, a banner), or anything with
// control characters is not one. The user is what stands before the last "@", as ssh reads user@host on
// its own command line.
std::optional<PasswordPrompt> parse_password_prompt(std::string_view prompt);

// What a prompt that is not a password prompt asked, as far as ssh's own words tell, and of which host
// or key: for telling the user what was declined and the way out.
enum class DeclinedPromptKind {
    HostKey,        // a host key to confirm; `name` is the host as ssh named it
    KeyPassphrase,  // a key's passphrase; `name` is the key file
    ServerQuestion, // a keyboard-interactive question other than the password; `name` is user@host
    Other,
};
struct DeclinedPrompt {
    DeclinedPromptKind kind;
    std::string name;
};
DeclinedPrompt describe_declined_prompt(std::string_view prompt);

struct LoginRequest {
    std::string token;
    std::string prompt;
};

// The request: a version line, the token, the prompt, each ended by a line feed.
std::string encode_login_request(const LoginRequest& request);
std::optional<LoginRequest> decode_login_request(std::string_view bytes);

// The reply: the password, or a refusal. The password is everything after the first line.
std::string encode_login_password(std::string_view password);
std::string encode_login_refusal();
// The password of a reply, or nullopt for a refusal or anything unreadable.
std::optional<std::string> decode_login_reply(std::string_view bytes);

// A new token from the kernel's random source, in hexadecimal; empty when none could be had.
std::string make_login_token();

// Compares without stopping at the first difference, so the time taken says nothing about a token.
bool same_token(std::string_view a, std::string_view b);

} // namespace sealkeep
