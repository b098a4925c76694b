#include "atomicfile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zp {
namespace {

const FileSystemCalls* g_installed = nullptr;

std::string describe(const char* step, const std::string& file, int err) {
    return std::string(step) + " " + file + ": " + std::strerror(err);
}

bool writeAll(const FileSystemCalls& calls, int fd, std::string_view data, int& err) {
    while (!data.empty()) {
        const ssize_t n = calls.write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            err = errno;
            return false;
        }
        if (n == 0) {
            err = ENOSPC;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

#ifdef _WIN32
// errno value for a Windows error code, so that every step reports through strerror.
int errnoFromWindows(DWORD code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EBUSY;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_NOT_SAME_DEVICE:
        return EXDEV;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
        return EINVAL;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    default:
        return EIO;
    }
}

std::wstring toWide(std::string_view text, UINT codePage) {
    if (text.empty() || text.size() > INT_MAX)
        return {};
    const int size = static_cast<int>(text.size());
    const int n =
        MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (n <= 0)
        return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, out.data(), n);
    return out;
}

// Characters the code page lacks become its default character (only in messages).
std::string fromWide(std::wstring_view text, UINT codePage) {
    if (text.empty() || text.size() > INT_MAX)
        return {};
    const int size = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return {};
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), size, out.data(), n, nullptr, nullptr);
    return out;
}

int flushToDisk(int fd) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE) {
        errno = EBADF;
        return -1;
    }
    if (!FlushFileBuffers(handle)) {
        errno = errnoFromWindows(GetLastError());
        return -1;
    }
    return 0;
}

// Replaces `to` in one step; with write-through the call returns only once the move
// has reached the disk, so no separate sync of the folder is needed.
int moveReplacing(const char* from, const char* to) {
    const std::wstring source = toWide(from, CP_UTF8);
    const std::wstring target = toWide(to, CP_UTF8);
    if (source.empty() || target.empty()) {
        errno = EINVAL;
        return -1;
    }
    if (!MoveFileExW(source.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        errno = errnoFromWindows(GetLastError());
        return -1;
    }
    return 0;
}

const FileSystemCalls& realCalls() {
    static const FileSystemCalls calls{
        [](int fd, const void* data, size_t size) -> ssize_t {
            return _write(fd, data, static_cast<unsigned>(std::min<size_t>(size, INT_MAX)));
        },
        flushToDisk,
        moveReplacing,
    };
    return calls;
}

// The file that is really replaced: the target of a symbolic link, else the path.
std::wstring resolveTarget(const std::wstring& path) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(path, ec))
        return path;
    const std::filesystem::path real = std::filesystem::canonical(path, ec);
    return ec ? path : real.wstring();
}

// A file beside `target` that did not exist before, open for writing; -1 with errno set.
int createTemporary(const std::wstring& target, std::wstring& temp) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned long long seed = GetTickCount64() * 2654435761u + GetCurrentProcessId() * 40503u +
                                  counter.fetch_add(1) * 7919u;
        std::wstring suffix = L".";
        for (int i = 0; i < 6; ++i, seed /= 36)
            suffix += L"0123456789abcdefghijklmnopqrstuvwxyz"[seed % 36];
        temp = target + suffix;
        const int fd =
            _wopen(temp.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                   _S_IREAD | _S_IWRITE);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}
#endif

#ifndef _WIN32
const FileSystemCalls& realCalls() {
    static const FileSystemCalls calls{
        [](int fd, const void* data, size_t size) { return ::write(fd, data, size); },
        [](int fd) { return ::fsync(fd); },
        [](const char* from, const char* to) { return ::rename(from, to); },
    };
    return calls;
}

// The file that is really replaced: the target of a symbolic link, else the path.
std::string resolveTarget(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved))
        return resolved;
    return path;
}

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Best effort: makes the rename itself durable. A folder that cannot be opened or
// synced (some file systems refuse) does not make the save fail.
void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}
#endif

} // namespace

const FileSystemCalls& fileSystemCalls() {
    if (!g_installed)
        return realCalls();
    static FileSystemCalls merged;
    merged = *g_installed;
    if (!merged.write)
        merged.write = realCalls().write;
    if (!merged.fsync)
        merged.fsync = realCalls().fsync;
    if (!merged.rename)
        merged.rename = realCalls().rename;
    return merged;
}

void setFileSystemCalls(const FileSystemCalls* replacement) {
    g_installed = replacement;
}

#ifdef _WIN32
std::wstring widePath(const std::string& path) {
    return toWide(path, CP_ACP);
}

bool replaceFileAtomically(const std::string& path, std::string_view contents, std::string& error) {
    const FileSystemCalls& calls = fileSystemCalls();
    const std::wstring wide = widePath(path);
    if (wide.empty()) {
        error = describe("not a valid file name:", path, EINVAL);
        return false;
    }
    const std::wstring target = resolveTarget(wide);
    const std::string shown = target == wide ? path : fromWide(target, CP_ACP);

    const DWORD attributes = GetFileAttributesW(target.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = describe("not a regular file:", shown, EISDIR);
        return false;
    }
    // Replacing a read-only file by a move would go around its protection.
    if (exists && (attributes & FILE_ATTRIBUTE_READONLY)) {
        error = describe("write-protected:", shown, EACCES);
        return false;
    }

    std::wstring temp;
    const int fd = createTemporary(target, temp);
    if (fd < 0) {
        error = describe("cannot create a temporary file for", shown, errno);
        return false;
    }
    int err = 0;
    const char* step = nullptr;
    if (!writeAll(calls, fd, contents, err)) {
        step = "cannot write";
    } else if (calls.fsync(fd) != 0) {
        err = errno;
        step = "cannot flush";
    }
    if (_close(fd) != 0 && !step) {
        err = errno;
        step = "cannot close";
    }
    const DWORD kept = exists ? attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                              FILE_ATTRIBUTE_NOT_CONTENT_INDEXED)
                              : 0;
    if (!step && kept != 0 && !SetFileAttributesW(temp.c_str(), kept)) {
        err = errnoFromWindows(GetLastError());
        step = "cannot set the attributes of";
    }
    if (!step &&
        calls.rename(fromWide(temp, CP_UTF8).c_str(), fromWide(target, CP_UTF8).c_str()) != 0) {
        err = errno;
        step = "cannot replace";
    }
    if (step) {
        _wunlink(temp.c_str());
        error = describe(step, shown, err);
        return false;
    }
    return true;
}
#else
bool replaceFileAtomically(const std::string& path, std::string_view contents, std::string& error) {
    const FileSystemCalls& calls = fileSystemCalls();
    const std::string target = resolveTarget(path);

    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) {
        error = describe("not a regular file:", target, EISDIR);
        return false;
    }

    // A file without any write permission is write-protected, as a read-only file is on
    // the platform the format comes from; replacing it by a rename would go around that,
    // so it is refused here, for root too.
    if (exists && ((old.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)) {
        error = describe("write-protected:", target, EACCES);
        return false;
    }

    std::string temp = target + ".XXXXXX";
    const int fd = ::mkstemp(temp.data()); // created with mode 0600
    if (fd < 0) {
        error = describe("cannot create a temporary file for", target, errno);
        return false;
    }
    int err = 0;
    const char* step = nullptr;
    if (exists && ::fchmod(fd, old.st_mode & 07777) != 0) {
        err = errno;
        step = "cannot set the mode of";
    } else if (!writeAll(calls, fd, contents, err)) {
        step = "cannot write";
    } else if (calls.fsync(fd) != 0) {
        err = errno;
        step = "cannot flush";
    }
    if (::close(fd) != 0 && !step) {
        err = errno;
        step = "cannot close";
    }
    if (!step && calls.rename(temp.c_str(), target.c_str()) != 0) {
        err = errno;
        step = "cannot replace";
    }
    if (step) {
        ::unlink(temp.c_str());
        error = describe(step, target, err);
        return false;
    }
    syncFolder(folderOf(target));
    return true;
}
#endif

} // namespace zp
