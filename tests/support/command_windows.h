#pragma once
// Included by command.h after the declarations both systems share.
// Running other programs from a Windows test, which runs under Wine: a shell command line goes to
// the host's /bin/sh (Wine starts a Unix program named by its Z: path), with the Windows paths in
// it turned into the Unix paths Wine maps them to, and with this build's own .exe programs
// started through the Wine runner ($ZP_WINE_RUN). A program run directly is a Windows child
// process, its output in a log file, ended when it outlives its wall time.
#include <windows.h>

#include <cctype>
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

inline constexpr bool kChildUnderAsan = false;

// The Unix path Wine maps a Windows path to; the path itself when not under Wine.
inline std::string unixPath(const std::string& windowsPath) {
    using Fn = char*(__cdecl*)(const wchar_t*);
    static const Fn fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (fn == nullptr)
        return windowsPath;
    char* unix = fn(std::filesystem::path(windowsPath).wstring().c_str());
    if (unix == nullptr)
        return windowsPath;
    std::string out = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return out;
}

inline bool endsWord(char c) {
    return c == '\'' || c == '"' || c == ' ' || c == '\t' || c == '\n' || c == ';' || c == '|' ||
           c == '&' || c == '<' || c == '>' || c == ')';
}

// Windows paths (X:\... or X:/...) in a shell command line, as Unix paths; this build's .exe
// programs started through the Wine runner.
inline std::string hostCommand(const std::string& command) {
    std::string out;
    for (std::size_t i = 0; i < command.size();) {
        const bool drive =
            i + 2 < command.size() && std::isalpha(static_cast<unsigned char>(command[i])) &&
            command[i + 1] == ':' && (command[i + 2] == '\\' || command[i + 2] == '/') &&
            (i == 0 || !std::isalnum(static_cast<unsigned char>(command[i - 1])));
        if (!drive) {
            out += command[i++];
            continue;
        }
        std::size_t end = i;
        while (end < command.size() && !endsWord(command[end]))
            ++end;
        out += unixPath(command.substr(i, end - i));
        i = end;
    }
    const char* runner = std::getenv("ZP_WINE_RUN");
    if (runner == nullptr)
        return out;
    for (std::size_t at = out.find(".exe"); at != std::string::npos;
         at = out.find(".exe", at + 4)) {
        if (at + 4 < out.size() && !endsWord(out[at + 4]))
            continue;
        std::size_t start = at;
        while (start > 0 && out[start - 1] != ' ' && out[start - 1] != '\t' &&
               out[start - 1] != '(')
            --start;
        const std::string prefix = shellQuote(runner) + " ";
        out.insert(start, prefix);
        at += prefix.size();
    }
    return out;
}

// Quoted for CreateProcess's command line (the rules of CommandLineToArgvW).
inline std::wstring windowsQuote(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos)
        return arg;
    std::wstring out = L"\"";
    std::size_t slashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
        } else if (c == L'"') {
            out.append(slashes * 2 + 1, L'\\');
            slashes = 0;
        } else {
            slashes = 0;
        }
        out += c;
    }
    out.append(slashes, L'\\');
    return out + L"\"";
}

// Starts args[0] with its output (stdout and stderr) going to `output`, an inheritable handle.
inline bool startProcess(const std::vector<std::string>& args, HANDLE output,
                         PROCESS_INFORMATION& pi, DWORD flags = 0) {
    std::wstring line;
    for (const std::string& a : args)
        line += (line.empty() ? L"" : L" ") + windowsQuote(std::filesystem::path(a).wstring());
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = output;
    si.hStdError = output;
    return CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                          &si, &pi) != 0;
}

// Wine gives no handle to wait on for a Unix process, nor its exit status: the shell writes its
// output and, last, its status into files, and the status file's arrival ends the wait.
inline CommandRun runShell(const std::string& command) {
    CommandRun r;
    static unsigned count = 0;
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::filesystem::path base =
        std::filesystem::path(temp) /
        ("zp-shell-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(count++));
    const std::string out = unixPath(base.string() + ".out");
    const std::string status = unixPath(base.string() + ".status");
    const std::string line = "( " + hostCommand(command) + "\n) >" + shellQuote(out) +
                             "; echo $? >" + shellQuote(status + ".part") + " && mv " +
                             shellQuote(status + ".part") + " " + shellQuote(status);
    PROCESS_INFORMATION pi{};
    if (!startProcess({"Z:\\bin\\sh", "-c", line}, GetStdHandle(STD_ERROR_HANDLE), pi))
        return r;
    if (pi.hThread)
        CloseHandle(pi.hThread);
    if (pi.hProcess)
        CloseHandle(pi.hProcess);
    const std::filesystem::path statusFile = base.string() + ".status";
    std::error_code ignored;
    // A shell that never started writes no status: give up after ten minutes.
    for (int waited = 0; !std::filesystem::exists(statusFile, ignored); waited += 10) {
        if (waited > 600000)
            return r;
        Sleep(10);
    }
    std::ifstream in(statusFile);
    in >> r.status;
    std::ifstream text(base.string() + ".out", std::ios::binary);
    r.output.assign(std::istreambuf_iterator<char>(text), {});
    text.close();
    in.close();
    std::filesystem::remove(statusFile, ignored);
    std::filesystem::remove(base.string() + ".out", ignored);
    return r;
}

inline bool runCommand(const std::string& command, std::string* output = nullptr) {
    CommandRun r = runShell(command);
    if (output != nullptr)
        *output += r.output;
    return r.status == 0;
}

// Sets environment variables for a child and puts the old values back when it goes.
class ChildEnvironment {
public:
    explicit ChildEnvironment(const std::vector<std::pair<std::string, std::string>>& env) {
        for (const auto& [name, value] : env) {
            const char* old = std::getenv(name.c_str());
            m_saved.push_back({name, old != nullptr, old != nullptr ? old : ""});
            _putenv_s(name.c_str(), value.c_str());
        }
    }
    ~ChildEnvironment() {
        for (const Saved& s : m_saved)
            _putenv_s(s.name.c_str(), s.had ? s.value.c_str() : "");
    }
    ChildEnvironment(const ChildEnvironment&) = delete;
    ChildEnvironment& operator=(const ChildEnvironment&) = delete;

private:
    struct Saved {
        std::string name;
        bool had;
        std::string value;
    };
    std::vector<Saved> m_saved;
};

inline ChildRun runChild(const std::vector<std::string>& args, const std::filesystem::path& log,
                         const ChildLimits& limits) {
    ChildRun r;
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE out =
        CreateFileW(log.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return r;
    std::vector<std::pair<std::string, std::string>> env = limits.env;
    env.push_back({"GTEST_OUTPUT", ""});
    PROCESS_INFORMATION pi{};
    bool started = false;
    {
        ChildEnvironment scoped(env);
        started = startProcess(args, out, pi, CREATE_SUSPENDED);
    }
    CloseHandle(out);
    if (!started)
        return r;
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION info{};
    if (limits.addressSpaceBytes > 0) {
        info.BasicLimitInformation.LimitFlags |= JOB_OBJECT_LIMIT_PROCESS_MEMORY;
        info.ProcessMemoryLimit = static_cast<SIZE_T>(limits.addressSpaceBytes);
    }
    if (limits.cpuSeconds > 0) {
        info.BasicLimitInformation.LimitFlags |= JOB_OBJECT_LIMIT_PROCESS_TIME;
        info.BasicLimitInformation.PerProcessUserTimeLimit.QuadPart =
            limits.cpuSeconds * 10000000LL;
    }
    if (job != nullptr) {
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &info, sizeof info);
        AssignProcessToJobObject(job, pi.hProcess);
    }
    ResumeThread(pi.hThread);
    const DWORD wait = limits.wallMs > 0 ? static_cast<DWORD>(limits.wallMs) : INFINITE;
    if (WaitForSingleObject(pi.hProcess, wait) != WAIT_OBJECT_0) {
        r.hung = true;
        TerminateProcess(pi.hProcess, 128 + 9);
        WaitForSingleObject(pi.hProcess, INFINITE);
    }
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    r.exitCode = static_cast<int>(code);
    FILETIME created, ended, kernel, user;
    if (GetProcessTimes(pi.hProcess, &created, &ended, &kernel, &user)) {
        const auto ticks = [](const FILETIME& t) {
            return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
        };
        r.cpuSeconds = double(ticks(kernel) + ticks(user)) / 1e7;
    }
    if (job != nullptr) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION used{};
        if (QueryInformationJobObject(job, JobObjectExtendedLimitInformation, &used, sizeof used,
                                      nullptr))
            r.peakMiB = static_cast<long>(used.PeakProcessMemoryUsed / (1024 * 1024));
        CloseHandle(job);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    std::ifstream in(log, std::ios::binary);
    r.output.assign(std::istreambuf_iterator<char>(in), {});
    return r;
}

} // namespace zp::test
