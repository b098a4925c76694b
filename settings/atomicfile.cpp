#include "atomicfile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zp {
namespace {

const FileSystemCalls* g_installed = nullptr;

const FileSystemCalls& realCalls() {
    static const FileSystemCalls calls{
        [](int fd, const void* data, size_t size) { return ::write(fd, data, size); },
        [](int fd) { return ::fsync(fd); },
        [](const char* from, const char* to) { return ::rename(from, to); },
    };
    return calls;
}

std::string describe(const char* step, const std::string& file, int err) {
    return std::string(step) + " " + file + ": " + std::strerror(err);
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

// Best effort: makes the rename itself durable. A folder that cannot be opened or
// synced (some file systems refuse) does not make the save fail.
void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

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

} // namespace zp
