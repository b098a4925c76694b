// Plays a mail server whose every byte is the fuzz input: a listener on 127.0.0.1 takes
// the client's connection, writes the bytes, ends its sending side and reads on until the
// client closes. The real SMTP or POP3 client then runs its dialogue against it, so the
// greeting, the EHLO reply with its AUTH lines, the multi-line replies with their caps and
// the +OK/-ERR lines all come through the socket layer as a server would send them.
//
// Input: byte 0 picks the client (bit 0: POP3) and a repeat count (bits 1-7); bytes 1-2
// split the rest into a head sent once and a tail sent as often as the count says, so a
// small input can reach the 64 KiB line cap and the 1000-line cap.
//   build-fuzz/fuzz/fuzz_reply -max_total_time=300 -rss_limit_mb=1024 -timeout=5
//       corpus/ fuzz/seeds/reply   (one command line)
#include "mail/mailerror.h"
#include "mail/message.h"
#include "mail/pop3client.h"
#include "mail/smtpclient.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using std::chrono::milliseconds;

constexpr std::size_t kMaxStream = 160 * 1024;
constexpr int kServerWaitMs = 3000;
constexpr milliseconds kClientLimit{2000};

void check(bool ok) {
    if (!ok)
        std::abort();
}

// ZP_FUZZ_VERBOSE=1 shows how each dialogue ended, for reading a single input.
void tell(const char* client, const std::exception* error) {
    static const bool verbose = std::getenv("ZP_FUZZ_VERBOSE") != nullptr;
    if (verbose)
        std::fprintf(stderr, "%s: %s\n", client, error ? error->what() : "completed");
}

struct Script {
    bool pop3 = false;
    std::string bytes;
};

Script scriptFrom(std::string_view data) {
    Script script;
    if (data.size() < 3)
        return script;
    const auto control = static_cast<unsigned char>(data[0]);
    const std::size_t split = static_cast<unsigned char>(data[1]) |
                              static_cast<std::size_t>(static_cast<unsigned char>(data[2])) << 8;
    data.remove_prefix(3);
    script.pop3 = control & 1;
    const std::size_t count = control >> 1;
    const std::size_t repeats = 1 + count * count * 8; // up to 129033
    const std::string_view head = data.substr(0, std::min(split, data.size()));
    const std::string_view tail = data.substr(head.size());
    script.bytes = head;
    for (std::size_t i = 0; i < repeats && !tail.empty() && script.bytes.size() < kMaxStream; ++i)
        script.bytes.append(tail);
    script.bytes.resize(std::min(script.bytes.size(), kMaxStream));
    return script;
}

bool waitFor(int fd, short events) {
    pollfd p{fd, events, 0};
    return ::poll(&p, 1, kServerWaitMs) > 0;
}

class Listener {
public:
    Listener() {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof addr;
        check(m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), length) == 0 &&
              ::listen(m_fd, 4) == 0 &&
              ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &length) == 0);
        m_port = ntohs(addr.sin_port);
    }
    std::uint16_t port() const { return m_port; }

    // One client: all the bytes, the end of sending, then whatever it writes until it closes.
    void serve(const std::string& bytes) const {
        if (!waitFor(m_fd, POLLIN))
            return;
        const int fd = ::accept(m_fd, nullptr, nullptr);
        if (fd < 0)
            return;
        std::string_view rest(bytes);
        while (!rest.empty() && waitFor(fd, POLLOUT)) {
            const auto sent = ::send(fd, rest.data(), rest.size(), MSG_NOSIGNAL);
            if (sent <= 0)
                break;
            rest.remove_prefix(static_cast<std::size_t>(sent));
        }
        ::shutdown(fd, SHUT_WR);
        char sink[4096];
        while (waitFor(fd, POLLIN) && ::recv(fd, sink, sizeof sink, 0) > 0) {
        }
        ::close(fd);
    }

private:
    int m_fd = -1;
    std::uint16_t m_port = 0;
};

bool isBlank(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}

// What every reply that was read whole must look like.
void checkReply(const zp::SmtpClient& client) {
    const auto& lines = client.ReplyLines();
    check(!lines.empty() && lines.size() <= zp::SmtpClient::kMaxReplyLines);
    for (const auto& line : lines) {
        check(!line.empty() && line.size() <= zp::SmtpClient::kMaxReplyLine);
        check(!isBlank(line.front()) && !isBlank(line.back()));
    }
    check(client.ReplyCode() == zp::replyCodeOf(lines.back()));
    check(client.ReplyCode() >= 0 && client.ReplyCode() <= 999);
}

void checkSchemes(const std::vector<std::string>& schemes) {
    for (std::size_t i = 0; i < schemes.size(); ++i) {
        const auto& scheme = schemes[i];
        check(!scheme.empty() && scheme.find_first_of(" =") == std::string::npos);
        check(std::none_of(scheme.begin(), scheme.end(),
                           [](char c) { return c >= 'a' && c <= 'z'; }));
        check(std::find(schemes.begin() + i + 1, schemes.end(), scheme) == schemes.end());
    }
}

void runSmtp(std::uint16_t port) {
    zp::SmtpClient client;
    client.Host = "127.0.0.1";
    client.Port = port;
    client.ConnectTimeout = client.ReplyTimeout = client.DataEndTimeout = kClientLimit;
    try {
        client.Connect();
        checkReply(client);
        checkSchemes(client.AnnouncedAuthSchemes());
        const auto& schemes = client.AnnouncedAuthSchemes();
        if (std::find(schemes.begin(), schemes.end(), "LOGIN") != schemes.end()) {
            client.AuthenticationType = zp::atLogin;
            client.UserId = "user";
            client.Password = "secret";
        }
        client.Authenticate();
        checkReply(client);
        zp::MailMessage message;
        message.From.setText("from@example.jp");
        message.Recipients.setText("to@example.jp, cc@example.jp");
        message.Body = {"body", ".dot"};
        client.Send(message);
        checkReply(client);
        for (int i = 0; i < 4; ++i) {
            client.SendCommand("Noop");
            checkReply(client);
        }
        tell("smtp", nullptr);
    } catch (const zp::MailError& error) {
        tell("smtp", &error);
        check(std::string_view(error.what()).size() <= zp::SmtpClient::kMaxReplyLine + 64);
    }
    client.Disconnect();
    check(!client.Connected());
}

void checkPop3Reply(const std::string& reply) {
    check(!reply.empty() && reply.back() == '\n');
    check(reply.size() <= zp::Pop3Client::kMaxReplyLine + 2);
}

void runPop3(std::uint16_t port) {
    zp::Pop3Client client;
    client.Host = "127.0.0.1";
    client.Port = port;
    client.UserID = "user";
    client.Password = "secret";
    client.ConnectTimeout = client.ReplyTimeout = kClientLimit;
    int failures = 0;
    client.OnAuthenticationFailed = [&failures](bool& handled) { handled = ++failures == 1; };
    try {
        client.Connect();
        check(client.Connected() && client.MessageCount() >= 0);
        checkPop3Reply(client.LastReply());
        checkPop3Reply(client.Transaction("NOOP"));
        client.Disconnect();
        tell("pop3", nullptr);
    } catch (const zp::MailError& error) {
        tell("pop3", &error);
    }
    check(failures <= 1);
    try {
        client.Disconnect();
    } catch (const zp::MailError&) {
    }
    check(!client.Connected());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    static const Listener listener;
    const Script script = scriptFrom(std::string_view(reinterpret_cast<const char*>(bytes), size));
    std::thread server([&] { listener.serve(script.bytes); });
    if (script.pop3)
        runPop3(listener.port());
    else
        runSmtp(listener.port());
    server.join();
    // The pure helpers on the raw input, beside the socket path.
    const std::string_view text(reinterpret_cast<const char*>(bytes), size);
    const int code = zp::replyCodeOf(text);
    check(code >= 0 && code <= 999);
    (void)zp::isPositivePop3Reply(text);
    return 0;
}
