#pragma once
// A small TCP layer of our own for the SMTP and POP3 clients. Failures are numbered
// with the Windows socket codes on every platform (10061 refused, 11001 host not
// found, ...), because the send operation recognises them by number.
//
// Every wait has a limit and can run a wait hook between short slices, so a caller
// on the window thread can keep its events flowing (POP3) or simply block (SMTP).
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX // std::min and std::max, not the macros
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <sys/socket.h>
#endif

namespace zp {

class TlsSession;

// "Connection refused." and the other texts of the SMTP error messages; empty for
// a code that has none (11001, 11002, ...).
std::string socketErrorText(int code);

// Short description for the POP3 messages ("Connection refused", "Host not found");
// "Unknown Error No. " and the code for an unlisted one.
std::string socketErrorDescription(int code);

// Windows socket code for a POSIX errno value (ECONNREFUSED -> 10061, ...).
int socketCodeFromErrno(int err);

// How a wait behaves: with a hook, the wait runs in slices of a few milliseconds and
// calls the hook after each one; a set cancel flag ends the wait with AbortError.
struct WaitControl {
    std::function<void()> hook;
    const std::atomic<bool>* cancel = nullptr;
};

// No limit when the duration is zero.
using Timeout = std::chrono::milliseconds;

struct ResolvedAddress {
    sockaddr_storage addr{};
    socklen_t length = 0;
};

// Any CR, LF or NUL in the text.
bool hasLineBreakOrNul(std::string_view text);

// "localhost" in any case is 127.0.0.1 and a dotted IPv4 address is taken literally;
// any other name goes to the system's lookup, which runs beside the waiting caller.
// Raises SocketError (11001 no such host, 11002 temporary failure, 10060 on the time
// limit) or AbortError when cancelled.
std::vector<ResolvedAddress> resolveHost(const std::string& host, std::uint16_t port, Timeout limit,
                                         const WaitControl& wait);

// The local host name as the system reports it.
std::string localHostName();

// A line-oriented TCP connection: buffered writes of at most 32768 bytes per send,
// reads through a 32768-byte buffer.
class TcpConnection {
public:
    static constexpr std::size_t kBlockSize = 32768;

    TcpConnection();
    ~TcpConnection();
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    void setWaitControl(WaitControl wait) { m_wait = std::move(wait); }

    // Tries the addresses in order until one accepts. Raises SocketError with the
    // code of the last failure, 10060 when the limit passes.
    void connect(const std::vector<ResolvedAddress>& addresses, Timeout limit);
    bool isOpen() const;
    void close() noexcept;
    // This end's address of the open connection; family AF_UNSPEC when there is none.
    ResolvedAddress localAddress() const;

    // Speaks TLS from here on: the handshake within the limit, the server's certificate
    // checked for `host`. Bytes that arrived before it are never read as the server's
    // words: the step fails with TlsError when there are any. Raises TlsError for a
    // refused handshake, SocketError 10060 when the limit passes.
    void startTls(const std::string& host, const std::string& caFile, Timeout limit);
    // Whether the TLS handshake has finished: the words from here on are protected.
    bool isSecure() const { return m_secure; }

    // Queues bytes, sending whenever a block is full.
    void write(std::string_view data, Timeout limit);
    void flush(Timeout limit);

    // One line without its LF (a CR before it is kept). Raises ProtocolError when
    // more than maxLength bytes arrive without a LF, ConnectionClosedGracefully when
    // the peer closed, SocketError 10060 when the limit passes.
    std::string readLine(Timeout limit, std::size_t maxLength);

private:
#ifdef _WIN32
    using Native = SOCKET;
#else
    using Native = int;
#endif
    bool waitReady(Native fd, short events, std::chrono::steady_clock::time_point deadline,
                   bool hasDeadline);
    void sendAll(std::string_view data, Timeout limit);
    void sendRaw(std::string_view data, Timeout limit);
    std::size_t receiveSome(char* buffer, std::size_t size,
                            std::chrono::steady_clock::time_point deadline, bool hasDeadline);
    void receiveDecrypted(std::chrono::steady_clock::time_point deadline, bool hasDeadline);
    void retryAfterFailure(short events, std::chrono::steady_clock::time_point deadline,
                           bool hasDeadline);
    bool connectOne(const ResolvedAddress& address, std::chrono::steady_clock::time_point deadline,
                    bool hasDeadline, int& code);

    Native m_fd;
    WaitControl m_wait;
    std::string m_out;
    std::string m_in;
    std::size_t m_scanned = 0;
    std::unique_ptr<TlsSession> m_tls;
    bool m_secure = false;
};

} // namespace zp
