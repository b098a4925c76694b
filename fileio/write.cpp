#include "fileio/fileio.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <windows.h>

#include <algorithm>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace zp {
namespace {

const FileSystemCalls* g_installed = nullptr;

#ifdef _WIN32
int flushToDisk(int fd) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE) {
        errno = EBADF;
        return -1;
    }
    if (!FlushFileBuffers(handle)) {
        errno = fileio::errnoFromWindows(GetLastError());
        return -1;
    }
    return 0;
}

// Whether a refused replacement may be another program holding the file open for a moment
// (a virus scanner or an indexer opening every new file, without delete sharing).
bool mayBeHeldBriefly(DWORD code) {
    return code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED;
}

// A target that only readers sharing deletion hold open (the library's own reading does):
// the classic rename refuses to replace it, but it may itself be renamed. It is moved aside
// to a temporary name, the new file takes its name, and the old one is deleted, which the
// system carries out when its last reader closes it. A read-only file is never moved aside.
// For a moment the name is absent; the old file is put back when the new one cannot follow.
bool replaceAside(const std::wstring& source, const std::wstring& target, const char* to) {
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        return false;
    const std::wstring aside = fileio::win32Path(
        fileio::temporaryNameFor(fileio::fs::path(reinterpret_cast<const char8_t*>(to))));
    if (aside.empty() || !MoveFileExW(target.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH))
        return false;
    if (!MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
        MoveFileExW(aside.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
        return false;
    }
    DeleteFileW(aside.c_str());
    return true;
}

// Replaces `to` in one step; with write-through the call returns only once the move has
// reached the disk, so no separate sync of the folder is needed. A target held open is tried
// again in short steps for about a second in all; then the refusal stands (EBUSY or EACCES)
// and the caller keeps the old file. Readers that share deletion are gone around at once.
int moveReplacing(const char* from, const char* to) {
    const std::wstring source =
        fileio::win32Path(fileio::fs::path(reinterpret_cast<const char8_t*>(from)));
    const std::wstring target =
        fileio::win32Path(fileio::fs::path(reinterpret_cast<const char8_t*>(to)));
    if (source.empty() || target.empty()) {
        errno = EINVAL;
        return -1;
    }
    DWORD waited = 0;
    for (DWORD step = 10;; step = std::min<DWORD>(step * 2, 100)) {
        if (MoveFileExW(source.c_str(), target.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return 0;
        const DWORD code = GetLastError();
        if (mayBeHeldBriefly(code) && replaceAside(source, target, to))
            return 0;
        if (!mayBeHeldBriefly(code) || waited >= fileio::kHeldFileWaitMs) {
            errno = fileio::errnoFromWindows(code);
            return -1;
        }
        Sleep(step);
        waited += step;
    }
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
#else
const FileSystemCalls& realCalls() {
    static const FileSystemCalls calls{
        [](int fd, const void* data, size_t size) { return ::write(fd, data, size); },
        [](int fd) { return ::fsync(fd); },
        [](const char* from, const char* to) { return ::rename(from, to); },
    };
    return calls;
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

namespace fileio {

bool writeAll(int fd, std::string_view data, int& err) {
    const FileSystemCalls& calls = fileSystemCalls();
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

int flush(int fd) {
    return fileSystemCalls().fsync(fd);
}

#ifdef _WIN32
int closeFile(int fd) {
    return _close(fd);
}

void syncFolder(const fs::path&) {}

std::string displayPath(const fs::path& path) {
    const std::u8string u8 = path.generic_u8string();
    return std::string(u8.begin(), u8.end());
}

int errnoFromWindows(unsigned long code) {
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
#else
int closeFile(int fd) {
    return ::close(fd);
}

void syncFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

std::string displayPath(const fs::path& path) {
    return path.native();
}
#endif

Created writeNewFile(const fs::path& path, std::string_view bytes) {
    const int fd = createExclusive(path, 0666);
    if (fd < 0)
        return errno == EEXIST ? Created::Exists : Created::Failed;
    int err = 0;
    const bool written = writeAll(fd, bytes, err);
    return closeFile(fd) == 0 && written ? Created::Ok : Created::Failed;
}

} // namespace fileio
} // namespace zp
