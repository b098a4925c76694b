// Reading files whole: the reading side of copies and comparisons.
#include "fileio/fileio.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>

#ifdef _WIN32
#include <windows.h>

#include <cstdint>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace zp::fileio {
namespace {

#ifdef _WIN32
long readSome(int fd, char* buffer, std::size_t size) {
    return ::_read(fd, buffer, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
}
#else
long readSome(int fd, char* buffer, std::size_t size) {
    return static_cast<long>(::read(fd, buffer, size));
}
#endif

} // namespace

#ifdef _WIN32
int openForReading(const fs::path& path) {
    const std::wstring name = win32Path(path);
    if (name.empty()) {
        errno = ENOENT;
        return -1;
    }
    // Not _wopen: it shares reading and writing only.
    const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        errno = errnoFromWindows(GetLastError());
        return -1;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(file);
        errno = EMFILE;
    }
    return fd;
}
#else
int openForReading(const fs::path& path) {
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}
#endif

long readFull(int fd, char* buffer, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        const long r = readSome(fd, buffer + got, size - got);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return -1;
        if (r == 0)
            break;
        got += static_cast<std::size_t>(r);
    }
    return static_cast<long>(got);
}

InputFile::InputFile(const fs::path& path) : std::istream(nullptr), m_buffer(openForReading(path)) {
    rdbuf(&m_buffer);
    if (!m_buffer.ok())
        setstate(std::ios::failbit);
}

InputFile::~InputFile() = default;

InputFile::Buffer::int_type InputFile::Buffer::underflow() {
    if (gptr() < egptr())
        return traits_type::to_int_type(*gptr());
    const long n = m_file.ok() ? readFull(m_file.fd(), m_bytes, sizeof m_bytes) : -1;
    if (n <= 0)
        return traits_type::eof();
    setg(m_bytes, m_bytes, m_bytes + n);
    return traits_type::to_int_type(*gptr());
}

FileHandle::~FileHandle() {
    if (m_fd >= 0)
        closeFile(m_fd);
}

bool FileHandle::close() {
    const int fd = m_fd;
    m_fd = -1;
    return fd >= 0 && closeFile(fd) == 0;
}

} // namespace zp::fileio
