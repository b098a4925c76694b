// The server process of the mail tests on Windows, which run under Wine: the server is the same
// Unix program as on Linux, started through the host's /bin/sh (Wine runs a Unix program named by
// its Z: path) with its process id and output in files, and ended with a Unix signal.
#ifdef _WIN32
#include "fake_server.h"
#include "support/command.h"
#include "support/files.h"
#include "support/tempdir.h"

#include <windows.h>

#include <stdexcept>
#include <thread>

namespace zp::test {

namespace {

const char* signalName(int signal) {
    switch (signal) {
    case SIGTERM:
        return "TERM";
    case SIGINT:
        return "INT";
    default:
        return "KILL";
    }
}

} // namespace

ServerProcess::ServerProcess(const std::vector<std::string>& argv) {
    static TempDir files("zp_server_");
    static int count = 0;
    m_dir = unixPath((files.path() / std::to_string(count++)).string());
    std::string command = "mkdir -p " + shellQuote(m_dir) + " && echo $$ >" +
                          shellQuote(m_dir + "/pid") + " && exec";
    for (const std::string& arg : argv)
        command += " " + shellQuote(hostCommand(arg));
    command += " >" + shellQuote(m_dir + "/out") + " 2>&1 </dev/null";
    PROCESS_INFORMATION pi{};
    // The Unix process outlives this call: Wine gives no handle to wait on.
    if (!startProcess({"Z:\\bin\\sh", "-c", command}, GetStdHandle(STD_ERROR_HANDLE), pi))
        throw std::runtime_error("the server could not be started: " + command);
    if (pi.hThread)
        CloseHandle(pi.hThread);
    if (pi.hProcess)
        CloseHandle(pi.hProcess);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (m_pid <= 0) {
        const std::string pid = readText(m_dir.empty() ? "" : "Z:" + m_dir + "/pid");
        if (!pid.empty() && pid.back() == '\n')
            m_pid = std::stoi(pid);
        else if (std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("the server did not start: " + command);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void ServerProcess::stop(int signal, std::chrono::milliseconds limit) {
    if (m_pid <= 0)
        return;
    const std::string pid = std::to_string(m_pid);
    const long tenths = static_cast<long>(limit.count() / 100) + 1;
    runShell("kill -" + std::string(signalName(signal)) + " " + pid + " 2>/dev/null; n=0; while kill -0 " +
             pid + " 2>/dev/null && [ $n -lt " + std::to_string(tenths) +
             " ]; do sleep 0.1; n=$((n+1)); done; kill -KILL " + pid + " 2>/dev/null; true");
    m_pid = -1;
}

ServerProcess::~ServerProcess() {
    stop(SIGKILL, std::chrono::milliseconds(0));
}

// The server's output file is read again as it grows: Wine has no pipe to a Unix process.
std::string ServerProcess::waitForLine(const std::string& marker, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        m_output = readText("Z:" + m_dir + "/out");
        for (auto lf = m_output.find('\n', m_scanned); lf != std::string::npos;
             lf = m_output.find('\n', m_scanned)) {
            std::string line = m_output.substr(m_scanned, lf - m_scanned);
            m_scanned = lf + 1;
            if (line.find(marker) != std::string::npos)
                return line;
        }
        if (std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("server not ready; it printed:\n" + m_output);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace zp::test
#endif
