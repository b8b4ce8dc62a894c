// The password helper's request and reply, and the reading of ssh's prompts.
#include "core/login_protocol.h"

#include "core/text_encoding.h"

#include <array>
#include <cerrno>

#include <sys/random.h>

namespace sealkeep {

namespace {

constexpr std::string_view REQUEST_HEADER = "sealkeep-login 1\n";
constexpr std::string_view PASSWORD_HEADER = "password\n";
constexpr std::string_view REFUSAL = "refused\n";
constexpr std::string_view PASSWORD_SUFFIX = "'s password: ";

bool has_control_character(std::string_view text)
{
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            return true;
    }
    return false;
}

bool is_token_text(std::string_view token)
{
    if (token.size() != LOGIN_TOKEN_BYTES * 2)
        return false;
    for (char c : token)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

// The next line of `bytes` from `position` (without its line feed); nullopt when no line feed follows.
std::optional<std::string_view> next_line(std::string_view bytes, std::size_t& position)
{
    const std::size_t end = bytes.find('\n', position);
    if (end == std::string_view::npos)
        return std::nullopt;
    std::string_view line = bytes.substr(position, end - position);
    position = end + 1;
    return line;
}

// "user@host" split at its last "@": both parts there, and no blank in either (a blank means other text
// around the name).
std::optional<PasswordPrompt> split_user_at_host(std::string_view name)
{
    const std::size_t at = name.rfind('@');
    if (at == std::string_view::npos)
        return std::nullopt;
    std::string_view user = name.substr(0, at);
    std::string_view host = name.substr(at + 1);
    if (user.empty() || host.empty() || user.find(' ') != std::string_view::npos ||
        host.find(' ') != std::string_view::npos)
        return std::nullopt;
    return PasswordPrompt{std::string(user), std::string(host)};
}

std::string ascii_lower(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

// ssh's keyboard-interactive prompt: the "(user@host) " ssh writes, read as the user and host, and the
// server's text after it.
struct PrefixedQuestion {
    PasswordPrompt name;
    std::string_view question;
};
std::optional<PrefixedQuestion> split_ssh_prefix(std::string_view prompt)
{
    if (!prompt.starts_with('('))
        return std::nullopt;
    const std::size_t close = prompt.find(") ");
    if (close == std::string_view::npos)
        return std::nullopt;
    auto name = split_user_at_host(prompt.substr(1, close - 1));
    if (!name)
        return std::nullopt;
    return PrefixedQuestion{std::move(*name), prompt.substr(close + 2)};
}

// The server's keyboard-interactive text, if it asks for the password and for nothing else.
bool is_password_question(std::string_view question)
{
    if (question.ends_with(' '))
        question.remove_suffix(1);
    const std::string lower = ascii_lower(question);
    if (lower == "password:")
        return true;
    constexpr std::string_view NAMED = "'s password:";
    return lower.ends_with(NAMED) && split_user_at_host(std::string_view(lower).substr(0, lower.size() - NAMED.size()));
}

} // namespace

std::optional<PasswordPrompt> parse_password_prompt(std::string_view prompt)
{
    if (has_control_character(prompt))
        return std::nullopt;
    if (prompt.ends_with(PASSWORD_SUFFIX) && !prompt.starts_with('('))
        return split_user_at_host(prompt.substr(0, prompt.size() - PASSWORD_SUFFIX.size()));
    auto prefixed = split_ssh_prefix(prompt);
    if (!prefixed || !is_password_question(prefixed->question))
        return std::nullopt;
    return std::move(prefixed->name);
}

DeclinedPrompt describe_declined_prompt(std::string_view prompt)
{
    // The text between `opening` and the next `closing` after it; empty when there is none.
    auto between = [prompt](std::string_view opening, char closing) -> std::string {
        const std::size_t start = prompt.find(opening);
        if (start == std::string_view::npos)
            return {};
        const std::size_t from = start + opening.size();
        const std::size_t end = prompt.find(closing, from);
        return end == std::string_view::npos ? std::string() : std::string(prompt.substr(from, end - from));
    };
    // "The authenticity of host 'web1 (10.0.0.5)' can't be established. ... continue connecting ...?"
    if (prompt.starts_with("The authenticity of host '") || prompt.find("continue connecting") != std::string_view::npos) {
        std::string host = between("host '", '\'');
        if (const std::size_t blank = host.find(" ("); blank != std::string::npos)
            host.resize(blank);
        return {DeclinedPromptKind::HostKey, host};
    }
    if (prompt.starts_with("Enter passphrase for key '"))
        return {DeclinedPromptKind::KeyPassphrase, between("key '", '\'')};
    // Keyboard-interactive: named by ssh's own prefix; the server's text is not repeated.
    if (auto prefixed = split_ssh_prefix(prompt))
        return {DeclinedPromptKind::ServerQuestion, prefixed->name.user + "@" + prefixed->name.host};
    return {DeclinedPromptKind::Other, {}};
}

std::string encode_login_request(const LoginRequest& request)
{
    std::string bytes(REQUEST_HEADER);
    bytes += request.token;
    bytes += '\n';
    bytes += request.prompt;
    bytes += '\n';
    return bytes;
}

std::optional<LoginRequest> decode_login_request(std::string_view bytes)
{
    if (bytes.size() > LOGIN_REQUEST_MAX || !bytes.starts_with(REQUEST_HEADER))
        return std::nullopt;
    std::size_t position = REQUEST_HEADER.size();
    auto token = next_line(bytes, position);
    auto prompt = next_line(bytes, position);
    if (!token || !prompt || position != bytes.size() || !is_token_text(*token))
        return std::nullopt;
    return LoginRequest{std::string(*token), std::string(*prompt)};
}

std::string encode_login_password(std::string_view password)
{
    std::string bytes(PASSWORD_HEADER);
    append_secret(bytes, password);
    return bytes;
}

std::string encode_login_refusal()
{
    return std::string(REFUSAL);
}

std::optional<std::string> decode_login_reply(std::string_view bytes)
{
    if (!bytes.starts_with(PASSWORD_HEADER))
        return std::nullopt;
    return std::string(bytes.substr(PASSWORD_HEADER.size()));
}

std::string make_login_token()
{
    std::array<unsigned char, LOGIN_TOKEN_BYTES> random{};
    std::size_t filled = 0;
    while (filled < random.size()) {
        const ssize_t got = getrandom(random.data() + filled, random.size() - filled, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return {};
        filled += static_cast<std::size_t>(got);
    }
    static constexpr char DIGITS[] = "0123456789abcdef";
    std::string token;
    token.reserve(random.size() * 2);
    for (unsigned char byte : random) {
        token += DIGITS[byte >> 4];
        token += DIGITS[byte & 0x0f];
    }
    return token;
}

bool same_token(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

} // namespace sealkeep
