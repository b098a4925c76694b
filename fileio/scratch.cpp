// An unnamed scratch file that goes away when it is closed.
#include "fileio/fileio.h"

#include <cerrno>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace zp::fileio {

#ifdef _WIN32

// The C runtime's tmpfile makes its file in the root of the current drive, which a user who
// is no administrator may not write; the file is made in the user's temporary folder instead,
// opened to be deleted when its last handle closes.
std::FILE* openScratchFile() {
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) {
        errno = ENOENT;
        return nullptr;
    }
    fs::path temp;
    // createTemporary names it beside a target; the target itself is never made.
    const int fd = createTemporary(fs::path(folder) / L"zoripost-scratch", temp);
    if (fd < 0)
        return nullptr;
    ::_close(fd);
    const std::wstring name = win32Path(temp);
    HANDLE file = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        errno = errnoFromWindows(GetLastError());
        DeleteFileW(name.c_str());
        return nullptr;
    }
    const int handleFd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_BINARY | _O_RDWR);
    if (handleFd < 0) {
        CloseHandle(file);
        return nullptr;
    }
    std::FILE* stream = ::_fdopen(handleFd, "w+b");
    if (!stream)
        ::_close(handleFd);
    return stream;
}

#else

std::FILE* openScratchFile() {
    return std::tmpfile();
}

#endif

} // namespace zp::fileio
