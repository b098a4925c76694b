// Every file the program creates new is opened here, with O_EXCL: a name that is taken, by a
// file or by a link planted there (dangling or not), is never opened and never written
// through.
#include "fileio/fileio.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <atomic>
#include <io.h>
#include <random>
#else
#include <cstdlib>
#include <unistd.h>
#endif

namespace zp::fileio {

#ifdef _WIN32
int createExclusive(const fs::path& path, unsigned mode) {
    const int pmode = (mode & 0222) ? (_S_IREAD | _S_IWRITE) : _S_IREAD;
    return _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, pmode);
}

int createTemporary(const fs::path& target, fs::path& temp) {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned long long seed =
            (static_cast<unsigned long long>(random()) << 20) ^ counter.fetch_add(1);
        std::wstring suffix = L".";
        for (int i = 0; i < 6; ++i, seed /= 36)
            suffix += L"0123456789abcdefghijklmnopqrstuvwxyz"[seed % 36];
        temp = target;
        temp += suffix;
        const int fd = createExclusive(temp, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}
#else
int createExclusive(const fs::path& path, unsigned mode) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, static_cast<mode_t>(mode));
}

// mkostemp opens with O_CREAT | O_EXCL and mode 0600 under a name of six random characters.
int createTemporary(const fs::path& target, fs::path& temp) {
    std::string name = target.native() + ".XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0)
        temp = name;
    return fd;
}
#endif

} // namespace zp::fileio
