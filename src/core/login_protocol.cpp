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

} // namespace

std::optional<PasswordPrompt> parse_password_prompt(std::string_view prompt)
{
    if (has_control_character(prompt) || !prompt.ends_with(PASSWORD_SUFFIX))
        return std::nullopt;
    std::string_view name = prompt.substr(0, prompt.size() - PASSWORD_SUFFIX.size());
    const std::size_t at = name.rfind('@');
    if (at == std::string_view::npos)
        return std::nullopt;
    std::string_view user = name.substr(0, at);
    std::string_view host = name.substr(at + 1);
    // ssh's own prompt has no blank in it: a blank means text in front of it (the "(user@host) " that
    // ssh puts before a server's keyboard-interactive question, say).
    if (user.empty() || host.empty() || user.find(' ') != std::string_view::npos ||
        host.find(' ') != std::string_view::npos)
        return std::nullopt;
    return PasswordPrompt{std::string(user), std::string(host)};
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
