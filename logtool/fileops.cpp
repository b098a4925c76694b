#include "fileops.h"

#include "fileio/fileio.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

namespace zp::logsort {
namespace {

constexpr std::string_view kTempPrefix = ".zoripost-sort-";
constexpr std::string_view kTempSuffix = ".tmp";
constexpr std::size_t kChunk = 64 * 1024;

std::string systemMessage(int err) {
    return std::generic_category().message(err);
}

// The reading side of the copy; creating and writing go through fileio.
#ifdef _WIN32
int openForReading(const fs::path& p) {
    return ::_wopen(p.c_str(), _O_RDONLY | _O_BINARY);
}
long readSome(int fd, char* buf, std::size_t n) {
    return ::_read(fd, buf, static_cast<unsigned>(n));
}
int processId() {
    return ::_getpid();
}
#else
int openForReading(const fs::path& p) {
    return ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
}
long readSome(int fd, char* buf, std::size_t n) {
    return ::read(fd, buf, n);
}
int processId() {
    return static_cast<int>(::getpid());
}
#endif

class File {
public:
    explicit File(int fd) : m_fd(fd) {}
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File() {
        if (m_fd >= 0)
            fileio::closeFile(m_fd);
    }
    int fd() const { return m_fd; }
    bool ok() const { return m_fd >= 0; }
    // Closes now, so that a failed close is seen.
    bool close() {
        const int fd = m_fd;
        m_fd = -1;
        return fileio::closeFile(fd) == 0;
    }

private:
    int m_fd;
};

// Reads up to n bytes, less only at the end of the file; -1 on an error.
long readFull(int fd, char* buf, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
        const long r = readSome(fd, buf + got, n - got);
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

void tell(const Progress& progress, std::string_view what, const fs::path& a,
          const fs::path* b = nullptr) {
    if (!progress)
        return;
    std::string line(what);
    line += ' ';
    line += displayPath(a);
    if (b) {
        line += " -> ";
        line += displayPath(*b);
    }
    progress(line);
}

// A name no other run of this program uses at the same time.
fs::path temporaryPath(const fs::path& folder) {
    static std::atomic<unsigned> counter{0};
    std::string name(kTempPrefix);
    name +=
        std::to_string(processId()) + "-" + std::to_string(++counter) + std::string(kTempSuffix);
    return folder / name;
}

// Writes the whole source into the new file `temp`; `durable`: and flushes it to the disk.
bool writeTemporary(const fs::path& source, const fs::path& temp, bool durable,
                    const Progress& progress, std::string& error) {
    File in(openForReading(source));
    if (!in.ok()) {
        error = displayPath(source) + ": " + systemMessage(errno);
        return false;
    }
    File out(fileio::createExclusive(temp, 0644));
    if (!out.ok()) {
        error = displayPath(temp) + ": " + systemMessage(errno);
        return false;
    }
    std::array<char, kChunk> buffer;
    for (;;) {
        const long n = readFull(in.fd(), buffer.data(), buffer.size());
        if (n < 0) {
            error = displayPath(source) + ": " + systemMessage(errno);
            return false;
        }
        if (n == 0)
            break;
        tell(progress, "write", temp);
        int err = 0;
        if (!fileio::writeAll(out.fd(),
                              std::string_view(buffer.data(), static_cast<std::size_t>(n)), err)) {
            error = displayPath(temp) + ": " + systemMessage(err);
            return false;
        }
        if (static_cast<std::size_t>(n) < buffer.size())
            break;
    }
    if (durable)
        tell(progress, "flush", temp);
    if ((durable && fileio::flush(out.fd()) != 0) || !out.close()) {
        error = displayPath(temp) + ": " + systemMessage(errno);
        return false;
    }
    std::error_code ec;
    const auto time = fs::last_write_time(source, ec);
    if (!ec)
        fs::last_write_time(temp, time, ec); // a copy that keeps the send time is nicer; no more
    return true;
}

// What to report when the destination turned out to be taken.
PlaceResult resultForTaken(const fs::path& source, const fs::path& destination) {
    switch (compareFiles(source, destination)) {
    case FileCompare::Identical:
        return {PlaceStatus::AlreadyThere, {}};
    case FileCompare::Different:
        return {PlaceStatus::Conflict, {}};
    case FileCompare::Absent:
    case FileCompare::Unreadable:
        break;
    }
    return {PlaceStatus::Failed, displayPath(destination) + ": could not be compared"};
}

} // namespace

FileCompare compareFiles(const fs::path& source, const fs::path& destination) {
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(destination, ec);
    if (ec && ec != std::errc::no_such_file_or_directory)
        return FileCompare::Unreadable;
    if (!fs::exists(st))
        return FileCompare::Absent;
    if (!fs::is_regular_file(st))
        return FileCompare::Different;
    const auto a = fs::file_size(source, ec);
    if (ec)
        return FileCompare::Unreadable;
    const auto b = fs::file_size(destination, ec);
    if (ec)
        return FileCompare::Unreadable;
    if (a != b)
        return FileCompare::Different;
    File fa(openForReading(source)), fb(openForReading(destination));
    if (!fa.ok() || !fb.ok())
        return FileCompare::Unreadable;
    std::array<char, kChunk> ba, bb;
    for (;;) {
        const long na = readFull(fa.fd(), ba.data(), ba.size());
        const long nb = readFull(fb.fd(), bb.data(), bb.size());
        if (na < 0 || nb < 0)
            return FileCompare::Unreadable;
        if (na != nb || std::memcmp(ba.data(), bb.data(), static_cast<std::size_t>(na)) != 0)
            return FileCompare::Different;
        if (static_cast<std::size_t>(na) < ba.size())
            return FileCompare::Identical;
    }
}

// Gives the written temporary file its name at destination and removes the temporary name.
PlaceResult putInPlace(const fs::path& temp, const fs::path& source, const fs::path& destination,
                       bool syncFolder, const Progress& progress) {
    PlaceResult result{PlaceStatus::Placed, {}};
    std::error_code ec;
    tell(progress, "link", temp, &destination);
    fs::create_hard_link(temp, destination, ec);
    if (ec == std::errc::file_exists) {
        result = resultForTaken(source, destination);
    } else if (ec) {
        // No links on this file system: a rename, which would replace a file that appeared
        // since the test above; nothing else can give us the name without that risk.
        if (compareFiles(source, destination) != FileCompare::Absent) {
            result = resultForTaken(source, destination);
        } else {
            tell(progress, "rename", temp, &destination);
            fs::rename(temp, destination, ec);
            if (ec)
                result = {PlaceStatus::Failed, displayPath(destination) + ": " + ec.message()};
        }
    }
    if (fs::exists(fs::symlink_status(temp, ec))) {
        tell(progress, "remove", temp);
        fs::remove(temp, ec);
    }
    if (syncFolder && result.status == PlaceStatus::Placed)
        fileio::syncFolder(destination.parent_path());
    return result;
}

PlaceResult placeCopy(const fs::path& source, const fs::path& destination,
                      const Progress& progress) {
    if (compareFiles(source, destination) != FileCompare::Absent)
        return resultForTaken(source, destination);
    const fs::path temp = temporaryPath(destination.parent_path());
    std::string error;
    if (!writeTemporary(source, temp, true, progress, error)) {
        std::error_code ec;
        fs::remove(temp, ec);
        return {PlaceStatus::Failed, error};
    }
    return putInPlace(temp, source, destination, true, progress);
}

bool stageCopy(const fs::path& source, const fs::path& destination, fs::path& temp,
               const Progress& progress, std::string& error) {
#ifdef _WIN32
    constexpr bool kFlush = true; // no sync of a whole file system there
#else
    constexpr bool kFlush = false;
#endif
    temp = temporaryPath(destination.parent_path());
    if (writeTemporary(source, temp, kFlush, progress, error))
        return true;
    std::error_code ec;
    fs::remove(temp, ec);
    temp.clear();
    return false;
}

PlaceResult placeStaged(const fs::path& temp, const fs::path& source, const fs::path& destination,
                        const Progress& progress) {
    if (compareFiles(source, destination) != FileCompare::Absent) {
        std::error_code ec;
        tell(progress, "remove", temp);
        fs::remove(temp, ec);
        return resultForTaken(source, destination);
    }
    return putInPlace(temp, source, destination, false, progress);
}

bool syncFileSystems(const std::vector<fs::path>& folders, const Progress& progress,
                     std::string& error) {
#ifdef _WIN32
    (void)folders;
    (void)progress;
    (void)error;
    return true; // staged copies are flushed as they are written there
#else
    std::vector<dev_t> done;
    for (const fs::path& folder : folders) {
        struct stat st {};
        if (::stat(folder.c_str(), &st) != 0 ||
            std::find(done.begin(), done.end(), st.st_dev) != done.end())
            continue;
        done.push_back(st.st_dev);
        tell(progress, "sync", folder);
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0 || ::syncfs(fd) != 0) {
            error = displayPath(folder) + ": " + systemMessage(errno);
            if (fd >= 0)
                ::close(fd);
            return false;
        }
        ::close(fd);
    }
    return true;
#endif
}

PlaceResult placeLink(const fs::path& source, const fs::path& destination, const Progress& progress,
                      bool syncFolder) {
    if (compareFiles(source, destination) != FileCompare::Absent)
        return resultForTaken(source, destination);
    std::error_code ec;
    tell(progress, "link", source, &destination);
    fs::create_hard_link(source, destination, ec);
    if (!ec) {
        if (syncFolder)
            fileio::syncFolder(destination.parent_path());
        return {PlaceStatus::Placed, {}};
    }
    if (ec == std::errc::file_exists)
        return resultForTaken(source, destination);
    // Another file system, or one without links: a copy does it.
    return placeCopy(source, destination, progress);
}

bool ensureFolder(const fs::path& folder, const Progress& progress, std::string& error) {
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(folder, ec);
    if (fs::is_directory(st))
        return true;
    if (fs::exists(st)) {
        error = displayPath(folder) + ": " + systemMessage(EEXIST);
        return false;
    }
    tell(progress, "mkdir", folder);
    fs::create_directory(folder, ec);
    if (ec) {
        error = displayPath(folder) + ": " + ec.message();
        return false;
    }
    return true;
}

bool removeFile(const fs::path& file, const Progress& progress, std::string& error) {
    tell(progress, "remove", file);
    std::error_code ec;
    if (!fs::remove(file, ec) || ec) {
        error = displayPath(file) + ": " + (ec ? ec.message() : systemMessage(ENOENT));
        return false;
    }
    return true;
}

bool isTemporaryName(const fs::path& fileName) {
    const auto& n = fileName.native();
    if (n.size() <= kTempPrefix.size() + kTempSuffix.size())
        return false;
    auto matches = [&](std::size_t at, std::string_view ascii) {
        for (std::size_t i = 0; i < ascii.size(); ++i)
            if (n[at + i] != static_cast<fs::path::value_type>(ascii[i]))
                return false;
        return true;
    };
    return matches(0, kTempPrefix) && matches(n.size() - kTempSuffix.size(), kTempSuffix);
}

std::string displayPath(const fs::path& path) {
    return fileio::displayPath(path);
}

} // namespace zp::logsort
