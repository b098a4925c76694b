#include "fake_server.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <csignal>
#include <stdexcept>

#ifdef _WIN32
// Winsock under the names the scripted server uses; a socket handle fits an int.
namespace {
struct WinsockUp {
    WinsockUp() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
};
const WinsockUp winsockUp;
int closeSocket(int fd) {
    return ::closesocket(static_cast<SOCKET>(fd));
}
int pollSockets(pollfd* p, unsigned long n, int ms) {
    return ::WSAPoll(p, n, ms);
}
int acceptSocket(int fd) {
    const SOCKET s = ::accept(static_cast<SOCKET>(fd), nullptr, nullptr);
    return s == INVALID_SOCKET ? -1 : static_cast<int>(s);
}
constexpr int MSG_NOSIGNAL = 0;
} // namespace
#else
namespace {
int closeSocket(int fd) {
    return closeSocket(fd);
}
int pollSockets(pollfd* p, nfds_t n, int ms) {
    return ::poll(p, n, ms);
}
int acceptSocket(int fd) {
    return ::accept(fd, nullptr, nullptr);
}
} // namespace
#endif

namespace zp::test {

namespace {

constexpr int kSliceMs = 20;

int listenLoopback(std::uint16_t& port) {
    const int fd = static_cast<int>(::socket(AF_INET, SOCK_STREAM, 0));
    if (fd < 0) {
        throw std::runtime_error("socket failed");
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 4) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        closeSocket(fd);
        throw std::runtime_error("bind/listen failed");
    }
    port = ntohs(addr.sin_port);
    return fd;
}

int listenLoopback6(std::uint16_t& port) {
    const int fd = static_cast<int>(::socket(AF_INET6, SOCK_STREAM, 0));
    if (fd < 0) {
        throw std::runtime_error("socket failed");
    }
    sockaddr_in6 addr{};
    addr.sin6_family = AF_INET6;
    addr.sin6_addr = in6addr_loopback;
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 4) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        closeSocket(fd);
        throw std::runtime_error("bind/listen on ::1 failed");
    }
    port = ntohs(addr.sin6_port);
    return fd;
}

} // namespace

std::uint16_t unusedPort() {
    std::uint16_t port = 0;
    const int fd = listenLoopback(port);
    closeSocket(fd);
    return port;
}

FakeServer::FakeServer(std::vector<Step> script, std::chrono::milliseconds stepLimit, bool ipv6)
    : m_script(std::move(script)), m_stepLimit(stepLimit) {
    m_listen = ipv6 ? listenLoopback6(m_port) : listenLoopback(m_port);
    m_thread = std::thread([this] { run(); });
}

FakeServer::~FakeServer() {
    m_stop = true;
    if (m_thread.joinable()) {
        m_thread.join(); // every wait of the thread is sliced and watches m_stop
    }
    if (m_listen >= 0) {
        closeSocket(m_listen);
    }
}

bool FakeServer::waitFor(int fd, short events) {
    const auto deadline = std::chrono::steady_clock::now() + m_stepLimit;
    while (!m_stop && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, events, 0};
        const int rc = pollSockets(&p, 1, kSliceMs);
        if (rc > 0) {
            return true;
        }
        if (rc < 0 && errno != EINTR) {
            return false;
        }
    }
    return false;
}

// False at the end of the input; a timeout is recorded as a mark.
bool FakeServer::readLine(int fd, std::string& line) {
    for (;;) {
        const auto lf = m_buffer.find('\n');
        if (lf != std::string::npos) {
            line = m_buffer.substr(0, lf);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            m_buffer.erase(0, lf + 1);
            return true;
        }
        if (!waitFor(fd, POLLIN)) {
            record(kTimeoutMark);
            return false;
        }
        char chunk[4096];
        const auto got = ::recv(fd, chunk, static_cast<int>(sizeof chunk), 0);
        if (got <= 0) {
            if (!m_buffer.empty()) {
                record(m_buffer); // an unterminated last line
                m_buffer.clear();
            }
            record(kClosedMark);
            return false;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_raw.append(chunk, static_cast<std::size_t>(got));
        m_buffer.append(chunk, static_cast<std::size_t>(got));
    }
}

void FakeServer::record(std::string line) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lines.push_back(std::move(line));
}

void FakeServer::run() {
    int fd = -1;
    if (waitFor(m_listen, POLLIN)) {
        fd = acceptSocket(m_listen);
    }
    if (fd < 0) {
        finish();
        return;
    }
    m_accepted = true;
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    bool open = true;
    std::string line;
    for (const Step& step : m_script) {
        if (!open || m_stop) {
            break;
        }
        switch (step.kind) {
        case Step::Send: {
            std::size_t sent = 0;
            while (open && sent < step.text.size()) {
                if (!waitFor(fd, POLLOUT)) {
                    open = false;
                    break;
                }
                const auto n =
                    ::send(fd, step.text.data() + sent, static_cast<int>(step.text.size() - sent), MSG_NOSIGNAL);
                if (n <= 0) {
                    open = false;
                } else {
                    sent += static_cast<std::size_t>(n);
                }
            }
            break;
        }
        case Step::Read:
            open = readLine(fd, line);
            if (open) {
                record(line);
            }
            break;
        case Step::ReadData:
            while ((open = readLine(fd, line))) {
                record(line);
                if (line == ".") {
                    break;
                }
            }
            break;
        case Step::Close:
            closeSocket(fd);
            fd = -1;
            open = false;
            break;
        case Step::Pause:
            std::this_thread::sleep_for(std::chrono::milliseconds(step.pauseMs));
            break;
        }
    }
    while (open && readLine(fd, line)) {
        record(line);
    }
    if (fd >= 0) {
        closeSocket(fd);
    }
    finish();
}

void FakeServer::finish() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_done = true;
    m_doneSignal.notify_all();
}

std::vector<std::string> FakeServer::transcript(std::chrono::milliseconds limit) {
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_doneSignal.wait_for(lock, limit, [this] { return m_done; })) {
            m_stop = true;
        }
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
}

std::string FakeServer::rawInput() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_raw;
}

} // namespace zp::test

namespace zp::test {

#ifndef _WIN32
ServerProcess::ServerProcess(const std::vector<std::string>& argv) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::vector<char*> args;
    for (const auto& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(pipeFds[1], 1);
        ::dup2(pipeFds[1], 2);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    m_out = pipeFds[0];
    if (m_pid < 0) {
        ::close(m_out);
        throw std::runtime_error("fork failed");
    }
}

void ServerProcess::stop(int signal, std::chrono::milliseconds limit) {
    if (m_pid <= 0) {
        return;
    }
    // A pidfd becomes readable when the process ends, so the wait needs no polling.
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, m_pid, 0));
    bool ended = false;
    if (pidfd >= 0 && ::kill(m_pid, signal) == 0) {
        pollfd p{pidfd, POLLIN, 0};
        ended = ::poll(&p, 1, static_cast<int>(limit.count())) > 0;
    }
    if (pidfd >= 0) {
        ::close(pidfd);
    }
    if (!ended) {
        ::kill(m_pid, SIGKILL);
    }
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

ServerProcess::~ServerProcess() {
    stop(SIGKILL, std::chrono::milliseconds(0));
    if (m_out >= 0) {
        ::close(m_out);
    }
}

std::string ServerProcess::waitForLine(const std::string& marker, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        for (auto lf = m_output.find('\n', m_scanned); lf != std::string::npos;
             lf = m_output.find('\n', m_scanned)) {
            std::string line = m_output.substr(m_scanned, lf - m_scanned);
            m_scanned = lf + 1;
            if (line.find(marker) != std::string::npos) {
                return line;
            }
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{m_out, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            throw std::runtime_error("server not ready; it printed:\n" + m_output);
        }
        char chunk[4096];
        const auto got = ::read(m_out, chunk, sizeof chunk);
        if (got <= 0) {
            throw std::runtime_error("server ended; it printed:\n" + m_output);
        }
        m_output.append(chunk, static_cast<std::size_t>(got));
    }
}

#endif

} // namespace zp::test
