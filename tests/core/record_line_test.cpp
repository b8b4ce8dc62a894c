// The record line format of the decrypted password file, and the filter for gpg's own warnings.
#include "core/record_line.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace sealkeep {
namespace {

using namespace std::string_literals;

struct Values {
    std::string customer, group, server, service, serviceplus, user, password;
};

struct LineCase {
    const char* name;
    std::string line;
    std::optional<Values> expected;  // nullopt: not a record line
};

const std::string TAIL = ";group=g;server=s;service=ssh;serviceplus=p;user=u;password=pw\n";
const std::string HEAD = "customer=c;group=g;server=s;service=ssh;serviceplus=p;user=u;";

Values with_customer(std::string customer)
{
    return {std::move(customer), "g", "s", "ssh", "p", "u", "pw"};
}

Values with_password(std::string password)
{
    return {"c", "g", "s", "ssh", "p", "u", std::move(password)};
}

TEST(RecordLine, ParsesEveryCaseOfTheFormat)
{
    const LineCase cases[] = {
        {"all seven keys", "customer=Acme;group=web;server=h1;service=ssh;serviceplus=22;user=root;password=s3cret\n",
         Values{"Acme", "web", "h1", "ssh", "22", "root", "s3cret"}},
        {"empty group and serviceplus", "customer=c;group=;server=s;service=ssh;serviceplus=;user=u;password=pw\n",
         Values{"c", "", "s", "ssh", "", "u", "pw"}},
        {"six semicolons only", ";;;;;;\n", Values{}},
        {"six semicolons, no line feed", ";;;;;;", Values{}},
        {"bare key without =", "customer" + TAIL, with_customer("")},
        {"beginning of the key", "cus" + TAIL, with_customer("")},
        {"key up to the =", "customer=" + TAIL, with_customer("")},
        {"key in the plural", "customers=x" + TAIL, std::nullopt},
        {"capital key", "Customer=x" + TAIL, std::nullopt},
        {"blank between key and =", "customer =x" + TAIL, std::nullopt},
        {"other text", "client=x" + TAIL, std::nullopt},
        {"keys out of order", "group=g;customer=c;server=s;service=ssh;serviceplus=p;user=u;password=pw\n",
         std::nullopt},
        // Only the token's ends are trimmed: the blank after "=" is part of the value.
        {"blanks around the token", "  \t customer= Acme Corp \t " + TAIL, with_customer(" Acme Corp")},
        {"every ASCII white space trimmed", "\v\f\r customer=x\t\v\f\r " + TAIL, with_customer("x")},
        {"= inside the value", HEAD + "password=a=b\n", with_password("a=b")},
        {"password with semicolons", HEAD + "password=one two  ; three ; four \n", with_password("one two; three ; four ")},
        {"empty tokens after the password", HEAD + "password=x;;\n", with_password("x;;")},
        {"beginning of the password key, then more", HEAD + "pass;x\n", with_password(";x")},
        {"CRLF on the seventh token", HEAD + "password=secret\r\n", with_password("secret")},
        {"CRLF after further tokens", HEAD + "password=a;b\r\n", with_password("a;b")},
        // Only LF and CRLF end a line; a carriage return of its own is data.
        {"lone CR after further tokens", HEAD + "password=a;b\r", with_password("a;b\r")},
        {"CR inside a later token", HEAD + "password=a;b\rc\n", with_password("a;b\rc")},
        {"empty line", "\n", std::nullopt},
        {"nothing at all", "", std::nullopt},
        {"five semicolons", "customer=c;group=g;server=s;service=ssh;serviceplus=p;user=u\n", std::nullopt},
        {"seventh key wrong", HEAD + "pwd=x\n", std::nullopt},
        {"user key capitalised", "customer=c;group=g;server=s;service=ssh;serviceplus=p;User=u;password=pw\n",
         std::nullopt},
        {"NUL in the customer", "customer=a\0b"s + TAIL, std::nullopt},
        {"NUL in the password", HEAD + "password=a\0b\n"s, std::nullopt},
        {"Latin-1 bytes kept", HEAD + "password=b\xe9" "b\n", with_password("b\xe9" "b")},
        {"long value kept whole", "customer=" + std::string(5000, 'c') + TAIL, with_customer(std::string(5000, 'c'))},
        {"long password kept whole", HEAD + "password=" + std::string(3000, 'p') + ";" + std::string(3000, 'q') + "\n",
         with_password(std::string(3000, 'p') + ";" + std::string(3000, 'q'))},
    };
    for (const auto& c : cases) {
        const auto record = parse_record_line(c.line);
        ASSERT_EQ(record.has_value(), c.expected.has_value()) << c.name;
        if (!record)
            continue;
        EXPECT_EQ(record->customer, c.expected->customer) << c.name;
        EXPECT_EQ(record->group, c.expected->group) << c.name;
        EXPECT_EQ(record->server, c.expected->server) << c.name;
        EXPECT_EQ(record->service, c.expected->service) << c.name;
        EXPECT_EQ(record->serviceplus, c.expected->serviceplus) << c.name;
        EXPECT_EQ(record->user, c.expected->user) << c.name;
        EXPECT_EQ(record->password, c.expected->password) << c.name;
    }
}

TEST(RecordLine, GpgWarningLinesAreRecognisedByTheirFirstEightBytes)
{
    const struct {
        std::string line;
        bool warning;
    } cases[] = {
        {"gpg: WARNING: message was not integrity protected\n", true},
        {"GPG: warning: anything\n", true},
        {"gPg: wArNiNg", true},
        {"gpg: WAR", true},
        {"gpg: warp drive engaged\n", true},  // eight bytes are enough, the rest is not looked at
        {"gpg: WA\n", false},                  // seven bytes and a line feed
        {"gpg: WA", false},
        {" gpg: WARNING:\n", false},
        {"gpg:  WARNING:\n", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(is_gpg_warning_line(c.line), c.warning) << c.line;
}

std::vector<std::string> fields(const Values& v)
{
    return {v.customer, v.group, v.server, v.service, v.serviceplus, v.user, v.password};
}

std::vector<std::string> fields(const RecordLine& r)
{
    return {r.customer, r.group, r.server, r.service, r.serviceplus, r.user, r.password};
}

// The format as first written: each token trimmed and scanned with sscanf, any result other than
// 0 a match, the password followed by the later tokens exactly as read.
std::optional<Values> reference_parse(const std::string& line)
{
    static const char* const formats[] = {"customer=%[^;]",    "group=%[^;]", "server=%[^;]",  "service=%[^;]",
                                          "serviceplus=%[^;]", "user=%[^;]",  "password=%[^\n]"};
    std::vector<std::string> tokens;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = line.find(';', start);
        tokens.push_back(line.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    if (tokens.size() < 7)
        return std::nullopt;

    std::string values[7];
    for (int i = 0; i < 7; ++i) {
        std::string token = tokens[i];
        while (!token.empty() && isspace(static_cast<unsigned char>(token.back())))
            token.pop_back();
        std::size_t lead = 0;
        while (lead < token.size() && isspace(static_cast<unsigned char>(token[lead])))
            ++lead;
        token.erase(0, lead);
        std::vector<char> value(token.size() + 1, '\0');
        if (sscanf(token.c_str(), formats[i], value.data()) == 0)
            return std::nullopt;
        values[i] = value.data();
    }
    std::string password = values[6];
    for (std::size_t i = 7; i < tokens.size(); ++i)
        password += ";" + tokens[i];
    return Values{values[0], values[1], values[2], values[3], values[4], values[5], password};
}

// Lines as gpg hands them over: tokens built near the keys (whole, cut short, misspelt, capitalised,
// padded with white space), at most one line ending at the end, now and then a NUL.
std::string generate_line(std::mt19937& random)
{
    static const char* const keys[] = {"customer", "group", "server", "service", "serviceplus", "user", "password"};
    static const char* const pads[] = {"", "", "", " ", "\t", "  ", "\r", "\v\f"};
    static const char* const values[] = {"", "x", " a b ", "h1.example.org", "=", "caf\xe9", "p%h\\\"$", "\r", " "};
    static const char* const endings[] = {"\n", "\n", "\r\n", ""};
    auto pick = [&random](auto& table) { return table[random() % std::size(table)]; };

    std::string line;
    const int tokens = 5 + static_cast<int>(random() % 6);
    for (int i = 0; i < tokens; ++i) {
        if (i > 0)
            line += ';';
        std::string key = keys[i % 7];
        switch (random() % 10) {
        case 0: key = key.substr(0, random() % key.size()); break;
        case 1: key[0] = static_cast<char>(toupper(key[0])); break;
        case 2: key += 's'; break;
        default: key += '='; break;
        }
        line += pick(pads);
        line += key;
        line += pick(values);
        line += pick(pads);
    }
    line += pick(endings);
    if (random() % 50 == 0)
        line.insert(random() % (line.size() + 1), 1, '\0');
    return line;
}

TEST(RecordLine, AgreesWithTheScanFormatsOnGeneratedLines)
{
    std::mt19937 random(20240611);
    int matched = 0;
    for (int n = 0; n < 20000; ++n) {
        const std::string line = generate_line(random);
        const auto record = parse_record_line(line);
        if (line.find('\0') != std::string::npos) {
            EXPECT_FALSE(record) << "a line with a NUL is not a record line";
            continue;
        }
        auto expected = reference_parse(line);
        ASSERT_EQ(record.has_value(), expected.has_value()) << testing::PrintToString(line);
        if (!record)
            continue;
        ++matched;
        // The password no longer carries the line's own line ending (the seventh token alone is
        // trimmed, so only passwords with semicolons are affected).
        std::string& password = expected->password;
        if (line.ends_with("\r\n") && password.ends_with("\r\n"))
            password.resize(password.size() - 2);
        else if (line.ends_with('\n') && password.ends_with('\n'))
            password.pop_back();
        ASSERT_EQ(fields(*record), fields(*expected)) << testing::PrintToString(line);
    }
    // The generator must reach both verdicts often enough for the comparison to mean something.
    EXPECT_GT(matched, 1000);
    EXPECT_LT(matched, 19000);
}

} // namespace
} // namespace sealkeep
