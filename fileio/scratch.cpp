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
    // A new name each try, created exclusively.
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        const std::wstring name =
            win32Path(temporaryNameFor(fs::path(folder) / L"zoripost-scratch"));
        file = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) {
            errno = errnoFromWindows(GetLastError());
            return nullptr;
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        errno = EEXIST;
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
