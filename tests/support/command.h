#pragma once
// Running other programs from a test: a shell command line whose output is collected, and a
// program run directly as a child process under limits. On Windows (under Wine) the same
// functions are in command_windows.h.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zp::test {

// Single-quoted for /bin/sh.
inline std::string shellQuote(const std::string& text) {
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

struct CommandRun {
    int status = -1;    // the exit status; -1 when it could not start or was killed
    std::string output; // standard output (add 2>&1 to the command for standard error)
};

struct ChildLimits {
    int cpuSeconds = 0;                  // 0: none
    std::uint64_t addressSpaceBytes = 0; // 0: none (never under the address sanitizer;
                                         // committed memory, a job limit, on Windows)
    int wallMs = 0;                      // 0: wait for the end; else killed then, as hung
    std::vector<std::pair<std::string, std::string>> env; // set in the child
};

struct ChildRun {
    int exitCode = -1; // or 128 + the signal that ended it
    bool hung = false;
    std::string output; // stdout and stderr together
    double cpuSeconds = 0;
    long peakMiB = 0;
    std::uint64_t bytesRead = 0; // by read calls of any kind (Linux; 0 elsewhere)
};

} // namespace zp::test

#ifdef _WIN32
#include "support/command_windows.h"
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace zp::test {

// Runs a command line under /bin/sh.
inline CommandRun runShell(const std::string& command) {
    CommandRun r;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return r;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        r.output.append(buffer, n);
    const int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// True when the command exits with 0; its standard output goes to output.
inline bool runCommand(const std::string& command, std::string* output = nullptr) {
    CommandRun r = runShell(command);
    if (output != nullptr)
        *output += r.output;
    return r.status == 0;
}

// The address sanitizer reserves terabytes of address space: under it no address-space limit
// is set, and only time bounds the child.
#if defined(__SANITIZE_ADDRESS__) || defined(ZP_UNDER_ASAN)
inline constexpr bool kChildUnderAsan = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kChildUnderAsan = true;
#else
inline constexpr bool kChildUnderAsan = false;
#endif
#else
inline constexpr bool kChildUnderAsan = false;
#endif

// What the ended but not yet reaped child has read, from /proc (Linux).
inline std::uint64_t childBytesRead(pid_t pid) {
    std::ifstream io("/proc/" + std::to_string(pid) + "/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value)
        if (key == "rchar:")
            return value;
    return 0;
}

// Runs a program as a child process under limits that end it when it would grow or spin
// without bound, so that a test never waits on a wall clock alone.
// argv[0] is the program's path; its output goes to `log` and comes back in the result.
inline ChildRun runChild(const std::vector<std::string>& args, const std::filesystem::path& log,
                         const ChildLimits& limits) {
    ChildRun r;
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 1);
        dup2(fd, 2);
        unsetenv("GTEST_OUTPUT"); // a test program's report would overwrite its parent's
        for (const auto& [name, value] : limits.env)
            setenv(name.c_str(), value.c_str(), 1);
        if (limits.cpuSeconds > 0) {
            const rlimit cpu{rlim_t(limits.cpuSeconds), rlim_t(limits.cpuSeconds)};
            setrlimit(RLIMIT_CPU, &cpu);
        }
        if (limits.addressSpaceBytes > 0 && !kChildUnderAsan) {
            const rlimit as{rlim_t(limits.addressSpaceBytes), rlim_t(limits.addressSpaceBytes)};
            setrlimit(RLIMIT_AS, &as);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (pid < 0)
        return r;
    if (limits.wallMs > 0) {
        // A pidfd becomes readable when the process ends: a bounded wait without polling.
        const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
        pollfd p{pidfd, POLLIN, 0};
        if (pidfd < 0 || poll(&p, 1, limits.wallMs) != 1) {
            r.hung = true;
            kill(pid, SIGKILL);
        }
        if (pidfd >= 0)
            close(pidfd);
    }
    siginfo_t ended{};
    waitid(P_PID, static_cast<id_t>(pid), &ended, WEXITED | WNOWAIT);
    r.bytesRead = childBytesRead(pid);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                   (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    r.peakMiB = usage.ru_maxrss / 1024;
    std::ifstream in(log);
    r.output.assign(std::istreambuf_iterator<char>(in), {});
    return r;
}

} // namespace zp::test
#endif
