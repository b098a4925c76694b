// The client's greeting and its command arguments, from the scripted server's transcript:
// the name it gives in EHLO and HELO, and no line break or NUL ever reaching a command.
#include "fake_server.h"
#include "mail/hostname.h"
#include "mail/mailerror.h"
#include "mail/message.h"
#include "mail/smtpclient.h"

#include <gtest/gtest.h>

#include <regex>

namespace zp {
namespace {

using test::describe;
using test::FakeServer;
using test::kClosedMark;
using test::reply;
using test::script;
using test::Step;
using namespace std::chrono_literals;

std::vector<Step> greet() {
    return {test::send("220 fake.example ESMTP\r\n")};
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines)
        text += "  " + line + "\n";
    return text;
}

struct GreetingCase {
    const char* name;
    std::string localName; // empty: asked of the system
    bool ipv6;             // the server listens on ::1
    bool ehloRefused;      // then HELO follows
    std::string greeting;  // regular expression for the name given
};

void PrintTo(const GreetingCase& c, std::ostream* os) {
    *os << c.name;
}

class EhloName : public ::testing::TestWithParam<GreetingCase> {};

TEST_P(EhloName, FromTranscript) {
    const GreetingCase& c = GetParam();
    const std::vector<Step> ehlo =
        c.ehloRefused ? script({reply("502 5.5.1 no ehlo here\r\n"), reply("250 hello\r\n")})
                      : reply("250-fake.example\r\n250 HELP\r\n");
    FakeServer server(script({greet(), ehlo}), 5000ms, c.ipv6);
    SmtpClient client;
    client.Host = c.ipv6 ? "::1" : "127.0.0.1";
    client.Port = server.port();
    client.LocalName = c.localName;
    client.ConnectTimeout = 5s;
    client.ReplyTimeout = 5s;
    std::string error;
    try {
        client.Connect();
    } catch (...) {
        error = describe(std::current_exception());
    }
    client.Disconnect();
    EXPECT_EQ(error, "");
    const auto lines = server.transcript();
    const std::size_t expected = c.ehloRefused ? 4 : 3;
    ASSERT_EQ(lines.size(), expected) << joined(lines);
    const std::regex ehloLine("ehlo " + c.greeting);
    EXPECT_TRUE(std::regex_match(lines[0], ehloLine)) << joined(lines);
    if (c.ehloRefused) {
        EXPECT_EQ(lines[1], "Helo " + lines[0].substr(5));
    }
    EXPECT_EQ(lines[expected - 2], "Quit");
    EXPECT_EQ(lines[expected - 1], kClosedMark);
}

// A name the checking servers take: a dotted name whose last label is not numeric.
const std::string kQualified =
    R"([A-Za-z0-9-]+(\.[A-Za-z0-9-]+)*\.[A-Za-z0-9-]*[A-Za-z-][A-Za-z0-9-]*)";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Hosts, EhloName, ::testing::Values(
    GreetingCase{"QualifiedName", "vm.example.org", false, false, R"(vm\.example\.org)"},
    GreetingCase{"QualifiedNameOverIPv6", "vm.example.org", true, false, R"(vm\.example\.org)"},
    GreetingCase{"BareNameGivesAddressLiteral", "vm", false, false, R"(\[127\.0\.0\.1\])"},
    GreetingCase{"BareNameOverIPv6", "vm", true, false, R"(\[IPv6:::1\])"},
    GreetingCase{"HeloUsesTheSameName", "vm", false, true, R"(\[127\.0\.0\.1\])"},
    GreetingCase{"HeloQualified", "vm.example.org", false, true, R"(vm\.example\.org)"},
    // Whatever this machine is called, the greeting is a name those servers accept.
    GreetingCase{"ThisMachine", "", false, false, "(" + kQualified + R"(|\[127\.0\.0\.1\]))"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// Where a text with a line break or NUL goes into a command.
enum class Field { Host, User, Password, Sender, Recipient, SecondRecipient, Cc, Bcc };

struct RefusalCase {
    const char* name;
    Field field;
    std::string breaker;
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.name;
}

class CommandArgument : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(CommandArgument, LineBreakOrNulIsRefusedUnwritten) {
    const RefusalCase& c = GetParam();
    const std::string bad = "x" + c.breaker + "RSET";
    FakeServer server(script({greet(), reply("250-fake.example\r\n250 AUTH LOGIN\r\n")}));
    SmtpClient client;
    client.Host = c.field == Field::Host ? "127.0.0.1" + c.breaker : "127.0.0.1";
    client.Port = server.port();
    client.LocalName = "client.example.jp";
    client.ReplyTimeout = 5s;
    client.UserId = c.field == Field::User ? bad : "user";
    client.Password = c.field == Field::Password ? bad : "secret";
    MailMessage message;
    message.From.Address = c.field == Field::Sender ? bad + "@example.jp" : "me@example.jp";
    message.Recipients.add({c.field == Field::Recipient ? bad : "a@example.jp", ""});
    message.Recipients.add({c.field == Field::SecondRecipient ? bad : "b@example.jp", ""});
    if (c.field == Field::Cc)
        message.CCList.add({bad, ""});
    if (c.field == Field::Bcc)
        message.BccList.add({bad, ""});
    message.Body = {"hello"};
    std::string error;
    try {
        client.Connect();
        if (c.field == Field::User || c.field == Field::Password) {
            client.AuthenticationType = atLogin;
            client.Authenticate();
        } else {
            client.Send(message);
        }
    } catch (...) {
        error = describe(std::current_exception());
    }
    client.Disconnect();
    EXPECT_TRUE(std::regex_match(error, std::regex("InvalidCommandText: .*line break or NUL.*")))
        << error;
    if (c.field == Field::Host) {
        EXPECT_FALSE(server.accepted());
        return;
    }
    EXPECT_EQ(server.transcript(),
              (std::vector<std::string>{"ehlo client.example.jp", "Quit", kClosedMark}));
}

std::vector<RefusalCase> refusalCases() {
    const std::pair<const char*, Field> fields[] = {{"Host", Field::Host},
                                                    {"User", Field::User},
                                                    {"Password", Field::Password},
                                                    {"Sender", Field::Sender},
                                                    {"Recipient", Field::Recipient},
                                                    {"SecondRecipient", Field::SecondRecipient},
                                                    {"Cc", Field::Cc},
                                                    {"Bcc", Field::Bcc}};
    const std::pair<const char*, std::string> breakers[] = {
        {"CR", "\r"}, {"LF", "\n"}, {"CRLF", "\r\n"}, {"NUL", std::string(1, '\0')}};
    std::vector<RefusalCase> cases;
    static std::vector<std::string> names;
    names.reserve(std::size(fields) * std::size(breakers));
    for (const auto& [fieldName, field] : fields) {
        for (const auto& [breakerName, breaker] : breakers) {
            names.push_back(std::string(fieldName) + breakerName);
            cases.push_back({names.back().c_str(), field, breaker});
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Arguments, CommandArgument, ::testing::ValuesIn(refusalCases()),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace zp
