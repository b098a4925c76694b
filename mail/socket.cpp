#include "mail/socket.h"

#include "mail/mailerror.h"
#include "mail/tls.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#ifdef _WIN32
#ifdef _MSC_VER
#pragma comment(lib, "ws2_32.lib")
#endif
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>
#endif

namespace zp {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kSlice = std::chrono::milliseconds(2);

#ifdef _WIN32
const SOCKET kInvalid = INVALID_SOCKET;
int lastCode() {
    return WSAGetLastError();
}
void closeNative(SOCKET s) {
    closesocket(s);
}
using PollFd = WSAPOLLFD;
// Waits on one socket. WSAPoll does not report a refused connection on older
// systems, so the wait goes through select, where a failed connect shows up as an
// exception; the caller then reads the reason with SO_ERROR.
int pollNative(PollFd* p, ULONG n, int ms) {
    if (n != 1) {
        return WSAPoll(p, n, ms);
    }
    fd_set readable, writable, failed;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    if (p->events & POLLIN) {
        FD_SET(p->fd, &readable);
    }
    if (p->events & POLLOUT) {
        FD_SET(p->fd, &writable);
    }
    FD_SET(p->fd, &failed);
    timeval limit{ms / 1000, ms % 1000 * 1000};
    const int rc = select(0, &readable, &writable, &failed, ms < 0 ? nullptr : &limit);
    if (rc == SOCKET_ERROR) {
        return -1;
    }
    p->revents = 0;
    if (FD_ISSET(p->fd, &readable)) {
        p->revents |= POLLIN;
    }
    if (FD_ISSET(p->fd, &writable)) {
        p->revents |= POLLOUT;
    }
    if (FD_ISSET(p->fd, &failed)) {
        p->revents |= POLLERR;
    }
    return rc > 0 ? 1 : 0;
}
constexpr int kSendFlags = 0;
bool wouldBlock(int code) {
    return code == WSAEWOULDBLOCK;
}
bool inProgress(int code) {
    return code == WSAEWOULDBLOCK;
}
void initSockets() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}
#else
const int kInvalid = -1;
int lastCode() {
    return socketCodeFromErrno(errno);
}
void closeNative(int s) {
    ::close(s);
}
int pollNative(pollfd* p, nfds_t n, int ms) {
    return ::poll(p, n, ms);
}
using PollFd = pollfd;
constexpr int kSendFlags = MSG_NOSIGNAL;
bool wouldBlock(int code) {
    return code == 10035;
}
bool inProgress(int code) {
    return code == 10036 || code == 10035;
}
void initSockets() {}
#endif

struct CodeText {
    int code;
    const char* smtp; // wording of the SMTP messages
    const char* pop3; // short wording of the POP3 messages
};

// clang-format off
constexpr CodeText kCodes[] = {
    {10004, "Interrupted system call.", "Interrupted system call"},
    {10009, "Bad file number.", "Bad file number"},
    {10013, "Access denied.", "Access denied"},
    {10014, "Bad address.", "Bad address"},
    {10022, "Invalid argument.", "Invalid argument"},
    {10024, "Too many open files.", "Too many open files"},
    {10035, "Operation would block. ", "Operation would block"},
    {10036, "Operation now in progress.", "Operation now in progress"},
    {10037, "Operation already in progress.", "Operation already in progress"},
    {10038, "Socket operation on non-socket.", "Socket operation on non-socket"},
    {10039, "Destination address required.", "Destination address required"},
    {10040, "Message too long.", "Message too long"},
    {10041, "Protocol wrong type for socket.", "Protocol wrong type for socket"},
    {10042, "Bad protocol option.", "Bad protocol option"},
    {10043, "Protocol not supported.", "Protocol not supported"},
    {10044, "Socket type not supported.", "Socket type not supported"},
    {10045, "Operation not supported on socket.", "Operation not supported on socket"},
    {10046, "Protocol family not supported.", "Protocol family not supported"},
    {10047, "Address family not supported by protocol family.", "Address family not supported"},
    {10048, "Address already in use.", "Address already in use"},
    {10049, "Cannot assign requested address.", "Cannot assign requested address"},
    {10050, "Network is down.", "Network is down"},
    {10051, "Network is unreachable.", "Network is unreachable"},
    {10052, "Net dropped connection or reset.", "Net dropped connection or reset"},
    {10053, "Software caused connection abort.", "Software caused connection abort"},
    {10054, "Connection reset by peer.", "Connection reset by peer"},
    {10055, "No buffer space available.", "No buffer space available"},
    {10056, "Socket is already connected.", "Socket is already connected"},
    {10057, "Socket is not connected.", "Socket is not connected"},
    {10058, "Cannot send or receive after socket is closed.", "Cannot send after socket shutdown"},
    {10059, "Too many references, cannot splice.", "Too many references"},
    {10060, "Connection timed out.", "Connection timed out"},
    {10061, "Connection refused.", "Connection refused"},
    {10062, "Too many levels of symbolic links.", "Too many levels of symbolic links"},
    {10063, "File name too long.", "File name too long"},
    {10064, "Host is down.", "Host is down"},
    {10065, "No route to host.", "No route to host"},
    {10066, "Directory not empty", "Directory not empty"},
    {10067, nullptr, "Too many processes"},
    {10068, nullptr, "Too many users"},
    {10069, nullptr, "Disk quota exceeded"},
    {10070, nullptr, "Stale file handle"},
    {10071, nullptr, "Too many levels of remote in path"},
    {10091, nullptr, "Network subsystem is unavailable"},
    {10092, nullptr, "Winsock version not supported"},
    {10093, nullptr, "Winsock not initialised"},
    {11001, nullptr, "Host not found"},
    {11002, nullptr, "Non-authoritative host not found"},
    {11003, nullptr, "Non-recoverable error"},
    {11004, nullptr, "Valid name, no data record of requested type"},
};
// clang-format on

const CodeText* findCode(int code) {
    for (const auto& entry : kCodes) {
        if (entry.code == code) {
            return &entry;
        }
    }
    return nullptr;
}

// Waits for `ready` in slices, running the hook between them. Returns false when
// the deadline passed; raises AbortError when the cancel flag is set.
template <class Ready>
bool waitSliced(const WaitControl& wait, Clock::time_point deadline, bool hasDeadline,
                Ready ready) {
    for (;;) {
        if (wait.cancel && wait.cancel->load()) {
            throw AbortError("Operation canceled");
        }
        auto slice = wait.hook ? std::chrono::milliseconds(kSlice) : std::chrono::milliseconds(-1);
        if (hasDeadline) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()) +
                std::chrono::milliseconds(1);
            if (left.count() <= 0) {
                return false;
            }
            slice = slice.count() < 0 ? left : std::min(slice, left);
        }
        if (ready(slice)) {
            return true;
        }
        if (wait.hook) {
            wait.hook();
        }
        if (hasDeadline && Clock::now() >= deadline) {
            return false;
        }
    }
}

int lookupErrorCode(int gai) {
#ifdef _WIN32
    return gai;
#else
    switch (gai) {
    case EAI_NONAME:
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
#endif
        return 11001;
    case EAI_AGAIN:
        return 11002;
    case EAI_SYSTEM:
        return socketCodeFromErrno(errno);
    case EAI_MEMORY:
        return 10055;
    default:
        return 11003;
    }
#endif
}

struct Lookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    int code = 0;
    std::vector<ResolvedAddress> addresses;
};

void runLookup(const std::shared_ptr<Lookup>& lookup, const std::string& host, std::uint16_t port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
    addrinfo* result = nullptr;
    const std::string service = std::to_string(port);
    const int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &result);
    std::vector<ResolvedAddress> found;
    int code = rc == 0 ? 0 : lookupErrorCode(rc);
    for (addrinfo* ai = result; ai; ai = ai->ai_next) {
        if (ai->ai_addrlen <= sizeof(sockaddr_storage)) {
            ResolvedAddress address;
            std::memcpy(&address.addr, ai->ai_addr, ai->ai_addrlen);
            address.length = static_cast<socklen_t>(ai->ai_addrlen);
            found.push_back(address);
        }
    }
    if (result) {
        freeaddrinfo(result);
    }
    if (code == 0 && found.empty()) {
        code = 11004;
    }
    std::lock_guard<std::mutex> lock(lookup->mutex);
    lookup->code = code;
    lookup->addresses = std::move(found);
    lookup->finished = true;
    lookup->done.notify_all();
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

SocketError::SocketError(int code)
    : MailError("Socket Error # " + std::to_string(code) + "\r\n" + socketErrorText(code)),
      m_code(code) {}

std::string socketErrorText(int code) {
    const CodeText* entry = findCode(code);
    return entry && entry->smtp ? entry->smtp : "";
}

std::string socketErrorDescription(int code) {
    const CodeText* entry = findCode(code);
    return entry ? entry->pop3 : "Unknown Error No. " + std::to_string(code);
}

int socketCodeFromErrno(int err) {
#ifdef _WIN32
    return err;
#else
    struct Pair {
        int err;
        int code;
    };
    static constexpr Pair kMap[] = {
        {EINTR, 10004},           {EBADF, 10009},        {EACCES, 10013},
        {EPERM, 10013},           {EFAULT, 10014},       {EINVAL, 10022},
        {EMFILE, 10024},          {ENFILE, 10024},       {EWOULDBLOCK, 10035},
        {EAGAIN, 10035},          {EINPROGRESS, 10036},  {EALREADY, 10037},
        {ENOTSOCK, 10038},        {EDESTADDRREQ, 10039}, {EMSGSIZE, 10040},
        {EPROTOTYPE, 10041},      {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043},
        {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045},   {EPFNOSUPPORT, 10046},
        {EAFNOSUPPORT, 10047},    {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049},
        {ENETDOWN, 10050},        {ENETUNREACH, 10051},  {ENETRESET, 10052},
        {ECONNABORTED, 10053},    {ECONNRESET, 10054},   {ENOBUFS, 10055},
        {ENOMEM, 10055},          {EISCONN, 10056},      {ENOTCONN, 10057},
        {ESHUTDOWN, 10058},       {EPIPE, 10058},        {ETOOMANYREFS, 10059},
        {ETIMEDOUT, 10060},       {ECONNREFUSED, 10061}, {ELOOP, 10062},
        {ENAMETOOLONG, 10063},    {EHOSTDOWN, 10064},    {EHOSTUNREACH, 10065},
        {ENOTEMPTY, 10066},
    };
    for (const auto& pair : kMap) {
        if (pair.err == err) {
            return pair.code;
        }
    }
    return 10000 + err;
#endif
}

bool hasLineBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

std::vector<ResolvedAddress> resolveHost(const std::string& host, std::uint16_t port, Timeout limit,
                                         const WaitControl& wait) {
    initSockets();
    if (hasLineBreakOrNul(host)) {
        throw SocketError(11001);
    }
    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    v4.sin_port = htons(port);
    const std::string literal = equalsNoCase(host, "localhost") ? "127.0.0.1" : host;
    if (inet_pton(AF_INET, literal.c_str(), &v4.sin_addr) == 1) {
        ResolvedAddress address;
        std::memcpy(&address.addr, &v4, sizeof v4);
        address.length = sizeof v4;
        return {address};
    }
    // The lookup thread shares its state with this wait; if the wait gives up, the
    // thread is let go and finishes on its own.
    auto lookup = std::make_shared<Lookup>();
    std::thread worker([lookup, host, port] { runLookup(lookup, host, port); });
    const bool hasDeadline = limit.count() > 0;
    const auto deadline = Clock::now() + limit;
    bool finished = false;
    try {
        finished = waitSliced(wait, deadline, hasDeadline, [&](std::chrono::milliseconds slice) {
            std::unique_lock<std::mutex> lock(lookup->mutex);
            if (slice.count() < 0) {
                lookup->done.wait(lock, [&] { return lookup->finished; });
                return true;
            }
            return lookup->done.wait_for(lock, slice, [&] { return lookup->finished; });
        });
    } catch (...) {
        worker.detach();
        throw;
    }
    if (!finished) {
        worker.detach();
        throw SocketError(10060);
    }
    worker.join();
    if (lookup->code != 0) {
        throw SocketError(lookup->code);
    }
    return lookup->addresses;
}

std::string localHostName() {
    initSockets();
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) {
        return "localhost";
    }
    return name;
}

TcpConnection::TcpConnection() : m_fd(kInvalid) {
    initSockets();
}

TcpConnection::~TcpConnection() {
    close();
}

bool TcpConnection::isOpen() const {
    return m_fd != kInvalid;
}

ResolvedAddress TcpConnection::localAddress() const {
    ResolvedAddress address;
    address.length = sizeof address.addr;
    if (m_fd == kInvalid ||
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&address.addr), &address.length) != 0) {
        address = ResolvedAddress{};
    }
    return address;
}

void TcpConnection::close() noexcept {
    if (m_tls && m_fd != kInvalid) {
        // The goodbye goes out if the socket takes it at once; nobody waits for it.
        try {
            m_tls->shutdown();
            const std::string bye = m_tls->outgoing();
            (void)::send(m_fd, bye.data(), static_cast<int>(bye.size()), kSendFlags);
        } catch (...) {
        }
    }
    m_tls.reset();
    m_secure = false;
    if (m_fd != kInvalid) {
        closeNative(m_fd);
        m_fd = kInvalid;
    }
    m_out.clear();
    m_in.clear();
    m_scanned = 0;
}

bool TcpConnection::waitReady(Native fd, short events, Clock::time_point deadline,
                              bool hasDeadline) {
    return waitSliced(m_wait, deadline, hasDeadline, [&](std::chrono::milliseconds slice) {
        PollFd p{};
        p.fd = fd;
        p.events = events;
        const int ms = slice.count() < 0 ? -1 : static_cast<int>(slice.count());
        const int rc = pollNative(&p, 1, ms);
        if (rc < 0) {
            const int code = lastCode();
            if (code == 10004) {
                return false;
            }
            throw SocketError(code);
        }
        return rc > 0;
    });
}

bool TcpConnection::connectOne(const ResolvedAddress& address, Clock::time_point deadline,
                               bool hasDeadline, int& code) {
    Native fd = ::socket(address.addr.ss_family, SOCK_STREAM, IPPROTO_TCP);
    if (fd == kInvalid) {
        code = lastCode();
        return false;
    }
#ifdef _WIN32
    u_long on = 1;
    ioctlsocket(fd, FIONBIO, &on);
#else
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
#endif
    code = 0;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address.addr), address.length) != 0) {
        code = lastCode();
        if (inProgress(code)) {
            try {
                if (!waitReady(fd, POLLOUT, deadline, hasDeadline)) {
                    code = 10060;
                } else {
                    int err = 0;
                    socklen_t len = sizeof err;
                    getsockopt(fd, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len);
                    code = err == 0 ? 0 : socketCodeFromErrno(err);
                }
            } catch (...) {
                closeNative(fd);
                throw;
            }
        }
    }
    if (code != 0) {
        closeNative(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

void TcpConnection::connect(const std::vector<ResolvedAddress>& addresses, Timeout limit) {
    close();
    const bool hasDeadline = limit.count() > 0;
    const auto deadline = Clock::now() + limit;
    int code = 10039; // no address at all
    for (const auto& address : addresses) {
        if (connectOne(address, deadline, hasDeadline, code)) {
            return;
        }
        if (code == 10060) {
            break;
        }
    }
    throw SocketError(code);
}

void TcpConnection::sendAll(std::string_view data, Timeout limit) {
    if (m_tls) {
        m_tls->write(data);
        sendRaw(m_tls->outgoing(), limit);
        return;
    }
    sendRaw(data, limit);
}

void TcpConnection::sendRaw(std::string_view data, Timeout limit) {
    const bool hasDeadline = limit.count() > 0;
    const auto deadline = Clock::now() + limit;
    while (!data.empty()) {
        if (m_fd == kInvalid) {
            throw SocketError(10057);
        }
        const std::size_t chunk = std::min(data.size(), kBlockSize);
        const auto sent = ::send(m_fd, data.data(), static_cast<int>(chunk), kSendFlags);
        if (sent >= 0) {
            data.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        retryAfterFailure(POLLOUT, deadline, hasDeadline);
    }
}

// After a send or receive that failed: an interrupted call is simply made again, one that
// would block waits until the socket is ready (or the time is up), anything else is raised.
void TcpConnection::retryAfterFailure(short events, Clock::time_point deadline, bool hasDeadline) {
    const int code = lastCode();
    if (code == 10004) {
        return;
    }
    if (!wouldBlock(code)) {
        if (code == 10058) {
            close();
        }
        throw SocketError(code);
    }
    if (!waitReady(m_fd, events, deadline, hasDeadline)) {
        throw SocketError(10060);
    }
}

void TcpConnection::write(std::string_view data, Timeout limit) {
    m_out.append(data);
    if (m_out.size() >= kBlockSize) {
        const std::size_t whole = m_out.size() / kBlockSize * kBlockSize;
        sendAll(std::string_view(m_out).substr(0, whole), limit);
        m_out.erase(0, whole);
    }
}

void TcpConnection::flush(Timeout limit) {
    if (m_out.empty()) {
        return;
    }
    std::string pending;
    pending.swap(m_out);
    sendAll(pending, limit);
}

std::string TcpConnection::readLine(Timeout limit, std::size_t maxLength) {
    const bool hasDeadline = limit.count() > 0;
    const auto deadline = Clock::now() + limit;
    char buffer[kBlockSize];
    for (;;) {
        const auto lf = m_in.find('\n', m_scanned);
        if (lf != std::string::npos) {
            if (lf > maxLength) {
                throw ProtocolError("Reply line longer than " + std::to_string(maxLength) +
                                    " bytes.");
            }
            std::string line = m_in.substr(0, lf);
            m_in.erase(0, lf + 1);
            m_scanned = 0;
            return line;
        }
        m_scanned = m_in.size();
        if (m_in.size() > maxLength) {
            throw ProtocolError("Reply line longer than " + std::to_string(maxLength) + " bytes.");
        }
        if (m_fd == kInvalid) {
            throw ConnectionClosedGracefully();
        }
        if (m_tls) {
            receiveDecrypted(deadline, hasDeadline);
            continue;
        }
        const std::size_t got = receiveSome(buffer, sizeof buffer, deadline, hasDeadline);
        if (got == 0) {
            close();
            throw ConnectionClosedGracefully();
        }
        m_in.append(buffer, got);
    }
}

// Bytes from the socket, at least one; 0 when the peer has closed.
std::size_t TcpConnection::receiveSome(char* buffer, std::size_t size, Clock::time_point deadline,
                                       bool hasDeadline) {
    for (;;) {
        if (m_fd == kInvalid) {
            throw SocketError(10057);
        }
        const auto got = ::recv(m_fd, buffer, static_cast<int>(size), 0);
        if (got >= 0) {
            return static_cast<std::size_t>(got);
        }
        retryAfterFailure(POLLIN, deadline, hasDeadline);
    }
}

// Decrypted bytes into the input buffer, as many as one record gives.
void TcpConnection::receiveDecrypted(Clock::time_point deadline, bool hasDeadline) {
    char buffer[kBlockSize];
    for (;;) {
        std::size_t got = 0;
        const TlsSession::Want want = m_tls->read(buffer, sizeof buffer, got);
        // The session may have something to say first (a key update, an alert).
        const std::string out = m_tls->outgoing();
        if (!out.empty()) {
            sendRaw(out, hasDeadline ? std::chrono::duration_cast<Timeout>(
                                           deadline - Clock::now() + std::chrono::milliseconds(1))
                                     : Timeout(0));
        }
        if (want == TlsSession::Want::Done) {
            m_in.append(buffer, got);
            return;
        }
        if (want == TlsSession::Want::Closed) {
            close();
            throw ConnectionClosedGracefully();
        }
        const std::size_t raw = receiveSome(buffer, sizeof buffer, deadline, hasDeadline);
        if (raw == 0) {
            close();
            throw ConnectionClosedGracefully();
        }
        m_tls->incoming(buffer, raw);
    }
}

void TcpConnection::startTls(const std::string& host, const std::string& caFile, Timeout limit) {
    if (m_fd == kInvalid) {
        throw SocketError(10057);
    }
    if (!m_in.empty()) {
        // Whatever came before the handshake was sent unprotected and may have been put
        // there by someone on the path: it is dropped, and the connection with it.
        m_in.clear();
        m_scanned = 0;
        throw TlsError("The server sent unprotected data before the TLS handshake.");
    }
    flush(limit);
    const bool hasDeadline = limit.count() > 0;
    const auto deadline = Clock::now() + limit;
    m_tls = std::make_unique<TlsSession>(host, caFile);
    char buffer[kBlockSize];
    for (;;) {
        const TlsSession::Want want = m_tls->handshake();
        sendRaw(m_tls->outgoing(), limit);
        if (want == TlsSession::Want::Done) {
            m_secure = true;
            return;
        }
        const std::size_t raw = receiveSome(buffer, sizeof buffer, deadline, hasDeadline);
        if (raw == 0) {
            throw TlsError("The server closed the connection during the TLS handshake.");
        }
        m_tls->incoming(buffer, raw);
    }
}

} // namespace zp
