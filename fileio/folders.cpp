// What stands at a name, the names in a folder, and the calls that make, link, rename and
// remove names. On POSIX they are the C++ library's own; on Windows the system's wide-character
// calls with the path in the `\\?\` form, which the C++ library of MinGW does not use (its
// calls drop a dot or a space at the end of a name and stop at 260 characters).
#include "fileio/fileio.h"

#include <cerrno>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zp::fileio {

#ifdef _WIN32
namespace {

std::error_code lastError() {
    return {errnoFromWindows(GetLastError()), std::generic_category()};
}

std::error_code pathError() {
    return {ENOENT, std::generic_category()};
}

bool isMissing(DWORD code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

// A link or a junction is neither a file nor a folder of its own: never followed.
FileInfo infoOf(DWORD attributes, DWORD sizeHigh, DWORD sizeLow) {
    FileInfo info;
    if (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE))
        info.kind = FileKind::Other;
    else if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        info.kind = FileKind::Folder;
    else
        info.kind = FileKind::File;
    info.hidden = (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
    info.size = (static_cast<std::uintmax_t>(sizeHigh) << 32) | sizeLow;
    return info;
}

// An open handle on a file or a folder for its attributes only, closed when it goes.
class AttributeHandle {
public:
    AttributeHandle(const fs::path& path, DWORD access) {
        const std::wstring name = win32Path(path);
        if (!name.empty())
            m_handle = CreateFileW(name.c_str(), access,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    }
    ~AttributeHandle() {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
    }
    AttributeHandle(const AttributeHandle&) = delete;
    AttributeHandle& operator=(const AttributeHandle&) = delete;
    HANDLE get() const { return m_handle; }
    bool ok() const { return m_handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

} // namespace

FileInfo fileInfo(const fs::path& path, std::error_code& ec) {
    ec.clear();
    const std::wstring name = win32Path(path);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (name.empty()) {
        ec = pathError();
        return {};
    }
    if (!GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data)) {
        const DWORD code = GetLastError();
        if (!isMissing(code))
            ec = {errnoFromWindows(code), std::generic_category()};
        return {};
    }
    return infoOf(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow);
}

bool isFolder(const fs::path& path) {
    const std::wstring name = win32Path(path);
    const DWORD attributes =
        name.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<FolderEntry> listFolder(const fs::path& folder, std::error_code& ec) {
    ec.clear();
    std::vector<FolderEntry> out;
    std::wstring pattern = win32Path(folder);
    if (pattern.empty()) {
        ec = pathError();
        return out;
    }
    if (pattern.back() != L'\\')
        pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found{};
    const HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) {
        if (GetLastError() != ERROR_FILE_NOT_FOUND) // a drive's empty root
            ec = lastError();
        return out;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            out.push_back({fs::path(name), infoOf(found.dwFileAttributes, found.nFileSizeHigh,
                                                  found.nFileSizeLow)});
    } while (FindNextFileW(find, &found));
    if (GetLastError() != ERROR_NO_MORE_FILES)
        ec = lastError();
    FindClose(find);
    return out;
}

std::error_code makeFolder(const fs::path& path) {
    const std::wstring name = win32Path(path);
    if (name.empty())
        return pathError();
    return CreateDirectoryW(name.c_str(), nullptr) ? std::error_code() : lastError();
}

std::error_code removeFile(const fs::path& path) {
    const std::wstring name = win32Path(path);
    if (name.empty())
        return pathError();
    return DeleteFileW(name.c_str()) ? std::error_code() : lastError();
}

std::error_code makeHardLink(const fs::path& existing, const fs::path& link) {
    const std::wstring from = win32Path(existing), to = win32Path(link);
    if (from.empty() || to.empty())
        return pathError();
    return CreateHardLinkW(to.c_str(), from.c_str(), nullptr) ? std::error_code() : lastError();
}

std::error_code renameFile(const fs::path& from, const fs::path& to) {
    const std::wstring source = win32Path(from), target = win32Path(to);
    if (source.empty() || target.empty())
        return pathError();
    return MoveFileExW(source.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? std::error_code()
               : lastError();
}

void copyWriteTime(const fs::path& from, const fs::path& to) {
    const AttributeHandle source(from, FILE_READ_ATTRIBUTES);
    FILETIME written{};
    if (!source.ok() || !GetFileTime(source.get(), nullptr, nullptr, &written))
        return;
    const AttributeHandle target(to, FILE_WRITE_ATTRIBUTES);
    if (target.ok())
        SetFileTime(target.get(), nullptr, nullptr, &written);
}

int syncFileSystem(const fs::path&) {
    return 0;
}

FileId fileId(const fs::path& path) {
    const AttributeHandle file(path, FILE_READ_ATTRIBUTES);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file.ok() || !GetFileInformationByHandle(file.get(), &info))
        return {};
    return {info.dwVolumeSerialNumber,
            (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow, true};
}

#else

FileInfo fileInfo(const fs::path& path, std::error_code& ec) {
    const fs::file_status st = fs::symlink_status(path, ec);
    FileInfo info;
    if (ec == std::errc::no_such_file_or_directory || !fs::exists(st)) {
        if (ec == std::errc::no_such_file_or_directory)
            ec.clear();
        return info;
    }
    if (fs::is_regular_file(st)) {
        info.kind = FileKind::File;
        info.size = fs::file_size(path, ec);
    } else {
        info.kind = fs::is_directory(st) ? FileKind::Folder : FileKind::Other;
    }
    return info;
}

bool isFolder(const fs::path& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

std::vector<FolderEntry> listFolder(const fs::path& folder, std::error_code& ec) {
    std::vector<FolderEntry> out;
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code ignored;
        out.push_back({it->path().filename(), fileInfo(it->path(), ignored)});
    }
    return out;
}

std::error_code makeFolder(const fs::path& path) {
    std::error_code ec;
    if (!fs::create_directory(path, ec) && !ec)
        ec = std::make_error_code(std::errc::file_exists);
    return ec;
}

std::error_code removeFile(const fs::path& path) {
    std::error_code ec;
    if (!fs::remove(path, ec) && !ec)
        ec = std::make_error_code(std::errc::no_such_file_or_directory);
    return ec;
}

std::error_code makeHardLink(const fs::path& existing, const fs::path& link) {
    std::error_code ec;
    fs::create_hard_link(existing, link, ec);
    return ec;
}

std::error_code renameFile(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    fs::rename(from, to, ec);
    return ec;
}

void copyWriteTime(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    const auto time = fs::last_write_time(from, ec);
    if (!ec)
        fs::last_write_time(to, time, ec);
}

int syncFileSystem(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int result = ::syncfs(fd) == 0 ? 0 : errno;
    ::close(fd);
    return result;
}

FileId fileId(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), true};
}

#endif

} // namespace zp::fileio
