// Every file the program creates new is opened here, with O_EXCL: a name that is taken, by a
// file or by a link planted there (dangling or not), is never opened and never written
// through.
#include "fileio/fileio.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <random>
#include <string_view>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace zp::fileio {

namespace {

constexpr std::string_view kTemporaryLetters =
    "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr std::size_t kTemporaryRandom = 6;

// A dot and six random letters or digits. Case-insensitive file systems see fewer names, which
// only makes a clash, and so another attempt, a little likelier.
fs::path::string_type temporarySuffix() {
    static std::atomic<unsigned> counter{0};
    static thread_local std::mt19937_64 random{std::random_device{}()};
    unsigned long long seed = random() ^ counter.fetch_add(1);
    fs::path::string_type suffix(1, fs::path::value_type('.'));
    for (std::size_t i = 0; i < kTemporaryRandom; ++i, seed /= kTemporaryLetters.size())
        suffix += static_cast<fs::path::value_type>(
            kTemporaryLetters[static_cast<std::size_t>(seed % kTemporaryLetters.size())]);
    return suffix;
}

} // namespace

#ifdef _WIN32
int createExclusive(const fs::path& path, unsigned mode) {
    const int pmode = (mode & 0222) ? (_S_IREAD | _S_IWRITE) : _S_IREAD;
    const std::wstring name = win32Path(path);
    if (name.empty()) {
        errno = ENOENT;
        return -1;
    }
    return _wopen(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, pmode);
}
#else
int createExclusive(const fs::path& path, unsigned mode) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, static_cast<mode_t>(mode));
}
#endif

int createTemporary(const fs::path& target, fs::path& temp, unsigned mode) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = target;
        temp += temporarySuffix();
        const int fd = createExclusive(temp, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

fs::path temporaryNameFor(const fs::path& target) {
    fs::path name = target;
    name += temporarySuffix();
    return name;
}

bool isTemporaryOf(const fs::path& name, const fs::path& targetName) {
    const auto& n = name.native();
    const auto& t = targetName.native();
    if (n.size() != t.size() + 1 + kTemporaryRandom || n.compare(0, t.size(), t) != 0 ||
        n[t.size()] != fs::path::value_type('.'))
        return false;
    for (std::size_t i = t.size() + 1; i < n.size(); ++i)
        if (n[i] > 0x7F ||
            kTemporaryLetters.find(static_cast<char>(n[i])) == std::string_view::npos)
            return false;
    return true;
}

} // namespace zp::fileio
