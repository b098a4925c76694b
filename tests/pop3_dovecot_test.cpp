// POP before SMTP log-in against a real POP3 server (Dovecot) on 127.0.0.1.
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

const char* kDovecot = "/usr/sbin/dovecot";

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// Dovecot slows each further failed log-in from one address down (2 s, then 4 s, ...),
// so the failing cases are few.
// One Dovecot for the whole suite, with one user "alice" whose mailbox holds two
// messages. As root, Dovecot runs its login and internal processes as its own users
// and the mailbox as "nobody"; otherwise everything runs as the current user.
class DovecotServer {
public:
    DovecotServer() {
        std::string pattern = (fs::temp_directory_path() / "zp_dovecot_XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            throw std::runtime_error("mkdtemp failed");
        }
        m_dir = pattern;
        const bool root = geteuid() == 0;
        const uid_t uid = root ? 65534 : getuid();
        const gid_t gid = root ? 65534 : getgid();
        const passwd* me = getpwuid(getuid());
        const std::string self = me ? me->pw_name : "root";
        // Dovecot's own users must be able to reach the files below the folder.
        fs::permissions(m_dir, fs::perms::owner_all | fs::perms::group_read |
                                   fs::perms::group_exec | fs::perms::others_read |
                                   fs::perms::others_exec);
        for (const char* sub :
             {"run", "state", "home", "mail/alice/cur", "mail/alice/new", "mail/alice/tmp"}) {
            fs::create_directories(m_dir / sub);
        }
        std::ofstream(m_dir / "mail/alice/new/1.zp") << "Subject: one\n\nfirst\n";
        std::ofstream(m_dir / "mail/alice/new/2.zp") << "Subject: two\n\nsecond\n";
        for (const char* sub : {"home", "mail", "mail/alice", "mail/alice/cur", "mail/alice/new",
                                "mail/alice/tmp", "mail/alice/new/1.zp", "mail/alice/new/2.zp"}) {
            if (chown((m_dir / sub).c_str(), uid, gid) != 0) {
                throw std::runtime_error("chown failed");
            }
        }
        std::ofstream(m_dir / "users") << "alice:{PLAIN}s3cret:" << uid << ":" << gid
                                       << "::" << (m_dir / "home").string() << "\n";
        port = test::unusedPort();
        std::ifstream in(ZP_TEST_SCRIPTS "/dovecot.conf.in");
        std::stringstream text;
        text << in.rdbuf();
        std::string conf = replaceAll(text.str(), "@DIR@", m_dir.string());
        conf = replaceAll(conf, "@PORT@", std::to_string(port));
        conf = replaceAll(conf, "@LOGIN_USER@", root ? "dovenull" : self);
        conf = replaceAll(conf, "@INTERNAL_USER@", root ? "dovecot" : self);
        std::ofstream(m_dir / "dovecot.conf") << conf;
        m_process = std::make_unique<test::ServerProcess>(
            std::vector<std::string>{kDovecot, "-F", "-c", (m_dir / "dovecot.conf").string()});
        m_process->waitForLine("starting up", 15s);
    }
    ~DovecotServer() {
        if (m_process) {
            m_process->stop(SIGTERM, 5s);
        }
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }
    std::uint16_t port = 0;

private:
    fs::path m_dir;
    std::unique_ptr<test::ServerProcess> m_process;
};

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
