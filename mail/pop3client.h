#pragma once
// POP3 client for "POP before SMTP": the authorization state of RFC 1939 with USER and
// PASS, then STAT and QUIT. Nothing is retrieved or deleted. The connection may be
// protected by STLS (RFC 2595) or by TLS from the start (port 995).
//
// The client runs on the window thread; while it waits for the network it calls
// WaitHook every few milliseconds so the window can keep processing its events.
#include "mail/socket.h"
#include "mail/tls.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace zp {

// An event that may ask for one more attempt by setting Handled.
using HandlerEvent = std::function<void(bool& Handled)>;

class Pop3Client {
public:
    static constexpr std::size_t kMaxReplyLine = 64 * 1024;

    Pop3Client();
    ~Pop3Client();
    Pop3Client(const Pop3Client&) = delete;
    Pop3Client& operator=(const Pop3Client&) = delete;

    std::string Host;
    std::uint16_t Port = 110;
    std::string UserID;
    std::string Password;
    // With StartTls or Tls the user name and password go only over the protected
    // connection; a server that cannot protect it ends the step with TlsError.
    MailSecurity Security = MailSecurity::None;
    std::string CaFile;

    // Limits of the waits: host lookup and connect, and each reply line. Past them the
    // step fails with "Host Lookup Timed Out", "Connection Timed out" or AbortError
    // "Socket readln aborted".
    std::chrono::milliseconds ConnectTimeout{30000};
    std::chrono::milliseconds ReplyTimeout{60000};

    // Called between the slices of every wait; the window sets it to process its events.
    std::function<void()> WaitHook;
    // Optional transcript: '>' written, '<' read; the password appears as "***".
    std::function<void(char direction, std::string_view line)> Transcript;

    HandlerEvent OnInvalidHost;
    std::function<void()> OnConnectionFailed;
    HandlerEvent OnAuthenticationNeeded;
    HandlerEvent OnAuthenticationFailed;
    std::function<void()> OnConnect;
    std::function<void()> OnDisconnect;

    // Resolve, connect, greeting, USER and PASS, STAT. Raises after raising the
    // matching event; the connection is closed again after any failure.
    void Connect();
    // QUIT and close when connected; raises with the reply line when QUIT is refused,
    // after closing.
    void Disconnect();
    bool Connected() const;
    // Writes line + CR LF and gives the reply line read, its CR LF included.
    std::string Transaction(std::string_view line);

    // Ends the wait in progress (from inside WaitHook or an event handler).
    void Cancel() { m_canceled = true; }

    int MessageCount() const { return m_messageCount; }
    const std::string& LastReply() const { return m_lastReply; }

private:
    void checkCredentials();
    std::vector<ResolvedAddress> resolve();
    void open(const std::vector<ResolvedAddress>& addresses);
    void protect(bool afterGreeting);
    void logIn();
    void readStatus();
    std::string readReplyLine();
    std::string exchange(std::string_view line, std::string_view logged);
    void closeSocket();
    void log(char direction, std::string_view line) const;

    TcpConnection m_connection;
    std::atomic<bool> m_canceled{false};
    int m_messageCount = 0;
    std::string m_lastReply;
};

// A reply counts as positive when its first word contains "+OK".
bool isPositivePop3Reply(std::string_view reply);

} // namespace zp
