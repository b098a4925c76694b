// The socket layer: Windows socket codes and texts on every platform, host lookup,
// and how lines are read from a connection that the peer closes.
#include "fake_server.h"
#include "mail/mailerror.h"
#include "mail/smtpclient.h"
#include "mail/socket.h"
#include "support/rows.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <regex>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#endif

namespace zp {
namespace {

using zp::test::PrintTo;

using namespace std::chrono_literals;

struct MessageCase {
    int code;
    const char* message;
};

class SocketErrorMessage : public ::testing::TestWithParam<MessageCase> {};

// The send operation recognises a socket error by its first 20 characters.
TEST_P(SocketErrorMessage, WordedAsTheSendOperationReadsIt) {
    const SocketError error(GetParam().code);
    EXPECT_EQ(std::string(error.what()), GetParam().message);
    EXPECT_EQ(std::string(error.what()).substr(0, 20),
              "Socket Error # " + std::to_string(GetParam().code));
}

INSTANTIATE_TEST_SUITE_P(
    Codes, SocketErrorMessage,
    ::testing::Values(MessageCase{10061, "Socket Error # 10061\r\nConnection refused."},
                      MessageCase{10060, "Socket Error # 10060\r\nConnection timed out."},
                      MessageCase{10054, "Socket Error # 10054\r\nConnection reset by peer."},
                      MessageCase{10035, "Socket Error # 10035\r\nOperation would block. "},
                      MessageCase{10066, "Socket Error # 10066\r\nDirectory not empty"},
                      MessageCase{10004, "Socket Error # 10004\r\nInterrupted system call."},
                      MessageCase{10022, "Socket Error # 10022\r\nInvalid argument."},
                      MessageCase{10039, "Socket Error # 10039\r\nDestination address required."},
                      MessageCase{11001, "Socket Error # 11001\r\n"},
                      MessageCase{11002, "Socket Error # 11002\r\n"},
                      MessageCase{10067, "Socket Error # 10067\r\n"}));

// POSIX reports errno values, turned into the Winsock codes the messages show; Windows has
// those codes from Winsock itself.
#ifndef _WIN32
struct ErrnoCase {
    int err;
    int code;
};

class ErrnoMapping : public ::testing::TestWithParam<ErrnoCase> {};

TEST_P(ErrnoMapping, ToWindowsSocketCode) {
    EXPECT_EQ(socketCodeFromErrno(GetParam().err), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, ErrnoMapping,
    ::testing::Values(ErrnoCase{ECONNREFUSED, 10061}, ErrnoCase{ETIMEDOUT, 10060},
                      ErrnoCase{EHOSTDOWN, 10064}, ErrnoCase{EHOSTUNREACH, 10065},
                      ErrnoCase{ECONNRESET, 10054}, ErrnoCase{EPIPE, 10058},
                      ErrnoCase{ENETUNREACH, 10051}, ErrnoCase{EINVAL, 10022},
                      ErrnoCase{EDESTADDRREQ, 10039}, ErrnoCase{EADDRINUSE, 10048},
                      ErrnoCase{EWOULDBLOCK, 10035}, ErrnoCase{EINPROGRESS, 10036}));
#endif

TEST(SocketErrorDescription, ShortTextsForThePop3Messages) {
    EXPECT_EQ(socketErrorDescription(10061), "Connection refused");
    EXPECT_EQ(socketErrorDescription(11001), "Host not found");
    EXPECT_EQ(socketErrorDescription(10093), "Winsock not initialised");
    EXPECT_EQ(socketErrorDescription(12345), "Unknown Error No. 12345");
}

// The client's own failures, worded exactly as the send operation expects them.
struct ConnectCase {
    const char* name;
    std::string host;
    bool unusedPort;
    const char* pattern;
};

void PrintTo(const ConnectCase& c, std::ostream* os) {
    *os << c.name;
}

class SmtpConnectFailure : public ::testing::TestWithParam<ConnectCase> {};

TEST_P(SmtpConnectFailure, RaisesSocketError) {
    SmtpClient client;
    client.Host = GetParam().host;
    client.Port = GetParam().unusedPort ? test::unusedPort() : 25;
    client.ConnectTimeout = 5s;
    std::string message;
    try {
        client.Connect();
        ADD_FAILURE() << "connected";
    } catch (const MailError& e) {
        message = e.what();
    }
    EXPECT_TRUE(std::regex_match(message, std::regex(GetParam().pattern))) << message;
    EXPECT_FALSE(client.Connected());
}

INSTANTIATE_TEST_SUITE_P(
    Failures, SmtpConnectFailure,
    ::testing::Values(ConnectCase{"Refused", "127.0.0.1", true,
                                  "^Socket Error # 10061\r\nConnection refused\\.$"},
                      ConnectCase{"RefusedByName", "LocalHost", true,
                                  "^Socket Error # 10061\r\nConnection refused\\.$"},
                      // No such host, or no name service at all.
                      ConnectCase{"HostNotFound", "no-such-host.invalid", false,
                                  "^Socket Error # 1100[12]\r\n$"},
                      ConnectCase{"LineBreakInHost", "smtp.example.jp\r\nQUIT", false,
                                  "^The host name holds a line break or NUL character\\.$"}),
    [](const auto& info) { return std::string(info.param.name); });

struct ResolveCase {
    const char* host;
    const char* address;
};

class LiteralHosts : public ::testing::TestWithParam<ResolveCase> {};

TEST_P(LiteralHosts, TakenWithoutLookup) {
    const auto found = resolveHost(GetParam().host, 25, 1s, {});
    ASSERT_EQ(found.size(), 1u);
    ASSERT_EQ(found[0].addr.ss_family, AF_INET);
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&found[0].addr);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
    EXPECT_STREQ(text, GetParam().address);
    EXPECT_EQ(ntohs(v4->sin_port), 25);
}

INSTANTIATE_TEST_SUITE_P(Hosts, LiteralHosts,
                         ::testing::Values(ResolveCase{"LOCALHOST", "127.0.0.1"},
                                           ResolveCase{"localhost", "127.0.0.1"},
                                           ResolveCase{"192.0.2.7", "192.0.2.7"}));

TEST(HostLookup, WaitHookRunsWhileTheLookupIsOut) {
    int calls = 0;
    std::atomic<bool> cancel{false};
    WaitControl wait{[&] {
                         if (++calls == 1) {
                             cancel = true;
                         }
                     },
                     &cancel};
    // Either the lookup answers at once or the hook's cancel ends the wait.
    try {
        resolveHost("no-such-host.invalid", 110, 5s, wait);
        ADD_FAILURE() << "resolved";
    } catch (const AbortError&) {
        EXPECT_EQ(calls, 1);
    } catch (const SocketError& e) {
        EXPECT_TRUE(e.code() == 11001 || e.code() == 11002) << e.code();
    }
}

// Complete lines are read even after the peer has closed; the unfinished rest is not.
TEST(TcpConnectionLines, PeerCloseAfterLines) {
    test::FakeServer server({test::send("first\r\nsecond\nunfinished"), test::hangUp()});
    TcpConnection connection;
    connection.connect(resolveHost("127.0.0.1", server.port(), 1s, {}), 2s);
    EXPECT_EQ(connection.readLine(2s, 100), "first\r");
    EXPECT_EQ(connection.readLine(2s, 100), "second");
    EXPECT_THROW(connection.readLine(2s, 100), ConnectionClosedGracefully);
    EXPECT_FALSE(connection.isOpen());
    EXPECT_THROW(connection.readLine(2s, 100), ConnectionClosedGracefully);
    server.transcript();
}

// The cap holds whether the long line is still arriving or complete in the buffer.
TEST(TcpConnectionLines, LineCap) {
    test::FakeServer server({test::send(std::string(100, 'a') + "\n" + std::string(101, 'b') +
                                        "\n" + std::string(300, 'c'))});
    TcpConnection connection;
    connection.connect(resolveHost("127.0.0.1", server.port(), 1s, {}), 2s);
    EXPECT_EQ(connection.readLine(2s, 100), std::string(100, 'a'));
    EXPECT_THROW(connection.readLine(2s, 100), ProtocolError);
    connection.close();
    server.transcript();
}

TEST(TcpConnectionLines, SilentPeerTimesOut) {
    test::FakeServer server({});
    TcpConnection connection;
    connection.connect(resolveHost("127.0.0.1", server.port(), 1s, {}), 2s);
    const auto started = std::chrono::steady_clock::now();
    try {
        connection.readLine(200ms, 100);
        ADD_FAILURE() << "read a line";
    } catch (const SocketError& e) {
        EXPECT_EQ(e.code(), 10060);
    }
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_GE(took, 200ms);
    EXPECT_LT(took, 2s);
    connection.close();
    server.transcript();
}

} // namespace
} // namespace zp
