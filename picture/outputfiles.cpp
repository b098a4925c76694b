#include "picture/outputfiles.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <random>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zp {

namespace fs = std::filesystem;

namespace {

std::string withoutFinalSeparators(std::string folder) {
    // Both separators are accepted; the root folder itself keeps its separator.
    while (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/')) {
        folder.pop_back();
    }
    return folder;
}

} // namespace

fs::path workingJpegPath(const fs::path& executable) {
    fs::path p = executable;
    p.replace_extension(".jpg");
    return p;
}

std::string outputCopyName(const std::string& sourceName) {
    // The extension is what follows the last dot of the last path component.
    std::string name = sourceName;
    const std::size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos) {
        name.erase(0, slash + 1);
    }
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) {
        name.erase(dot);
    }
    return "zp_" + name + ".jpg";
}

fs::path outputCopyPath(const std::string& folder, const std::string& sourceName) {
    const std::string base = withoutFinalSeparators(folder);
    const bool root = base == "/" || base == "\\";
    return fs::path(root ? base + outputCopyName(sourceName)
                         : base + "/" + outputCopyName(sourceName));
}

#ifdef _WIN32
namespace {

// A new file beside `path` under a name nobody could have planted: created exclusively, so an
// existing file or link of that name is never opened. -1 with errno set when none could be made.
int createTemporary(const fs::path& path, fs::path& temp) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = path;
        temp += L"." + std::to_wstring(random()) + L".part";
        const int fd =
            _wopen(temp.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                   _S_IREAD | _S_IWRITE);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

int writeSome(int fd, const std::uint8_t* data, std::size_t size) {
    return _write(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
}
int closeFile(int fd) {
    return _close(fd);
}
int replaceWith(const fs::path& temp, const fs::path& path) {
    if (MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
        return 0;
    errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
    return -1;
}

} // namespace
#else
namespace {

// mkstemp creates the file exclusively (O_CREAT | O_EXCL): a file or a symbolic link planted
// under any name never receives the bytes, and the random part makes the name unguessable.
int createTemporary(const fs::path& path, fs::path& temp) {
    std::string name = path.string() + ".XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        return -1;
    temp = name;
    // mkstemp makes it private; an output picture is an ordinary file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    return fd;
}

ssize_t writeSome(int fd, const std::uint8_t* data, std::size_t size) {
    return ::write(fd, data, size);
}
int closeFile(int fd) {
    return ::close(fd);
}
// rename replaces a link at `path` itself, never what it points to.
int replaceWith(const fs::path& temp, const fs::path& path) {
    return ::rename(temp.c_str(), path.c_str());
}

} // namespace
#endif

bool writeFileReplacing(const fs::path& path, const std::vector<std::uint8_t>& bytes,
                        std::string& error) {
    fs::path temp;
    const int fd = createTemporary(path, temp);
    if (fd < 0) {
        error = "cannot create a temporary file for " + path.string() + ": " + std::strerror(errno);
        return false;
    }
    const std::uint8_t* data = bytes.data();
    std::size_t left = bytes.size();
    int err = 0;
    while (left > 0 && err == 0) {
        const auto n = writeSome(fd, data, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            err = n < 0 ? errno : ENOSPC;
            break;
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    if (closeFile(fd) != 0 && err == 0)
        err = errno;
    std::error_code ec;
    if (err != 0) {
        fs::remove(temp, ec);
        error = "cannot write " + path.string() + ": " + std::strerror(err);
        return false;
    }
    if (replaceWith(temp, path) != 0) {
        err = errno;
        fs::remove(temp, ec);
        error = "cannot replace " + path.string() + ": " + std::strerror(err);
        return false;
    }
    return true;
}

PictureError copyToOutputFolder(const fs::path& workingJpeg, const std::string& folder,
                                const std::string& sourceName) {
    std::error_code ec;
    const std::string base = withoutFinalSeparators(folder);
    if (base.empty() || !fs::is_directory(fs::path(base), ec)) {
        return PictureError::OutputFolderMissing;
    }
    // Copied through a new file and a rename, like the working JPEG: a link planted under the
    // output name is replaced, not written through.
    std::ifstream in(workingJpeg, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        return PictureError::WriteFailed;
    }
    std::string error;
    return writeFileReplacing(outputCopyPath(folder, sourceName), bytes, error)
               ? PictureError::None
               : PictureError::WriteFailed;
}

} // namespace zp
