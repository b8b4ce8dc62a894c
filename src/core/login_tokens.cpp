// The token table behind Log in: which launch a helper speaks for, and which of its accounts, if any,
// the prompt it shows is for.
#include "core/login_tokens.h"

#include "core/login_protocol.h"

#include <algorithm>
#include <utility>

namespace sealkeep {

namespace {

bool same_host(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, [](char x, char y) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

} // namespace

std::string LoginTokens::issue(std::vector<LoginAccount> accounts, Clock::time_point now)
{
    forget_expired(now);
    std::string token = make_login_token();
    if (token.empty())
        return token;
    const std::size_t count = accounts.size();
    launches_.push_back(Launch{token, now + lifetime_, std::move(accounts), std::vector<bool>(count, false)});
    return token;
}

LoginDecision LoginTokens::ask(std::string_view token, std::string_view prompt, Clock::time_point now)
{
    forget_expired(now);
    auto launch = std::ranges::find_if(launches_, [token](const Launch& l) { return same_token(l.token, token); });
    if (launch == launches_.end())
        return {LoginVerdict::UnknownToken, {}, {}, nullptr};
    auto parsed = parse_password_prompt(prompt);
    if (!parsed)
        return {LoginVerdict::NotPasswordPrompt, {}, {}, nullptr};

    bool known = false;
    for (std::size_t i = 0; i < launch->accounts.size(); ++i) {
        const LoginAccount& account = launch->accounts[i];
        const bool user = account.user == parsed->user ||
                          (!account.configured_user.empty() && account.configured_user == parsed->user);
        const bool host = same_host(account.host, parsed->host) ||
                          (!account.configured_host.empty() && same_host(account.configured_host, parsed->host));
        if (!user || !host)
            continue;
        known = true;
        // The same account may stand in a launch twice (selected twice): each may be answered once.
        if (!launch->answered[i]) {
            launch->answered[i] = true;
            return {LoginVerdict::Answer, std::move(parsed->user), std::move(parsed->host), &account.record};
        }
    }
    return {known ? LoginVerdict::Refused : LoginVerdict::NoSuchAccount, std::move(parsed->user),
            std::move(parsed->host), nullptr};
}

void LoginTokens::end(std::string_view token)
{
    std::erase_if(launches_, [token](const Launch& launch) { return same_token(launch.token, token); });
}

void LoginTokens::revoke_all()
{
    launches_.clear();
}

void LoginTokens::forget_expired(Clock::time_point now)
{
    std::erase_if(launches_, [now](const Launch& launch) { return now >= launch.expiry; });
}

} // namespace sealkeep
