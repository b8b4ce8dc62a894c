// Log in's protocol pieces: which of ssh's prompts is its password prompt, the request and reply on
// the socket, the token table that decides what a helper gets, and the helper's client giving up on a
// Sealkeep that does not answer.
#include "core/document.h"
#include "core/login_client.h"
#include "core/login_protocol.h"
#include "core/login_tokens.h"
#include "core/ssh_destination.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>
#include <string>

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sealkeep {
namespace {

using namespace std::chrono_literals;

TEST(LoginPrompt, OnlyAPasswordPromptNamesAUserAndHost)
{
    struct Case {
        const char* prompt;
        const char* user; // null: not a password prompt
        const char* host;
    } cases[] = {
        {"root@srv1's password: ", "root", "srv1"},
        {"admin@10.0.0.7's password: ", "admin", "10.0.0.7"},
        {"alice@::1's password: ", "alice", "::1"},
        // ssh splits user@host at the last "@", so a user may hold one.
        {"bob@example.org@gw's password: ", "bob@example.org", "gw"},
        // Keyboard-interactive: ssh writes "(user@host) ", the server the rest. A password question alone
        // is answered, for the user and host of ssh's prefix, whatever names the server's text holds.
        {"(root@srv1) Password: ", "root", "srv1"},
        {"(root@srv1) password:", "root", "srv1"},
        {"(root@10.0.0.5) PASSWORD: ", "root", "10.0.0.5"},
        {"(root@srv1) root@srv1's password: ", "root", "srv1"},
        {"(root@srv1) mallory@elsewhere's Password: ", "root", "srv1"},
        {"(bob@example.org@gw) Password: ", "bob@example.org", "gw"},
        // Any other server text is not: a second factor, a question, a banner, more than the question.
        {"(root@srv1) Verification code: ", nullptr, nullptr},
        {"(root@srv1) One-time password: ", nullptr, nullptr},
        {"(root@srv1) New password: ", nullptr, nullptr},
        {"(root@srv1) Welcome! Password: ", nullptr, nullptr},
        {"(root@srv1) Password:  ", nullptr, nullptr},
        {"(root@srv1) 's password: ", nullptr, nullptr},
        {"(root@srv1)Password: ", nullptr, nullptr},
        {"(srv1) Password: ", nullptr, nullptr},
        {"(root@srv 1) Password: ", nullptr, nullptr},
        {"(root@srv1) Password:\nroot@srv1's password: ", nullptr, nullptr},
        // A host key to confirm, a key's passphrase, an agent confirmation.
        {"The authenticity of host '[127.0.0.1]:2222 ([127.0.0.1]:2222)' can't be established.\n"
         "ED25519 key fingerprint is SHA256:abc.\nAre you sure you want to continue connecting "
         "(yes/no/[fingerprint])? ",
         nullptr, nullptr},
        {"Enter passphrase for key '/root/.ssh/id_ed25519': ", nullptr, nullptr},
        {"Allow use of key /root/.ssh/id_ed25519?", nullptr, nullptr},
        // Near misses of ssh's own prompt.
        {"root@srv1's password:", nullptr, nullptr},
        {"@srv1's password: ", nullptr, nullptr},
        {"root@'s password: ", nullptr, nullptr},
        {"srv1's password: ", nullptr, nullptr},
        {"root@srv1's password: \n", nullptr, nullptr},
        {"ro\x1bot@srv1's password: ", nullptr, nullptr},
        {"", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.prompt);
        auto parsed = parse_password_prompt(c.prompt);
        if (!c.user) {
            EXPECT_FALSE(parsed);
            continue;
        }
        ASSERT_TRUE(parsed);
        EXPECT_EQ(parsed->user, c.user);
        EXPECT_EQ(parsed->host, c.host);
    }
}

// A declined prompt is named for the status bar by ssh's own words; the server's text is never repeated.
TEST(LoginPrompt, ADeclinedPromptIsNamedBySshsOwnWords)
{
    struct Case {
        const char* prompt;
        DeclinedPromptKind kind;
        const char* name;
    } cases[] = {
        {"The authenticity of host 'web1 (10.0.0.5)' can't be established.\nED25519 key fingerprint is "
         "SHA256:abc.\nAre you sure you want to continue connecting (yes/no/[fingerprint])? ",
         DeclinedPromptKind::HostKey, "web1"},
        {"The authenticity of host '[127.0.0.1]:2222 ([127.0.0.1]:2222)' can't be established.\n",
         DeclinedPromptKind::HostKey, "[127.0.0.1]:2222"},
        {"Enter passphrase for key '/home/u/.ssh/id_ed25519': ", DeclinedPromptKind::KeyPassphrase,
         "/home/u/.ssh/id_ed25519"},
        {"(root@10.0.0.5) Verification code: ", DeclinedPromptKind::ServerQuestion, "root@10.0.0.5"},
        {"(root@10.0.0.5) Enter root@elsewhere's one-time code: ", DeclinedPromptKind::ServerQuestion,
         "root@10.0.0.5"},
        {"Allow use of key /home/u/.ssh/id_ed25519?", DeclinedPromptKind::Other, ""},
        {"", DeclinedPromptKind::Other, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.prompt);
        const DeclinedPrompt declined = describe_declined_prompt(c.prompt);
        EXPECT_EQ(declined.kind, c.kind);
        EXPECT_EQ(declined.name, c.name);
    }
}

TEST(LoginWire, RequestsAndRepliesRoundTripAndMalformedOnesAreRejected)
{
    const std::string token = make_login_token();
    ASSERT_EQ(token.size(), LOGIN_TOKEN_BYTES * 2);
    const std::string bytes = encode_login_request({token, "root@srv1's password: "});
    auto request = decode_login_request(bytes);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->token, token);
    EXPECT_EQ(request->prompt, "root@srv1's password: ");

    const std::string malformed[] = {
        "",
        bytes.substr(0, bytes.size() - 1), // cut short
        bytes + "more\n",                  // a line too many
        "sealkeep-login 2\n" + token + "\nroot@srv1's password: \n",
        "sealkeep-login 1\n" + token.substr(1) + "\nroot@srv1's password: \n",
        "sealkeep-login 1\n" + std::string(64, 'A') + "\nroot@srv1's password: \n", // not lower-case hex
        "sealkeep-login 1\n" + token + "\n" + std::string(LOGIN_REQUEST_MAX, 'x') + "\n",
    };
    for (const std::string& m : malformed)
        EXPECT_FALSE(decode_login_request(m)) << m;

    EXPECT_EQ(decode_login_reply(encode_login_password("s3cr;t pw")), "s3cr;t pw");
    EXPECT_EQ(decode_login_reply(encode_login_password("")), "");
    EXPECT_FALSE(decode_login_reply(encode_login_refusal()));
    EXPECT_FALSE(decode_login_reply(""));
    EXPECT_FALSE(decode_login_reply("passwordX"));
}

TEST(LoginWire, TokensAreFreshEveryTimeAndComparedWhole)
{
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i)
        EXPECT_TRUE(seen.insert(make_login_token()).second);
    const std::string token = make_login_token();
    EXPECT_TRUE(same_token(token, token));
    std::string other = token;
    other.back() = other.back() == '0' ? '1' : '0';
    EXPECT_FALSE(same_token(token, other));
    EXPECT_FALSE(same_token(token, token.substr(0, 63)));
    EXPECT_FALSE(same_token(token, ""));
}

// "customer;group;server;service;serviceplus;user;password" as a line of the file.
std::string line_text(const std::string& seven_values)
{
    static const char* const keys[] = {"customer", "group", "server", "service", "serviceplus", "user", "password"};
    std::string line;
    std::size_t start = 0;
    for (int i = 0; i < 7; ++i) {
        const std::size_t end = i < 6 ? seven_values.find(';', start) : std::string::npos;
        line += std::string(i ? ";" : "") + keys[i] + "=" + seven_values.substr(start, end - start);
        start = end + 1;
    }
    return line + "\n";
}

class LoginTokensTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* line : {"C;G;web1;ssh;;alice;pw-web1-alice", "C;G;web2;ssh;;bob;pw-web2-bob",
                                 "C;G;web2;ssh;;carol;pw-web2-carol", "C;G;Db.Example;ssh;;root;pw-db"})
            document.add_line(line_text(line));
        document.finish();
    }

    LoginAccount account(std::size_t i) const
    {
        const EntryRecord& record = document.records()[i];
        return {record.user(), record.host(), record, {}, {}};
    }

    // The password given, or what was decided instead.
    std::string ask(const std::string& token, const std::string& prompt, LoginTokens::Clock::time_point when)
    {
        LoginDecision decision = tokens.ask(token, prompt, when);
        switch (decision.verdict) {
        case LoginVerdict::Answer:
            return "password " + decision.record->password();
        case LoginVerdict::Refused:
            return "refused " + decision.user + "@" + decision.host;
        case LoginVerdict::UnknownToken:
            return "unknown token";
        case LoginVerdict::NotPasswordPrompt:
            return "not a password prompt";
        case LoginVerdict::NoSuchAccount:
            return "no account " + decision.user + "@" + decision.host;
        }
        return "?";
    }

    Document document;
    LoginTokens tokens{60s};
    LoginTokens::Clock::time_point t0 = LoginTokens::Clock::now();
};

TEST_F(LoginTokensTest, OneLaunchAnswersEachOfItsAccountsOnceThenReportsTheRefusal)
{
    const std::string single = tokens.issue({account(0)}, t0);
    const std::string cluster = tokens.issue({account(1), account(2), account(3)}, t0);
    ASSERT_FALSE(single.empty());
    ASSERT_NE(single, cluster);

    struct Step {
        const std::string* token;
        const char* prompt;
        const char* expected;
    } steps[] = {
        // A host-key question before the password takes nothing away.
        {&single, "Are you sure you want to continue connecting (yes/no/[fingerprint])? ", "not a password prompt"},
        // The host must be the account's whole host: a name that merely begins or ends like it is another
        // machine, and one of them may be the attacker's.
        {&single, "alice@web1.evil.example's password: ", "no account alice@web1.evil.example"},
        {&single, "alice@web's password: ", "no account alice@web"},
        // A trailing dot makes the name absolute: "web1." skips the resolver's search domains and may well
        // be another machine than the "web1" of the account, so it is declined: ssh gets no password.
        {&single, "alice@web1.'s password: ", "no account alice@web1."},
        {&single, "alice@web1's password: ", "password pw-web1-alice"},
        // ssh asks again: the server refused it. No second answer.
        {&single, "alice@web1's password: ", "refused alice@web1"},
        {&single, "alice@web1's password: ", "refused alice@web1"},
        // The launch has only its own accounts: another launch's account, another user of the same host.
        {&single, "bob@web2's password: ", "no account bob@web2"},
        {&single, "root@web1's password: ", "no account root@web1"},
        // A cluster: every host its own user's password; host names without regard to case, users exactly.
        {&cluster, "carol@web2's password: ", "password pw-web2-carol"},
        {&cluster, "bob@web2's password: ", "password pw-web2-bob"},
        {&cluster, "root@Db.Example.'s password: ", "no account root@Db.Example."},
        {&cluster, "root@db.example's password: ", "password pw-db"},
        // Differing only in case, it is the same host, already answered: refused, not unknown.
        {&cluster, "root@DB.EXAMPLE's password: ", "refused root@DB.EXAMPLE"},
        {&cluster, "Root@db.example's password: ", "no account Root@db.example"},
        {&cluster, "alice@web1's password: ", "no account alice@web1"},
        {&cluster, "bob@web2's password: ", "refused bob@web2"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.prompt);
        EXPECT_EQ(ask(*step.token, step.prompt, t0 + 1s), step.expected);
    }
}

// An alias in ssh's configuration: the prompt names the host (and, from a User line, the user) ssh
// resolved it to. Either name of the account is answered, once in all; nothing else is.
TEST_F(LoginTokensTest, APromptNamingTheHostAndUserSshResolvedIsAnswered)
{
    LoginAccount aliased = account(0); // alice@web1
    aliased.configured_host = "10.0.0.5";
    aliased.configured_user = "deploy";
    const std::string keyboard = tokens.issue({aliased}, t0);
    const std::string password = tokens.issue({aliased}, t0);
    const std::string user_line = tokens.issue({aliased}, t0);
    struct Step {
        const std::string* token;
        const char* prompt;
        const char* expected;
    } steps[] = {
        // A jump host or any other machine is not the account's, alias or not.
        {&password, "alice@jump.example's password: ", "no account alice@jump.example"},
        {&password, "alice@10.0.0.50's password: ", "no account alice@10.0.0.50"},
        {&password, "mallory@10.0.0.5's password: ", "no account mallory@10.0.0.5"},
        {&password, "alice@10.0.0.5's password: ", "password pw-web1-alice"},
        {&password, "alice@web1's password: ", "refused alice@web1"},
        {&keyboard, "(alice@10.0.0.5) Password: ", "password pw-web1-alice"},
        {&user_line, "deploy@10.0.0.5's password: ", "password pw-web1-alice"},
        {&user_line, "alice@10.0.0.5's password: ", "refused alice@10.0.0.5"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.prompt);
        EXPECT_EQ(ask(*step.token, step.prompt, t0 + 1s), step.expected);
    }
}

TEST(SshDestination, TheUserAndHostNameOfSshsOwnDump)
{
    const struct {
        const char* output;
        const char* user; // null: nothing read
        const char* hostname;
    } cases[] = {
        {"host web1\nuser deploy\nhostname 10.0.0.5\nport 2222\n", "deploy", "10.0.0.5"},
        {"hostname srv\nuser root", "root", "srv"},
        {"user deploy\n", nullptr, nullptr},
        {"hostname 10.0.0.5\n", nullptr, nullptr},
        {"usera x\nhostnamex y\n", nullptr, nullptr},
        {"", nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        const auto destination = parse_ssh_config_dump(c.output);
        ASSERT_EQ(destination.has_value(), c.user != nullptr);
        if (destination) {
            EXPECT_EQ(destination->user, c.user);
            EXPECT_EQ(destination->hostname, c.hostname);
        }
    }
}

// The real ssh, with a configuration of the test's handed over by a stand-in first on PATH (ssh reads
// the configuration of the account it runs as, not $HOME's).
TEST(SshDestination, SshItselfResolvesAnAliasAndStopsInTime)
{
    char pattern[] = "/tmp/sk-ssh-g.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    const std::string config = dir + "/config";
    {
        std::ofstream out(config);
        out << "Host web1\n    HostName 127.0.0.9\n    User deploy\n    Port 2222\n";
    }
    const std::string stand_in = dir + "/ssh";
    {
        std::ofstream out(stand_in);
        out << "#!/bin/sh\n[ -n \"$SK_SLOW\" ] && sleep 5\nexec /usr/bin/ssh -F " << config << " \"$@\"\n";
    }
    ASSERT_EQ(chmod(stand_in.c_str(), 0755), 0);
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
    setenv("PATH", (dir + ":" + path).c_str(), 1);

    const auto alias = resolve_ssh_destination("web1", 5s);
    ASSERT_TRUE(alias);
    EXPECT_EQ(alias->user, "deploy");
    EXPECT_EQ(alias->hostname, "127.0.0.9");
    const auto plain = resolve_ssh_destination("db.example", 5s);
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->hostname, "db.example");
    setenv("SK_SLOW", "1", 1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(resolve_ssh_destination("web1", 300ms));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    unsetenv("SK_SLOW");

    setenv("PATH", path.c_str(), 1);
    std::remove(stand_in.c_str());
    std::remove(config.c_str());
    rmdir(dir.c_str());
}

TEST_F(LoginTokensTest, TokensAreGoodForTheirLifetimeOnlyAndUntilRevoked)
{
    const std::string token = tokens.issue({account(0)}, t0);
    EXPECT_EQ(ask(token, "alice@web1's password: ", t0 + 60s), "unknown token");
    EXPECT_EQ(tokens.size(), 0u);

    const std::string fresh = tokens.issue({account(0)}, t0);
    const std::string duplicate = tokens.issue({account(0), account(0)}, t0);
    EXPECT_EQ(ask("", "alice@web1's password: ", t0), "unknown token");
    EXPECT_EQ(ask(std::string(64, '0'), "alice@web1's password: ", t0), "unknown token");
    // Selected twice, an account is answered twice (two connections to it), and no more.
    EXPECT_EQ(ask(duplicate, "alice@web1's password: ", t0 + 59s), "password pw-web1-alice");
    EXPECT_EQ(ask(duplicate, "alice@web1's password: ", t0 + 59s), "password pw-web1-alice");
    EXPECT_EQ(ask(duplicate, "alice@web1's password: ", t0 + 59s), "refused alice@web1");

    tokens.end(duplicate);
    EXPECT_EQ(ask(duplicate, "alice@web1's password: ", t0), "unknown token");
    tokens.revoke_all();
    EXPECT_EQ(ask(fresh, "alice@web1's password: ", t0), "unknown token");
    EXPECT_EQ(tokens.size(), 0u);
}

// A Sealkeep whose loop does not answer (stopped in a debugger, say) must not hold ssh for ever: the
// connection is accepted by the kernel's backlog but never read.
TEST(LoginClient, GivesUpOnASocketThatNeverAnswers)
{
    char directory[] = "/tmp/sk-login-test.XXXXXX";
    ASSERT_TRUE(mkdtemp(directory));
    const std::string path = std::string(directory) + "/socket";
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(listen(listener, 4), 0);

    const auto start = std::chrono::steady_clock::now();
    auto password = ask_for_login_password(path, make_login_token(), "a@b's password: ", 300ms);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(password);
    EXPECT_GE(took, 250ms); // poll counts in whole milliseconds
    EXPECT_LT(took, 3s);
    EXPECT_FALSE(ask_for_login_password(std::string(directory) + "/none", make_login_token(), "a@b's password: "));

    close(listener);
    unlink(path.c_str());
    rmdir(directory);
}

} // namespace
} // namespace sealkeep
