#pragma once
// The program's file writing, in one place: files created exclusively (a name that is taken,
// by a file or by a link, is never opened), written whole, flushed to the disk, and put in
// place by a rename so that a reader never sees half a file. Plain C++, no window system.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <istream>
#include <streambuf>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <system_error>
#include <vector>

namespace zp {

#ifdef _MSC_VER
using ssize_t = std::ptrdiff_t;
#endif

// The system calls a replacement goes through. Tests install failing ones to play a full
// disk or a refused rename where the real file system would not refuse. On Windows the
// descriptors are C runtime ones, `fsync` flushes the file's buffers to the disk and the
// names handed to `rename` are in UTF-8; failures set errno there too.
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

namespace fileio {

namespace fs = std::filesystem;

// A new file opened for writing only, created with O_EXCL: -1 with errno EEXIST when
// anything, a dangling link included, holds the name. `mode` is narrowed by the umask.
int createExclusive(const fs::path& path, unsigned mode = 0666);

// A new file beside `target` (its name followed by a dot and six random letters or digits),
// created exclusively with `mode` (narrowed by the umask); -1 with errno set when none could
// be made.
int createTemporary(const fs::path& target, fs::path& temp, unsigned mode = 0600);
// A name of the kind createTemporary gives, not created: for a rename that must not replace.
fs::path temporaryNameFor(const fs::path& target);
// Whether `name` is a file name createTemporary gives for a target named `targetName`.
bool isTemporaryOf(const fs::path& name, const fs::path& targetName);

// An unnamed file for reading and writing that goes away when it is closed, made in the
// user's temporary folder; null with errno set when none could be made.
std::FILE* openScratchFile();

// An existing file opened for reading only; -1 with errno set. On Windows others may still
// rename over it or remove it meanwhile (delete sharing), so that our own reading never
// blocks our own replacement of the file.
int openForReading(const fs::path& path);
// Reads up to `size` bytes, fewer only at the end of the file (again after a short read or
// an interrupted call); -1 with errno set on an error.
long readFull(int fd, char* buffer, std::size_t size);

// An open descriptor, closed when the holder goes.
class FileHandle {
public:
    explicit FileHandle(int fd) : m_fd(fd) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle();
    int fd() const { return m_fd; }
    bool ok() const { return m_fd >= 0; }
    // Closes now, so that a failed close is seen: true when it succeeded.
    bool close();

private:
    int m_fd;
};

// An existing file read as a stream, opened with openForReading (binary). Its state is
// failed when the file could not be opened.
class InputFile : public std::istream {
public:
    explicit InputFile(const fs::path& path);
    ~InputFile() override;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

private:
    class Buffer : public std::streambuf {
    public:
        explicit Buffer(int fd) : m_file(fd) {}
        bool ok() const { return m_file.ok(); }

    protected:
        int_type underflow() override;

    private:
        FileHandle m_file;
        char m_bytes[16 * 1024];
    };
    Buffer m_buffer;
};

// What stands at a name. A link (or a junction) is not followed: it is Other, as a device is.
enum class FileKind { None, File, Folder, Other };
struct FileInfo {
    FileKind kind = FileKind::None;
    bool hidden = false;     // hidden or system on Windows; never on POSIX
    std::uintmax_t size = 0; // of a file
};
// None without an error when nothing holds the name; `ec` is set when it cannot be told.
FileInfo fileInfo(const fs::path& path, std::error_code& ec);
// Whether the path leads to a folder, links followed.
bool isFolder(const fs::path& path);

struct FolderEntry {
    fs::path name; // the name alone
    FileInfo info;
};
// The names in a folder but "." and ".."; `ec` set when it cannot be read whole.
std::vector<FolderEntry> listFolder(const fs::path& folder, std::error_code& ec);

// The calls on names, each an error code (generic category, errno values): EEXIST when a
// new name is taken.
std::error_code makeFolder(const fs::path& path);
std::error_code removeFile(const fs::path& path);
std::error_code makeHardLink(const fs::path& existing, const fs::path& link);
// Replaces a file that holds `to`.
std::error_code renameFile(const fs::path& from, const fs::path& to);
// The time `from` was last written, given to `to`, as far as the system lets it.
void copyWriteTime(const fs::path& from, const fs::path& to);

// Whether syncFileSystem makes all written data of a file system durable at once; where it
// cannot (Windows), files are flushed one by one as they are written.
#ifdef _WIN32
inline constexpr bool kSyncsFileSystems = false;
#else
inline constexpr bool kSyncsFileSystems = true;
#endif
// Writes out everything written to the file system `folder` is on (syncfs); 0 or errno.
int syncFileSystem(const fs::path& folder);

// Which file or folder a path leads to (links followed), to tell whether two paths lead to
// the same one; `known` is false when it could not be found.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t index = 0;
    bool known = false;
    bool operator==(const FileId&) const = default;
};
FileId fileId(const fs::path& path);

// Writes all of `data`, again after a short write or an interrupted call; false with
// `err` set on a failure (ENOSPC for a write that wrote nothing).
bool writeAll(int fd, std::string_view data, int& err);
// Flushes the file's data to the disk; 0 or -1 with errno set.
int flush(int fd);
int closeFile(int fd);

// Makes a new or removed name in the folder last through a power failure. Best effort:
// some file systems refuse to sync a folder. Does nothing on Windows, whose renames are
// written through.
void syncFolder(const fs::path& folder);

// The path as text for messages: native bytes on POSIX, UTF-8 on Windows.
std::string displayPath(const fs::path& path);

// A command-line tool's arguments after the program's name, in the form pathFromText reads:
// argv's bytes on POSIX, UTF-8 from the wide command line on Windows (the C runtime's argv
// holds only what the ANSI code page has).
std::vector<std::string> commandLineArguments(int argc, char** argv);
// A path given as text (by a user, or by the window to the plain libraries): its bytes on
// POSIX, UTF-8 on Windows (the form displayPath gives back; bytes that are no UTF-8 give an
// empty path there).
fs::path pathFromText(const std::string& text);

enum class LinkAtTarget {
    Follow,  // the link stays and the file it points to is replaced
    Replace, // the link itself is replaced; what it points to is never touched
};

struct ReplaceOptions {
    LinkAtTarget link = LinkAtTarget::Replace;
    // An existing file keeps its mode and one without any write permission (read-only on
    // Windows) is refused; a new file stays private (0600). Off: the new file is an
    // ordinary one (0666 narrowed by the umask) whatever the old one was.
    bool keepMode = false;
    // Flush the data before the rename and the folder after it.
    bool durable = false;
};

// How long a replacement waits, in all, for a file another program holds open on Windows
// (which refuses to rename over such a file) before it gives up.
inline constexpr unsigned long kHeldFileWaitMs = 1000;

// Writes `contents` as the new file at `path` through a temporary file beside it and a
// rename. On failure returns false, sets `error` to a description with the system's reason
// naming `shown` (the path itself when empty), and leaves the old file and no temporary.
// On Windows a file another program holds open is tried again for kHeldFileWaitMs.
bool replaceFile(const fs::path& path, std::string_view contents, const ReplaceOptions& options,
                 std::string& error, const std::string& shown = {});

enum class Created { Ok, Exists, Failed };
// Creates `path` with `bytes` only when nothing holds the name: a file is never replaced
// and a link planted at the name is never written through. Failed when it could not be
// created or written whole.
Created writeNewFile(const fs::path& path, std::string_view bytes);

// The Shift-JIS (code page 932) text as a native path (UTF-8 bytes on POSIX, UTF-16 on
// Windows). False when it holds bytes that are no Shift-JIS character.
bool sjisToPath(std::string_view sjis, fs::path& out);

#ifdef _WIN32
// The wide form of a file name given in UTF-8 (the 8-bit form of paths between the window
// and the plain libraries, and of the command-line tools' arguments). Empty when the bytes
// are no UTF-8.
std::wstring wideFromUtf8(const std::string& path);
// The text in UTF-8 (a wide command-line argument, a wide name for messages).
std::string utf8FromWide(std::wstring_view text);
// The path for the wide-character file functions: absolute, with backslashes, in the `\\?\`
// form (`\\?\UNC\server\share\...` for a share), so that a name ending in a dot or a space
// and a path longer than 260 characters reach the file system as they are. A relative path is
// completed from the current folder. Empty when the current folder cannot be found. Every
// file function of this library on Windows takes its path from here.
std::wstring win32Path(const fs::path& path);
// errno value for a Windows error code, so that every step reports through strerror.
int errnoFromWindows(unsigned long code);
#endif

} // namespace fileio
} // namespace zp
