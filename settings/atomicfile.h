#pragma once
// Replacing a whole file in one step: the new contents go to a temporary file in the
// same folder, are flushed to the disk and renamed over the old file, so a crash, a
// full disk or a refused write never leaves a half-written file behind.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace zp {

#ifdef _MSC_VER
using ssize_t = std::ptrdiff_t;
#endif

#ifdef _WIN32
// The wide form of a file name given in the system's ANSI code page (the 8-bit form
// the window layer passes in). Empty when the bytes are not valid in that code page.
std::wstring widePath(const std::string& path);
#endif

// The system calls the replacement goes through. Tests install failing ones to play
// a full disk or a refused rename where the real file system would not refuse.
// On Windows the descriptors are C runtime ones, `fsync` flushes the file's buffers to
// the disk and the names handed to `rename` are in UTF-8; failures set errno there too.
struct FileSystemCalls {
    std::function<ssize_t(int fd, const void* data, size_t size)> write;
    std::function<int(int fd)> fsync;
    std::function<int(const char* from, const char* to)> rename;
};

// The calls in use: the real ones unless a test has installed others.
const FileSystemCalls& fileSystemCalls();
// Installs replacement calls (nullptr restores the real ones). Not owned. A member left
// empty falls back to the real call.
void setFileSystemCalls(const FileSystemCalls* replacement);

// Writes `contents` as the new file at `path`. A new file gets mode 0600 (the settings
// hold a password); an existing one keeps its mode, and one without any write permission
// is refused as write-protected. A symbolic link is followed, so the
// link stays and its target is replaced. On failure returns false, sets `error` to a
// description with the system's reason, and leaves the old file and no temporary file.
// On Windows there are no modes: a new file gets the folder's permissions, an existing
// one keeps its hidden and system attributes, and a read-only one is write-protected.
bool replaceFileAtomically(const std::string& path, std::string_view contents, std::string& error);

} // namespace zp
