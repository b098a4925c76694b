// Replacing a whole file in one step: the new contents go to a temporary file in the same
// folder and are renamed over the old file, so a crash, a full disk or a refused write never
// leaves a half-written file behind.
#include "fileio/fileio.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>

#ifdef _WIN32
#include <windows.h>

#include <io.h>
#else
#include <unistd.h>
#endif

namespace zp::fileio {
namespace {

std::string describe(const char* step, const std::string& file, int err) {
    return std::string(step) + " " + file + ": " + std::strerror(err);
}

// The file that is really replaced when a link is followed: its target, else the path.
fs::path resolveTarget(const fs::path& path, LinkAtTarget link) {
    std::error_code ec;
    if (link == LinkAtTarget::Replace || !fs::is_symlink(path, ec))
        return path;
    const fs::path real = fs::weakly_canonical(path, ec);
    return ec ? path : real;
}

fs::path folderOf(const fs::path& path) {
    const fs::path parent = path.parent_path();
    return parent.empty() ? fs::path(".") : parent;
}

// What stands at the target before the replacement; an error text when it must stay.
struct Existing {
    bool exists = false;
#ifdef _WIN32
    unsigned long attributes = 0;
#else
    mode_t mode = 0;
#endif
};

// A file without any write permission is write-protected, as a read-only file is on the
// platform the settings format comes from; replacing it by a rename would go around that,
// so it is refused, for root too.
bool inspect(const fs::path& target, Existing& old, std::string& error, const std::string& shown) {
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(win32Path(target).c_str());
    old.exists = attributes != INVALID_FILE_ATTRIBUTES;
    old.attributes = attributes;
    if (old.exists && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = describe("not a regular file:", shown, EISDIR);
        return false;
    }
    if (old.exists && (attributes & FILE_ATTRIBUTE_READONLY)) {
        error = describe("write-protected:", shown, EACCES);
        return false;
    }
#else
    struct stat st {};
    old.exists = ::stat(target.c_str(), &st) == 0;
    old.mode = st.st_mode;
    if (old.exists && !S_ISREG(st.st_mode)) {
        error = describe("not a regular file:", shown, EISDIR);
        return false;
    }
    if (old.exists && ((st.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)) {
        error = describe("write-protected:", shown, EACCES);
        return false;
    }
#endif
    return true;
}

// The new file's mode (POSIX) or attributes (Windows) before it takes the name; 0 or errno.
int setKind(int fd, const fs::path& temp, const Existing& old, bool keepMode) {
#ifdef _WIN32
    (void)fd;
    const DWORD kept = keepMode && old.exists
                           ? old.attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                               FILE_ATTRIBUTE_NOT_CONTENT_INDEXED)
                           : 0;
    if (kept != 0 && !SetFileAttributesW(win32Path(temp).c_str(), kept))
        return errnoFromWindows(GetLastError());
    return 0;
#else
    (void)temp;
    if (keepMode && !old.exists)
        return 0; // stays private (0600): the settings hold a password
    mode_t mode = old.mode & 07777;
    if (!keepMode) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    return ::fchmod(fd, mode) == 0 ? 0 : errno;
#endif
}

void removeTemporary(const fs::path& temp) {
#ifdef _WIN32
    DeleteFileW(win32Path(temp).c_str());
#else
    std::error_code ec;
    fs::remove(temp, ec);
#endif
}

// Why the rename over the old file was refused. On Windows a file another program holds open
// (even only for reading, as a virus scanner does) cannot be renamed over, and the system
// names that as a sharing violation or, for some holders, as a plain refusal.
std::string renameRefusal(const std::string& file, int err) {
#ifdef _WIN32
    if (err == EBUSY)
        return "cannot replace " + file + ": the file is in use by another program";
    if (err == EACCES)
        return "cannot replace " + file +
               ": access denied (another program may be holding the file open)";
#endif
    return describe("cannot replace", file, err);
}

std::string nameForRename(const fs::path& path) {
#ifdef _WIN32
    const std::u8string u8 = path.u8string();
    return std::string(u8.begin(), u8.end());
#else
    return path.native();
#endif
}

} // namespace

bool replaceFile(const fs::path& path, std::string_view contents, const ReplaceOptions& options,
                 std::string& error, const std::string& shown) {
    const fs::path target = resolveTarget(path, options.link);
    const std::string name = shown.empty() ? displayPath(target) : shown;
    Existing old;
    if (options.keepMode && !inspect(target, old, error, name))
        return false;
    fs::path temp;
    const int fd = createTemporary(target, temp);
    if (fd < 0) {
        error = describe("cannot create a temporary file for", name, errno);
        return false;
    }
    int err = setKind(fd, temp, old, options.keepMode);
    const char* step = err != 0 ? "cannot set the mode of" : nullptr;
    if (!step && !writeAll(fd, contents, err)) {
        step = "cannot write";
    } else if (!step && options.durable && flush(fd) != 0) {
        err = errno;
        step = "cannot flush";
    }
    if (closeFile(fd) != 0 && !step) {
        err = errno;
        step = "cannot close";
    }
    if (!step &&
        fileSystemCalls().rename(nameForRename(temp).c_str(), nameForRename(target).c_str()) != 0) {
        err = errno;
        step = "cannot replace";
    }
    if (step) {
        removeTemporary(temp);
        error = std::strcmp(step, "cannot replace") == 0 ? renameRefusal(name, err)
                                                         : describe(step, name, err);
        return false;
    }
    if (options.durable)
        syncFolder(folderOf(target));
    return true;
}

} // namespace zp::fileio
