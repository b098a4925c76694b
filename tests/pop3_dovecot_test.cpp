// POP before SMTP log-in against a real POP3 server (Dovecot) on 127.0.0.1.
#include "dovecot_server.h"
#include "fake_server.h"
#include "mail/mailerror.h"
#include "mail/pop3client.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <pwd.h>
#include <sstream>
#include <unistd.h>

namespace zp {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::DovecotServer;
using test::kDovecot;

struct LogInCase {
    const char* name;
    const char* host;
    std::string user;
    std::string password;
    std::vector<std::string> events;
    std::string error; // empty: logged in
    int messageCount;
};

void PrintTo(const LogInCase& c, std::ostream* os) {
    *os << c.name;
}

class Pop3Dovecot : public ::testing::TestWithParam<LogInCase> {
protected:
    static void SetUpTestSuite() {
        if (!fs::exists(kDovecot)) {
            return;
        }
        try {
            s_server = new DovecotServer();
        } catch (const std::exception& e) {
            s_failure = e.what();
        }
    }
    static void TearDownTestSuite() {
        delete s_server;
        s_server = nullptr;
    }
    void SetUp() override {
        if (!fs::exists(kDovecot)) {
            GTEST_SKIP() << "dovecot-pop3d is not installed";
        }
        ASSERT_NE(s_server, nullptr) << s_failure;
    }
    static DovecotServer* s_server;
    static std::string s_failure;
};

DovecotServer* Pop3Dovecot::s_server = nullptr;
std::string Pop3Dovecot::s_failure;

TEST_P(Pop3Dovecot, LogInStatQuit) {
    const LogInCase& c = GetParam();
    Pop3Client client;
    client.Host = c.host;
    client.Port = s_server->port;
    client.UserID = c.user;
    client.Password = c.password;
    client.ConnectTimeout = 5s;
    client.ReplyTimeout = 10s;
    std::vector<std::string> events;
    client.OnInvalidHost = [&](bool&) { events.push_back("InvalidHost"); };
    client.OnConnectionFailed = [&] { events.push_back("ConnectionFailed"); };
    client.OnAuthenticationFailed = [&](bool&) { events.push_back("AuthenticationFailed"); };
    client.OnConnect = [&] { events.push_back("Connect"); };
    client.OnDisconnect = [&] { events.push_back("Disconnect"); };
    int waits = 0;
    client.WaitHook = [&] { ++waits; };
    std::vector<std::string> received;
    client.Transcript = [&](char d, std::string_view line) {
        if (d == '<') {
            received.emplace_back(line);
        }
    };

    std::string error;
    try {
        client.Connect();
    } catch (const MailError& e) {
        error = e.what();
    }
    if (client.Connected()) {
        client.Disconnect();
    }
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(events, c.events);
    EXPECT_EQ(client.MessageCount(), c.messageCount);
    EXPECT_FALSE(client.Connected());
    ASSERT_FALSE(received.empty());
    EXPECT_EQ(received.front().rfind("+OK Dovecot", 0), 0u) << received.front();
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(RealServer, Pop3Dovecot, ::testing::Values(
    LogInCase{"GoodLogIn", "127.0.0.1", "alice", "s3cret", {"Connect", "Disconnect"}, "", 2},
    LogInCase{"WrongPassword", "127.0.0.1", "alice", "wrong", {"AuthenticationFailed", "Disconnect"},
              "Authentication failed", 0},
    LogInCase{"UnknownUser", "localhost", "bob", "s3cret", {"AuthenticationFailed", "Disconnect"},
              "Authentication failed", 0}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

} // namespace
} // namespace zp
