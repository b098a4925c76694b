// SMTP dialogue against a scripted server: the whole command transcript is asserted
// for the faults a real server will not produce.
#include "fake_server.h"
#include "mail/mailerror.h"
#include "mail/message.h"
#include "mail/smtpclient.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <regex>

namespace zp {
namespace {

using test::describe;
using test::FakeServer;
using test::reply;
using test::script;
using test::Step;
using namespace std::chrono_literals;

// The machine's name as the tests give it; the greeting name itself has tests of its own.
constexpr const char* kClientName = "client.example.jp";

std::vector<Step> greet(std::string text = "220 fake.example ESMTP\r\n") {
    return {test::send(std::move(text))};
}
std::vector<Step> ehloOk(std::string extra = "") {
    return reply("250-fake.example greets you\r\n" + extra + "250 HELP\r\n");
}

// "*" in the expected lines stands for any run of lines.
bool matches(const std::vector<std::string>& got, std::size_t g,
             const std::vector<std::string>& want, std::size_t w) {
    if (w == want.size()) {
        return g == got.size();
    }
    if (want[w] == "*") {
        for (std::size_t k = g; k <= got.size(); ++k) {
            if (matches(got, k, want, w + 1)) {
                return true;
            }
        }
        return false;
    }
    return g < got.size() && got[g] == want[w] && matches(got, g + 1, want, w + 1);
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += "  " + line.substr(0, 120) + "\n";
    }
    return text;
}

enum class Drive {
    ConnectOnly, // Connect, then Disconnect
    FullSend,    // the send operation's order: Connect, AUTH LOGIN when offered, Send
};

struct DialogueCase {
    const char* name;
    std::vector<Step> script;
    Drive drive;
    std::vector<std::string> transcript; // "{host}" is the name the client greets with
    std::string error;                   // regular expression; empty: no error
    std::function<void(SmtpClient&, MailMessage&)> prepare = nullptr;
    std::vector<std::string> schemes = {};
    std::function<void(SmtpClient&)> afterConnect = nullptr;
};

void PrintTo(const DialogueCase& c, std::ostream* os) {
    *os << c.name;
}

MailMessage plainMessage() {
    MailMessage message;
    message.From.Address = "me@example.jp";
    message.Recipients.setText("a@example.jp, b@example.jp");
    message.Body = {"hello", ".", ".."};
    return message;
}

const std::string kClosed = test::kClosedMark;

// clang-format off
const DialogueCase kDialogues[] = {
    {"PlainSendWithoutAuth",
     script({greet(), ehloOk("250-SIZE 1000\r\n"), reply("250 reset\r\n"), reply("250 sender ok\r\n"),
             reply("250 ok\r\n"), reply("250 ok\r\n"), reply("354 go ahead\r\n"),
             {test::readData(), test::send("250 queued as 1\r\n")}}),
     Drive::FullSend,
     {"ehlo {host}", "Rset", "Mail from:<me@example.jp>", "RCPT to:<a@example.jp>",
      "RCPT to:<b@example.jp>", "Data", "*", "hello", "..", "...", ".", "Quit", kClosed},
     ""},
    {"GreetingOtherThan220",
     script({greet("554 no service for you\r\n")}),
     Drive::ConnectOnly, {"Quit", kClosed},
     "^ProtocolReplyError 554: 554 no service for you$"},
    {"EhloRefusedThenHelo",
     script({greet(), reply("502 what is ehlo\r\n"), reply("250 hello\r\n")}),
     Drive::ConnectOnly, {"ehlo {host}", "Helo {host}", "Quit", kClosed}, ""},
    {"HeloRefusedToo",
     script({greet(), reply("500 no\r\n"), reply("501 not you either\r\n")}),
     Drive::ConnectOnly, {"ehlo {host}", "Helo {host}", "Quit", kClosed},
     "^ProtocolReplyError 501: 501 not you either$"},
    {"AuthAnnouncedWithSpaceAndEquals",
     script({greet(), ehloOk("250-AUTH PLAIN LOGIN\r\n250-AUTH=LOGIN CRAM-MD5\r\n250-AUTHX XOAUTH\r\n")}),
     Drive::ConnectOnly, {"ehlo {host}", "Quit", kClosed}, "", nullptr,
     {"PLAIN", "LOGIN", "CRAM-MD5"}},
    {"AuthLoginThenSend",
     script({greet(), ehloOk("250-AUTH=LOGIN\r\n"), reply("334 VXNlcm5hbWU6\r\n"),
             reply("334 UGFzc3dvcmQ6\r\n"), reply("235 welcome\r\n"), reply("250 reset\r\n"),
             reply("250 ok\r\n"), reply("250 ok\r\n"), reply("250 ok\r\n"), reply("354 go\r\n"),
             {test::readData(), test::send("250 queued\r\n")}}),
     Drive::FullSend,
     {"ehlo {host}", "auth LOGIN", "dXNlcg==", "cEBzcyB3PXJk", "Rset", "Mail from:<me@example.jp>",
      "RCPT to:<a@example.jp>", "RCPT to:<b@example.jp>", "Data", "*", ".", "Quit", kClosed},
     "", nullptr, {"LOGIN"}},
    {"AuthPasswordRefused",
     script({greet(), ehloOk("250-AUTH LOGIN\r\n"), reply("334 VXNlcm5hbWU6\r\n"),
             reply("334 UGFzc3dvcmQ6\r\n"), reply("535 5.7.8 Authentication credentials invalid\r\n")}),
     Drive::FullSend, {"ehlo {host}", "auth LOGIN", "dXNlcg==", "cEBzcyB3PXJk", "Quit", kClosed},
     "^ProtocolReplyError 535: 535 5.7.8 Authentication credentials invalid$", nullptr, {"LOGIN"}},
    {"MultiLineReplySplitOverSegments",
     script({greet(), {test::read(), test::send("250-fake.example gre"), test::pause(30),
                       test::send("ets you\r\n250-AU"), test::pause(30),
                       test::send("TH LOGIN\r"), test::pause(30), test::send("\n250 HELP\r\n")}}),
     Drive::ConnectOnly, {"ehlo {host}", "Quit", kClosed}, "", nullptr, {"LOGIN"}},
    {"RecipientRefused550",
     script({greet(), ehloOk(), reply("250 reset\r\n"), reply("250 ok\r\n"), reply("250 ok\r\n"),
             reply("550 5.1.1 <b@example.jp>: Recipient address rejected\r\n")}),
     Drive::FullSend,
     {"ehlo {host}", "Rset", "Mail from:<me@example.jp>", "RCPT to:<a@example.jp>",
      "RCPT to:<b@example.jp>", "Quit", kClosed},
     "^ProtocolReplyError 550: 550 5\\.1\\.1 <b@example\\.jp>: Recipient address rejected$"},
    {"SenderNeedsFullyQualifiedAddress",
     script({greet(), ehloOk(), reply("250 reset\r\n"),
             reply("504 5.5.2 <me>: Sender address rejected: need fully-qualified address\r\n")}),
     Drive::FullSend, {"ehlo {host}", "Rset", "Mail from:<me>", "Quit", kClosed},
     "^ProtocolReplyError 504: 504 5\\.5\\.2 <me>: Sender address rejected: need "
     "fully-qualified address$",
     [](SmtpClient&, MailMessage& m) { m.From.Address = "me"; }},
    {"ServiceClosingMidSession421",
     script({greet(), ehloOk(), reply("250 reset\r\n"), reply("421 4.3.2 shutting down\r\n"),
             {test::hangUp()}}),
     Drive::FullSend, {"ehlo {host}", "Rset", "Mail from:<me@example.jp>"},
     "^ProtocolReplyError 421: 421 4\\.3\\.2 shutting down$"},
    {"ClosedAfterGreeting",
     script({greet(), {test::read(), test::hangUp()}}),
     Drive::ConnectOnly, {"ehlo {host}"},
     "^ConnectionClosedGracefully: Connection Closed Gracefully\\.$"},
    {"ClosedMidData",
     script({greet(), ehloOk(), reply("250 reset\r\n"), reply("250 ok\r\n"), reply("250 ok\r\n"),
             reply("250 ok\r\n"), reply("354 go\r\n"), {test::read(), test::hangUp()}}),
     Drive::FullSend,
     {"ehlo {host}", "Rset", "Mail from:<me@example.jp>", "RCPT to:<a@example.jp>",
      "RCPT to:<b@example.jp>", "Data", "*"},
     "^(ConnectionClosedGracefully: Connection Closed Gracefully\\.|SocketError: Socket Error # "
     "1005[48]\r\n.*)$"},
    {"ServerNeverAnswers",
     {}, Drive::ConnectOnly, {"Quit", kClosed},
     "^SocketError: Socket Error # 10060\r\nConnection timed out\\.$"},
    {"NoAnswerToEndOfData",
     script({greet(), ehloOk(), reply("250 reset\r\n"), reply("250 ok\r\n"), reply("250 ok\r\n"),
             reply("250 ok\r\n"), reply("354 go\r\n"), {test::readData()}}),
     Drive::FullSend,
     {"ehlo {host}", "Rset", "Mail from:<me@example.jp>", "RCPT to:<a@example.jp>",
      "RCPT to:<b@example.jp>", "Data", "*", ".", "Quit", kClosed},
     "^SocketError: Socket Error # 10060\r\nConnection timed out\\.$"},
    {"EndlessMultiLineReply",
     script({greet(), reply([] {
                 std::string lines;
                 for (int i = 0; i < 1200; ++i) {
                     lines += "250-line " + std::to_string(i) + "\r\n";
                 }
                 return lines;
             }())}),
     Drive::ConnectOnly, {"ehlo {host}", "Quit", kClosed},
     "^ProtocolError: Reply of more than 1000 lines\\.$"},
    {"OverLongReplyLine",
     script({greet(std::string("220 ") + std::string(70000, 'x'))}),
     Drive::ConnectOnly, {"Quit", kClosed},
     "^ProtocolError: Reply line longer than 65536 bytes\\.$"},
    {"EmptyLinesBeforeReplyAreSkipped",
     script({greet("\r\n  \r\n220 late greeting\r\n"), reply("\r\n250 hello\r\n")}),
     Drive::ConnectOnly, {"ehlo {host}", "Quit", kClosed}, ""},
    {"RecipientWithLineBreakRefusedUnwritten",
     script({greet(), ehloOk()}),
     Drive::FullSend, {"ehlo {host}", "Quit", kClosed},
     "^InvalidCommandText: A recipient address holds a line break or NUL character\\.$",
     [](SmtpClient&, MailMessage& m) {
         MailAddressItem evil;
         evil.Address = "b@example.jp>\r\nRCPT to:<evil@example.jp";
         m.Recipients.add(evil);
     }},
    {"SenderWithNulRefusedUnwritten",
     script({greet(), ehloOk()}),
     Drive::FullSend, {"ehlo {host}", "Quit", kClosed},
     "^InvalidCommandText: The sender address holds a line break or NUL character\\.$",
     [](SmtpClient&, MailMessage& m) { m.From.Address = std::string("me@example.jp\0x", 15); }},
    {"PasswordWithLineBreakRefusedBeforeAuth",
     script({greet(), ehloOk("250-AUTH LOGIN\r\n")}),
     Drive::FullSend, {"ehlo {host}", "Quit", kClosed},
     "^InvalidCommandText: The password holds a line break or NUL character\\.$",
     [](SmtpClient& c, MailMessage&) { c.Password = "secret\r\nQUIT"; }, {"LOGIN"}},
    {"SecurityChosenOverAPlainConnectionSendsNoAuth",
     script({greet(), ehloOk("250-AUTH LOGIN\r\n")}),
     Drive::FullSend, {"ehlo {host}", "Quit", kClosed},
     "^MailError: TLS Error\r\nThe connection is not protected; the password is not sent\\.$",
     nullptr, {"LOGIN"}, [](SmtpClient& c) { c.Security = MailSecurity::StartTls; }},
};
// clang-format on

class SmtpDialogue : public ::testing::TestWithParam<DialogueCase> {};

TEST_P(SmtpDialogue, TranscriptAndOutcome) {
    const DialogueCase& c = GetParam();
    FakeServer server(c.script);
    SmtpClient client;
    client.Host = "127.0.0.1";
    client.Port = server.port();
    client.LocalName = kClientName;
    client.UserId = "user";
    client.Password = "p@ss w=rd";
    client.ConnectTimeout = 2s;
    client.ReplyTimeout = 2s;
    client.DataEndTimeout = 2s;
    if (c.name == std::string("ServerNeverAnswers") ||
        c.name == std::string("NoAnswerToEndOfData")) {
        client.ReplyTimeout = 300ms;
        client.DataEndTimeout = 300ms;
    }
    MailMessage message = plainMessage();
    if (c.prepare) {
        c.prepare(client, message);
    }
    std::string error;
    try {
        client.AuthenticationType = atNone;
        client.Connect();
        EXPECT_EQ(client.AnnouncedAuthSchemes(), c.schemes);
        if (c.afterConnect) {
            c.afterConnect(client);
        }
        if (c.drive == Drive::FullSend) {
            const auto& schemes = client.AnnouncedAuthSchemes();
            if (std::find(schemes.begin(), schemes.end(), "LOGIN") != schemes.end()) {
                client.AuthenticationType = atLogin;
                client.Authenticate();
            }
            client.Send(message);
        }
    } catch (...) {
        error = describe(std::current_exception());
    }
    client.Disconnect();
    EXPECT_FALSE(client.Connected());
    EXPECT_FALSE(client.Authenticated());

    if (c.error.empty()) {
        EXPECT_EQ(error, "");
    } else {
        EXPECT_TRUE(std::regex_match(error, std::regex(c.error))) << "error: " << error;
    }
    std::vector<std::string> want = c.transcript;
    for (auto& line : want) {
        const auto at = line.find("{host}");
        if (at != std::string::npos) {
            line.replace(at, 6, kClientName);
        }
    }
    const auto got = server.transcript();
    EXPECT_TRUE(matches(got, 0, want, 0)) << "transcript:\n" << joined(got);
}

INSTANTIATE_TEST_SUITE_P(Faults, SmtpDialogue, ::testing::ValuesIn(kDialogues),
                         [](const auto& info) { return std::string(info.param.name); });

struct ReplyCodeCase {
    const char* line;
    int code;
};

class ReplyCode : public ::testing::TestWithParam<ReplyCodeCase> {};

TEST_P(ReplyCode, OfLastLine) {
    EXPECT_EQ(replyCodeOf(GetParam().line), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(Lines, ReplyCode,
                         ::testing::Values(ReplyCodeCase{"+OK ready", 1}, ReplyCodeCase{"+ok", 1},
                                           ReplyCodeCase{"-ERR nope", 0}, ReplyCodeCase{"-err", 0},
                                           ReplyCodeCase{"250 ok", 250}, ReplyCodeCase{"354", 354},
                                           ReplyCodeCase{"25", 0}, ReplyCodeCase{"2x0 odd", 0},
                                           ReplyCodeCase{"hello", 0}));

struct SchemesCase {
    const char* name;
    std::vector<std::string> reply;
    std::vector<std::string> schemes;
};

class AuthSchemes : public ::testing::TestWithParam<SchemesCase> {};

TEST_P(AuthSchemes, FromEhloReply) {
    EXPECT_EQ(authSchemesOf(GetParam().reply), GetParam().schemes);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Announcements, AuthSchemes, ::testing::Values(
    SchemesCase{"Space", {"250-x", "250 AUTH LOGIN PLAIN"}, {"LOGIN", "PLAIN"}},
    SchemesCase{"Equals", {"250-x", "250 AUTH=LOGIN"}, {"LOGIN"}},
    SchemesCase{"LowerCase", {"250-x", "250 auth login"}, {"LOGIN"}},
    SchemesCase{"BothFormsNoDuplicates", {"250-x", "250-AUTH LOGIN CRAM-MD5", "250 AUTH=LOGIN"},
                {"LOGIN", "CRAM-MD5"}},
    SchemesCase{"OtherLetterAfterAuth", {"250-x", "250 AUTHLOGIN"}, {}},
    SchemesCase{"FirstLineNeverRead", {"250-AUTH LOGIN", "250 HELP"}, {}},
    SchemesCase{"BareAuth", {"250-x", "250 AUTH"}, {}},
    SchemesCase{"ExtraSpaces", {"250-x", "250 AUTH  LOGIN "}, {"LOGIN"}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(SmtpClientState, ConnectTwiceIsRefused) {
    FakeServer server(script({greet(), reply("250 hi\r\n")}));
    SmtpClient client;
    client.Host = "LocalHost";
    client.Port = server.port();
    client.ReplyTimeout = 2s;
    client.Connect();
    try {
        client.Connect();
        ADD_FAILURE() << "second connect accepted";
    } catch (const AlreadyConnected& e) {
        EXPECT_STREQ(e.what(), "Already connected.");
    }
    EXPECT_TRUE(client.Connected());
    client.Disconnect();
    client.Disconnect(); // nothing left to do
    const auto lines = server.transcript();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Quit"), 1) << joined(lines);
}

TEST(SmtpClientState, TranscriptHidesCredentials) {
    FakeServer server(script({greet(), ehloOk("250-AUTH LOGIN\r\n"), reply("334 x\r\n"),
                              reply("334 y\r\n"), reply("235 ok\r\n")}));
    SmtpClient client;
    client.Host = "127.0.0.1";
    client.Port = server.port();
    client.ReplyTimeout = 2s;
    client.LocalName = kClientName;
    client.UserId = "someone";
    client.Password = "hunter2";
    std::vector<std::string> logged;
    client.Transcript = [&](char d, std::string_view line) {
        logged.push_back(std::string(1, d) + std::string(line));
    };
    client.Connect();
    client.AuthenticationType = atLogin;
    EXPECT_TRUE(client.Authenticate());
    client.Disconnect();
    server.transcript();
    const std::vector<std::string> sent = [&] {
        std::vector<std::string> out;
        std::copy_if(logged.begin(), logged.end(), std::back_inserter(out),
                     [](const std::string& s) { return s[0] == '>'; });
        return out;
    }();
    EXPECT_EQ(sent, (std::vector<std::string>{">ehlo " + std::string(kClientName), ">auth LOGIN",
                                              ">***", ">***", ">Quit"}));
    for (const auto& line : logged) {
        EXPECT_EQ(line.find("c29tZW9uZQ"), std::string::npos);
        EXPECT_EQ(line.find("aHVudGVyMg"), std::string::npos);
    }
}

} // namespace
} // namespace zp
