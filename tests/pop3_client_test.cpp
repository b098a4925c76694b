// POP before SMTP log-in against a scripted server: the command transcript, the events
// in their order and the error of every fault.
#include "fake_server.h"
#include "mail/mailerror.h"
#include "mail/pop3client.h"

#include <gtest/gtest.h>

#include <regex>

namespace zp {
namespace {

using test::describe;
using test::FakeServer;
using test::reply;
using test::script;
using test::Step;
using namespace std::chrono_literals;

std::vector<Step> greet(std::string text = "+OK fake POP3 ready\r\n") {
    return {test::send(std::move(text))};
}
std::vector<Step> logInOk() {
    return script({greet(), reply("+OK\r\n"), reply("+OK logged in\r\n")});
}

enum class Target { Server, UnusedPort, UnknownHost };

struct Pop3Case {
    const char* name;
    std::vector<Step> script;
    std::vector<std::string> transcript;
    std::vector<std::string> events;
    std::string connectError; // regular expression; empty: none
    std::string disconnectError = "";
    Target target = Target::Server;
    std::string user = "alice";
    std::string password = "s3cret";
    bool handleInvalidHost = false;
    bool handleAuthFailed = false;
    int messageCount = 0;
    std::chrono::milliseconds replyTimeout = 2000ms;
    std::chrono::milliseconds serverLimit = 5000ms;
};

void PrintTo(const Pop3Case& c, std::ostream* os) {
    *os << c.name;
}

const std::string kClosed = test::kClosedMark;
const std::string kAuthFailed = "^MailError: Authentication failed$";

Pop3Case withTarget(Pop3Case c, Target target) {
    c.target = target;
    c.serverLimit = 200ms;
    return c;
}
Pop3Case withCredentials(Pop3Case c, std::string user, std::string password) {
    c.user = std::move(user);
    c.password = std::move(password);
    c.serverLimit = 200ms;
    return c;
}

// clang-format off
const Pop3Case kCases[] = {
    {"LogInStatQuit",
     script({logInOk(), reply("+OK 2 320\r\n"), reply("+OK bye\r\n")}),
     {"USER alice", "PASS s3cret", "STAT", "QUIT", kClosed}, {"Connect", "Disconnect"}, "", "",
     Target::Server, "alice", "s3cret", false, false, 2},
    {"PassRefused",
     script({greet(), reply("+OK\r\n"), reply("-ERR [AUTH] Authentication failed.\r\n"),
             reply("+OK bye\r\n")}),
     {"USER alice", "PASS s3cret", "QUIT", kClosed}, {"AuthenticationFailed", "Disconnect"},
     kAuthFailed},
    {"UserRefused",
     script({greet(), reply("-ERR who\r\n"), reply("+OK bye\r\n")}),
     {"USER alice", "QUIT", kClosed}, {"AuthenticationFailed", "Disconnect"}, kAuthFailed},
    {"RetryAskedByHandlerOnce",
     script({greet(), reply("+OK\r\n"), reply("-ERR no\r\n"), reply("+OK\r\n"),
             reply("-ERR still no\r\n"), reply("+OK bye\r\n")}),
     {"USER alice", "PASS s3cret", "USER alice", "PASS s3cret", "QUIT", kClosed},
     {"AuthenticationFailed", "Disconnect"}, kAuthFailed, "", Target::Server, "alice", "s3cret",
     false, true},
    {"GreetingNotPositive",
     script({greet("-ERR too busy\r\n"), reply("+OK bye\r\n")}),
     {"QUIT", kClosed}, {"Disconnect"}, "^ProtocolError: -ERR too busy$"},
    {"StatRefusedStillReportsConnect",
     script({logInOk(), reply("-ERR mailbox locked\r\n"), reply("+OK bye\r\n")}),
     {"USER alice", "PASS s3cret", "STAT", "QUIT", kClosed}, {"Disconnect", "Connect"},
     "^ProtocolError: -ERR mailbox locked$"},
    {"QuitRefusedAfterClosing",
     script({logInOk(), reply("+OK 0 0\r\n"), reply("-ERR cannot commit\r\n")}),
     {"USER alice", "PASS s3cret", "STAT", "QUIT", kClosed}, {"Connect", "Disconnect"}, "",
     "^ProtocolError: -ERR cannot commit$"},
    {"ReplyLineSplitOverSegments",
     script({{test::send("+O"), test::pause(30), test::send("K hel"), test::pause(30),
              test::send("lo\r"), test::pause(30), test::send("\n")},
             reply("+OK\r\n"), reply("+OK\r\n"), reply("+OK 7 99\r\n"), reply("+OK\r\n")}),
     {"USER alice", "PASS s3cret", "STAT", "QUIT", kClosed}, {"Connect", "Disconnect"}, "", "",
     Target::Server, "alice", "s3cret", false, false, 7},
    {"NoAnswerEndsRead",
     script({greet(), {test::read()}}),
     {"USER alice", "QUIT", kClosed}, {"Disconnect"}, "^AbortError: Socket readln aborted$", "",
     Target::Server, "alice", "s3cret", false, false, 0, 300ms},
    {"ServerHangsUp",
     script({greet(), {test::read(), test::hangUp()}}),
     {"USER alice"}, {"Disconnect"},
     "^ConnectionClosedGracefully: Connection Closed Gracefully\\.$"},
    {"OverLongLine",
     script({greet("+OK " + std::string(70000, 'x')), reply("+OK bye\r\n")}),
     {"QUIT", kClosed}, {"Disconnect"}, "^ProtocolError: Reply line longer than 65536 bytes\\.$"},
    withCredentials({"EmptyPasswordNoTraffic", {}, {}, {}, kAuthFailed}, "alice", ""),
    withCredentials({"EmptyUserNoTraffic", {}, {}, {}, kAuthFailed}, "", "s3cret"),
    withCredentials({"LineBreakInUserNoTraffic", {}, {}, {},
                     "^InvalidCommandText: .*line break.*$"}, "alice\r\nDELE 1", "s3cret"),
    withCredentials({"NulInPasswordNoTraffic", {}, {}, {}, "^InvalidCommandText: .*NUL.*$"},
                    "alice", std::string("s3\0cret", 7)),
    withTarget({"ConnectionRefused", {}, {}, {"ConnectionFailed"}, "^SockError: Connection Failed$"},
               Target::UnusedPort),
    withTarget({"HostNotFound", {}, {}, {"InvalidHost"}, "^SockError: Null Remote Address$"},
               Target::UnknownHost),
};
// clang-format on

class Pop3Dialogue : public ::testing::TestWithParam<Pop3Case> {};

TEST_P(Pop3Dialogue, TranscriptEventsAndOutcome) {
    const Pop3Case& c = GetParam();
    FakeServer server(c.script, c.serverLimit);
    Pop3Client client;
    client.Host = c.target == Target::UnknownHost ? "no-such-host.invalid" : "127.0.0.1";
    client.Port = c.target == Target::UnusedPort ? test::unusedPort() : server.port();
    client.UserID = c.user;
    client.Password = c.password;
    client.ConnectTimeout = 2s;
    client.ReplyTimeout = c.replyTimeout;
    std::vector<std::string> events;
    client.OnInvalidHost = [&](bool& handled) {
        events.push_back("InvalidHost");
        handled = c.handleInvalidHost;
    };
    client.OnConnectionFailed = [&] { events.push_back("ConnectionFailed"); };
    client.OnAuthenticationFailed = [&](bool& handled) {
        events.push_back("AuthenticationFailed");
        handled = c.handleAuthFailed;
    };
    client.OnConnect = [&] { events.push_back("Connect"); };
    client.OnDisconnect = [&] { events.push_back("Disconnect"); };

    // The send operation's order: connect, drop its error, disconnect when connected.
    std::string connectError;
    std::string disconnectError;
    try {
        client.Connect();
    } catch (...) {
        connectError = describe(std::current_exception());
    }
    EXPECT_EQ(client.MessageCount(), c.messageCount);
    try {
        if (client.Connected()) {
            client.Disconnect();
        }
    } catch (...) {
        disconnectError = describe(std::current_exception());
    }
    EXPECT_FALSE(client.Connected());

    auto check = [](const std::string& got, const std::string& pattern) {
        if (pattern.empty()) {
            EXPECT_EQ(got, "");
        } else {
            EXPECT_TRUE(std::regex_match(got, std::regex(pattern))) << "error: " << got;
        }
    };
    check(connectError, c.connectError);
    check(disconnectError, c.disconnectError);
    EXPECT_EQ(events, c.events);
    EXPECT_EQ(server.transcript(), c.transcript);
    if (c.transcript.empty()) {
        EXPECT_FALSE(server.accepted()) << "bytes went out before the refusal";
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, Pop3Dialogue, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A handler that fixes the host gets one more lookup, which then leads to a log-in.
TEST(Pop3Events, InvalidHostHandlerMayRetryOnce) {
    FakeServer server(script({logInOk(), reply("+OK 1 10\r\n"), reply("+OK bye\r\n")}));
    Pop3Client client;
    client.Host = "no-such-host.invalid";
    client.Port = server.port();
    client.UserID = "alice";
    client.Password = "s3cret";
    client.ReplyTimeout = 2s;
    int asked = 0;
    client.OnInvalidHost = [&](bool& handled) {
        ++asked;
        client.Host = "127.0.0.1";
        handled = true;
    };
    client.Connect();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(client.MessageCount(), 1);
    client.Disconnect();
    EXPECT_EQ(server.transcript(),
              (std::vector<std::string>{"USER alice", "PASS s3cret", "STAT", "QUIT", kClosed}));
}

// The window's events keep flowing during a wait, and the window may end the wait.
TEST(Pop3Events, WaitHookRunsAndMayCancel) {
    FakeServer server(script({greet(), {test::read()}}));
    Pop3Client client;
    client.Host = "127.0.0.1";
    client.Port = server.port();
    client.UserID = "alice";
    client.Password = "s3cret";
    client.ReplyTimeout = 10s;
    int calls = 0;
    client.WaitHook = [&] {
        if (++calls == 20) {
            client.Cancel();
        }
    };
    const auto started = std::chrono::steady_clock::now();
    try {
        client.Connect();
        ADD_FAILURE() << "connect succeeded";
    } catch (const AbortError& e) {
        EXPECT_STREQ(e.what(), "Socket readln aborted");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    EXPECT_GE(calls, 20);
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(server.transcript(), (std::vector<std::string>{"USER alice", "QUIT", kClosed}));
}

TEST(Pop3Events, TranscriptHidesPassword) {
    FakeServer server(script({logInOk(), reply("+OK 0 0\r\n"), reply("+OK\r\n")}));
    Pop3Client client;
    client.Host = "localhost";
    client.Port = server.port();
    client.UserID = "alice";
    client.Password = "s3cret";
    client.ReplyTimeout = 2s;
    std::string logged;
    client.Transcript = [&](char d, std::string_view line) {
        logged += d;
        logged += line;
        logged += '\n';
    };
    client.Connect();
    client.Disconnect();
    server.transcript();
    EXPECT_EQ(logged, "<+OK fake POP3 ready\n>USER alice\n<+OK\n>PASS ***\n<+OK logged in\n"
                      ">STAT\n<+OK 0 0\n>QUIT\n<+OK\n");
}

TEST(Pop3Reply, PositiveWhenFirstWordHoldsOk) {
    EXPECT_TRUE(isPositivePop3Reply("+OK\r\n"));
    EXPECT_TRUE(isPositivePop3Reply("+OK 2 320\r\n"));
    EXPECT_TRUE(isPositivePop3Reply("x+OKx rest"));
    EXPECT_FALSE(isPositivePop3Reply("-ERR +OK\r\n"));
    EXPECT_FALSE(isPositivePop3Reply("+ok\r\n"));
    EXPECT_FALSE(isPositivePop3Reply(""));
}

} // namespace
} // namespace zp
