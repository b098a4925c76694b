#pragma once
// The file operations of the log sorting tool. None of them ever replaces a file: a file
// already at the destination with the same bytes counts as placed, one with other bytes is
// a conflict and stays as it is. A file reaches its destination whole or not at all, so
// that a run killed at any point leaves every file whole in one place or the other.
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zp::logsort {

namespace fs = std::filesystem;

// Told before every change to the file system ("mkdir A", "write A/x.txt", ...), so that
// a caller can show the work as it happens.
using Progress = std::function<void(std::string_view)>;

// The steps that decide what survives a power failure, each told once it is done, in the
// order done: a file's data written whole (Write) or made durable (Sync of the file), a file
// system or folder made durable (Sync of a folder), a name given (Link, Rename) or taken
// away (Unlink).
enum class FileStep { Write, Sync, Link, Rename, Unlink };
struct FileEvent {
    FileStep step;
    fs::path path;
    fs::path to; // Link, Rename: the new name
};
using Journal = std::function<void(const FileEvent&)>;

// Who watches the file operations; either may be empty.
struct Watch {
    Progress progress;
    Journal journal;
};

enum class FileCompare {
    Absent,     // nothing at the destination
    Identical,  // a file with the same bytes
    Different,  // a file with other bytes, or something that is no plain file
    Unreadable, // one of the two could not be read
};
FileCompare compareFiles(const fs::path& source, const fs::path& destination);

enum class PlaceStatus { Placed, AlreadyThere, Conflict, Failed };
struct PlaceResult {
    PlaceStatus status = PlaceStatus::Failed;
    std::string error; // the system's reason when Failed
};

// A copy of source at destination: written to a temporary file in the destination's
// folder, flushed to the disk, then linked (or, where the file system has no links,
// renamed) to its name. The copy keeps the source's modification time.
PlaceResult placeCopy(const fs::path& source, const fs::path& destination, const Watch& watch);

// Source's file under a second name at destination (a hard link, the first half of a
// rename that cannot replace anything); a copy as placeCopy where the two lie on different
// file systems or the file system has no links. `syncFolder` off: the new name is made
// durable later by syncFileSystems.
PlaceResult placeLink(const fs::path& source, const fs::path& destination, const Watch& watch,
                      bool syncFolder = true);

// The two halves of placeCopy for a batch of copies that share one sync: stageCopy writes
// the copy into a temporary file beside destination without flushing it (`temp` is its
// path); once syncFileSystems has made the batch durable, placeStaged gives it its name
// (or removes it when the destination was taken meanwhile).
bool stageCopy(const fs::path& source, const fs::path& destination, fs::path& temp,
               const Watch& watch, std::string& error);
PlaceResult placeStaged(const fs::path& temp, const fs::path& source, const fs::path& destination,
                        const Watch& watch);

// Makes everything written on the file systems holding `folders` durable: one sync of each
// file system (syncfs), reported as "sync <folder>". Nothing to do on Windows, where staged
// copies are flushed as they are written.
bool syncFileSystems(const std::vector<fs::path>& folders, const Watch& watch, std::string& error);

// Creates folder (one level) unless it is there as a folder already.
bool ensureFolder(const fs::path& folder, const Watch& watch, std::string& error);

bool removeFile(const fs::path& file, const Watch& watch, std::string& error);

// Whether a file name is one of the temporary files placeCopy writes; a run that was
// killed may leave them behind.
bool isTemporaryName(const fs::path& fileName);

// The path as UTF-8 text for messages (bytes that are no character are shown as "?").
std::string displayPath(const fs::path& path);

} // namespace zp::logsort
