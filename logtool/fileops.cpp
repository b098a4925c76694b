#include "fileops.h"

#include "fileio/fileio.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <system_error>

namespace zp::logsort {
namespace {

// A run's temporary files: this name followed by what fileio adds for a temporary file.
constexpr std::string_view kTempStem = ".zoripost-sort";
// The names of the runs of earlier versions: this prefix, a number, and this suffix.
constexpr std::string_view kOldTempPrefix = ".zoripost-sort-";
constexpr std::string_view kOldTempSuffix = ".tmp";
constexpr std::size_t kChunk = 64 * 1024;

std::string systemMessage(int err) {
    return std::generic_category().message(err);
}

void tell(const Watch& watch, std::string_view what, const fs::path& a,
          const fs::path* b = nullptr) {
    if (!watch.progress)
        return;
    std::string line(what);
    line += ' ';
    line += displayPath(a);
    if (b) {
        line += " -> ";
        line += displayPath(*b);
    }
    watch.progress(line);
}

void note(const Watch& watch, FileStep step, const fs::path& path, const fs::path& to = {}) {
    if (watch.journal)
        watch.journal(FileEvent{step, path, to});
}

void makeFolderDurable(const fs::path& folder, const Watch& watch) {
    fileio::syncFolder(folder);
    note(watch, FileStep::Sync, folder);
}

// Writes the whole source into a new temporary file beside `destination` (`temp` is its
// path); `durable`: and flushes it to the disk.
bool writeTemporary(const fs::path& source, const fs::path& destination, fs::path& temp,
                    bool durable, const Watch& watch, std::string& error) {
    fileio::FileHandle in(fileio::openForReading(source));
    if (!in.ok()) {
        error = displayPath(source) + ": " + systemMessage(errno);
        return false;
    }
    fileio::FileHandle out(
        fileio::createTemporary(destination.parent_path() / kTempStem, temp, 0644));
    if (!out.ok()) {
        error = displayPath(destination.parent_path()) + ": " + systemMessage(errno);
        temp.clear(); // the name tried last may well be someone else's file
        return false;
    }
    std::array<char, kChunk> buffer;
    for (;;) {
        const long n = fileio::readFull(in.fd(), buffer.data(), buffer.size());
        if (n < 0) {
            error = displayPath(source) + ": " + systemMessage(errno);
            return false;
        }
        if (n == 0)
            break;
        tell(watch, "write", temp);
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
        tell(watch, "flush", temp);
    if ((durable && fileio::flush(out.fd()) != 0) || !out.close()) {
        error = displayPath(temp) + ": " + systemMessage(errno);
        return false;
    }
    note(watch, FileStep::Write, temp);
    if (durable)
        note(watch, FileStep::Sync, temp);
    fileio::copyWriteTime(source, temp); // a copy that keeps the send time is nicer; no more
    return true;
}

// Removes a temporary file that did not get a name (or still has its temporary one).
void dropTemporary(const fs::path& temp, const Watch& watch) {
    std::error_code ec;
    if (fileio::fileInfo(temp, ec).kind == fileio::FileKind::None)
        return;
    tell(watch, "remove", temp);
    if (!fileio::removeFile(temp))
        note(watch, FileStep::Unlink, temp);
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
    const fileio::FileInfo b = fileio::fileInfo(destination, ec);
    if (ec)
        return FileCompare::Unreadable;
    if (b.kind == fileio::FileKind::None)
        return FileCompare::Absent;
    if (b.kind != fileio::FileKind::File)
        return FileCompare::Different;
    const fileio::FileInfo a = fileio::fileInfo(source, ec);
    if (ec || a.kind != fileio::FileKind::File)
        return FileCompare::Unreadable;
    if (a.size != b.size)
        return FileCompare::Different;
    fileio::FileHandle fa(fileio::openForReading(source)), fb(fileio::openForReading(destination));
    if (!fa.ok() || !fb.ok())
        return FileCompare::Unreadable;
    std::array<char, kChunk> ba, bb;
    for (;;) {
        const long na = fileio::readFull(fa.fd(), ba.data(), ba.size());
        const long nb = fileio::readFull(fb.fd(), bb.data(), bb.size());
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
                       bool syncFolder, const Watch& watch) {
    PlaceResult result{PlaceStatus::Placed, {}};
    tell(watch, "link", temp, &destination);
    std::error_code ec = fileio::makeHardLink(temp, destination);
    if (!ec) {
        note(watch, FileStep::Link, temp, destination);
    } else if (ec == std::errc::file_exists) {
        result = resultForTaken(source, destination);
    } else {
        // No links on this file system: a rename, which would replace a file that appeared
        // since the test above; nothing else can give us the name without that risk.
        if (compareFiles(source, destination) != FileCompare::Absent) {
            result = resultForTaken(source, destination);
        } else {
            tell(watch, "rename", temp, &destination);
            ec = fileio::renameFile(temp, destination);
            if (ec)
                result = {PlaceStatus::Failed, displayPath(destination) + ": " + ec.message()};
            else
                note(watch, FileStep::Rename, temp, destination);
        }
    }
    dropTemporary(temp, watch);
    if (syncFolder && result.status == PlaceStatus::Placed)
        makeFolderDurable(destination.parent_path(), watch);
    return result;
}

PlaceResult placeCopy(const fs::path& source, const fs::path& destination, const Watch& watch) {
    if (compareFiles(source, destination) != FileCompare::Absent)
        return resultForTaken(source, destination);
    fs::path temp;
    std::string error;
    if (!writeTemporary(source, destination, temp, true, watch, error)) {
        if (!temp.empty())
            dropTemporary(temp, watch);
        return {PlaceStatus::Failed, error};
    }
    return putInPlace(temp, source, destination, true, watch);
}

bool stageCopy(const fs::path& source, const fs::path& destination, fs::path& temp,
               const Watch& watch, std::string& error) {
    // Flushed one by one where no whole file system can be synced at once.
    if (writeTemporary(source, destination, temp, !fileio::kSyncsFileSystems, watch, error))
        return true;
    if (!temp.empty())
        dropTemporary(temp, watch);
    temp.clear();
    return false;
}

PlaceResult placeStaged(const fs::path& temp, const fs::path& source, const fs::path& destination,
                        const Watch& watch) {
    if (compareFiles(source, destination) != FileCompare::Absent) {
        dropTemporary(temp, watch);
        return resultForTaken(source, destination);
    }
    return putInPlace(temp, source, destination, false, watch);
}

bool syncFileSystems(const std::vector<fs::path>& folders, const Watch& watch, std::string& error) {
    if (!fileio::kSyncsFileSystems)
        return true; // staged copies are flushed as they are written there
    std::vector<std::uint64_t> done;
    for (const fs::path& folder : folders) {
        const fileio::FileId id = fileio::fileId(folder);
        if (!id.known || std::find(done.begin(), done.end(), id.device) != done.end())
            continue;
        done.push_back(id.device);
        tell(watch, "sync", folder);
        if (const int err = fileio::syncFileSystem(folder)) {
            error = displayPath(folder) + ": " + systemMessage(err);
            return false;
        }
        note(watch, FileStep::Sync, folder);
    }
    return true;
}

PlaceResult placeLink(const fs::path& source, const fs::path& destination, const Watch& watch,
                      bool syncFolder) {
    if (compareFiles(source, destination) != FileCompare::Absent)
        return resultForTaken(source, destination);
    tell(watch, "link", source, &destination);
    const std::error_code ec = fileio::makeHardLink(source, destination);
    if (!ec) {
        note(watch, FileStep::Link, source, destination);
        if (syncFolder)
            makeFolderDurable(destination.parent_path(), watch);
        return {PlaceStatus::Placed, {}};
    }
    if (ec == std::errc::file_exists)
        return resultForTaken(source, destination);
    // Another file system, or one without links: a copy does it.
    return placeCopy(source, destination, watch);
}

bool ensureFolder(const fs::path& folder, const Watch& watch, std::string& error) {
    std::error_code ec;
    const fileio::FileKind kind = fileio::fileInfo(folder, ec).kind;
    if (kind == fileio::FileKind::Folder)
        return true;
    if (kind != fileio::FileKind::None) {
        error = displayPath(folder) + ": " + systemMessage(EEXIST);
        return false;
    }
    tell(watch, "mkdir", folder);
    ec = fileio::makeFolder(folder);
    if (ec) {
        error = displayPath(folder) + ": " + ec.message();
        return false;
    }
    return true;
}

bool removeFile(const fs::path& file, const Watch& watch, std::string& error) {
    tell(watch, "remove", file);
    if (const std::error_code ec = fileio::removeFile(file)) {
        error = displayPath(file) + ": " + ec.message();
        return false;
    }
    note(watch, FileStep::Unlink, file);
    return true;
}

bool isTemporaryName(const fs::path& fileName) {
    if (fileio::isTemporaryOf(fileName, fs::path(kTempStem)))
        return true;
    // Left by an earlier version: the prefix, a number and the suffix.
    const auto& n = fileName.native();
    if (n.size() <= kOldTempPrefix.size() + kOldTempSuffix.size())
        return false;
    auto matches = [&](std::size_t at, std::string_view ascii) {
        for (std::size_t i = 0; i < ascii.size(); ++i)
            if (n[at + i] != static_cast<fs::path::value_type>(ascii[i]))
                return false;
        return true;
    };
    return matches(0, kOldTempPrefix) && matches(n.size() - kOldTempSuffix.size(), kOldTempSuffix);
}

std::string displayPath(const fs::path& path) {
    return fileio::displayPath(path);
}

} // namespace zp::logsort
