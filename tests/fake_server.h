#pragma once
// A scripted mail server for the faults real servers will not produce: it listens on
// 127.0.0.1 (a free port), takes one client, plays a script of send and read steps
// and records every line the client wrote. After the script it reads on until the
// client closes, so the transcript ends with whatever goodbye the client says.
#include "mail/mailerror.h"

#include <atomic>
#include <csignal>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zp::test {

struct Step {
    enum Kind { Send, Read, ReadData, Close, Pause };
    Kind kind;
    std::string text;
    int pauseMs = 0;
};

inline Step send(std::string text) {
    return {Step::Send, std::move(text)};
}
// One line from the client, recorded without its CR LF.
inline Step read() {
    return {Step::Read, {}};
}
// Lines up to and including the "." that ends DATA.
inline Step readData() {
    return {Step::ReadData, {}};
}
// Closes the connection at once.
inline Step hangUp() {
    return {Step::Close, {}};
}
// Paces the next send into a TCP segment of its own.
inline Step pause(int ms) {
    return {Step::Pause, {}, ms};
}

// A script put together from pieces.
inline std::vector<Step> script(std::initializer_list<std::vector<Step>> parts) {
    std::vector<Step> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}
// The client writes a line, the server answers.
inline std::vector<Step> reply(std::string text) {
    return {read(), send(std::move(text))};
}

// The class and text of an error the mail library raised, for comparing with a table.
inline std::string describe(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const ProtocolReplyError& e) {
        return "ProtocolReplyError " + std::to_string(e.replyCode()) + ": " + e.what();
    } catch (const ProtocolError& e) {
        return std::string("ProtocolError: ") + e.what();
    } catch (const SocketError& e) {
        return std::string("SocketError: ") + e.what();
    } catch (const SockError& e) {
        return std::string("SockError: ") + e.what();
    } catch (const AbortError& e) {
        return std::string("AbortError: ") + e.what();
    } catch (const ConnectionClosedGracefully& e) {
        return std::string("ConnectionClosedGracefully: ") + e.what();
    } catch (const InvalidCommandText& e) {
        return std::string("InvalidCommandText: ") + e.what();
    } catch (const MailError& e) {
        return std::string("MailError: ") + e.what();
    }
}

// Marks written into the transcript.
inline const std::string kClosedMark = "[client closed]";
inline const std::string kTimeoutMark = "[server timed out]";

class FakeServer {
public:
    // Every wait of the server thread ends after stepLimit. ipv6: listens on ::1 instead.
    explicit FakeServer(std::vector<Step> script,
                        std::chrono::milliseconds stepLimit = std::chrono::milliseconds(5000),
                        bool ipv6 = false);
    ~FakeServer();
    FakeServer(const FakeServer&) = delete;
    FakeServer& operator=(const FakeServer&) = delete;

    std::uint16_t port() const { return m_port; }
    // Waits up to limit for the server to finish; stops it otherwise. The lines the
    // client wrote, then the marks.
    std::vector<std::string>
    transcript(std::chrono::milliseconds limit = std::chrono::milliseconds(5000));
    // Whether a client ever connected.
    bool accepted() const { return m_accepted; }
    // Bytes the client wrote, all of them.
    std::string rawInput();

private:
    void run();
    bool waitFor(int fd, short events);
    bool readLine(int fd, std::string& line);
    void record(std::string line);
    void finish();

    std::vector<Step> m_script;
    std::chrono::milliseconds m_stepLimit;
    int m_listen = -1;
    std::uint16_t m_port = 0;
    std::string m_buffer;
    std::string m_raw;
    std::vector<std::string> m_lines;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_accepted{false};
    bool m_done = false;
    std::mutex m_mutex;
    std::condition_variable m_doneSignal;
    std::thread m_thread;
};

// A port on 127.0.0.1 that nothing listens on (bound, then released).
std::uint16_t unusedPort();

} // namespace zp::test

#ifdef _WIN32
// Under Wine the server is a Unix process, ended by the Unix signal numbers.
#ifndef SIGKILL
#define SIGKILL 9
#endif
#endif

namespace zp::test {

// A real server run as a child process with its standard output (and error) on a
// pipe; killed and reaped when the object goes.
class ServerProcess {
public:
    explicit ServerProcess(const std::vector<std::string>& argv);
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Reads output lines until one holds `marker`; gives that line. Throws when the
    // process ends or the limit passes first.
    std::string waitForLine(const std::string& marker, std::chrono::milliseconds limit);
    // Asks the process to end with `signal`, and kills it when it has not ended
    // within the limit; reaps it either way.
    void stop(int signal, std::chrono::milliseconds limit);
    // Everything the process printed so far.
    const std::string& output() const { return m_output; }

private:
    int m_pid = -1;
    int m_out = -1;
    std::string m_output;
    std::string m_dir; // Windows: the folder of the server's process id and output files
    std::size_t m_scanned = 0;
};

} // namespace zp::test
