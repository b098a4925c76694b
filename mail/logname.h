#pragma once
// Recipient names as folder names, shared by the send log and the log sorting tool, and the
// conversion of Shift-JIS texts into the file system's own path form.
#include "fileio/fileio.h"

#include <filesystem>
#include <string_view>

namespace zp {

using fileio::sjisToPath;

enum class FolderNameCheck {
    Ok,
    Empty,          // no name: the caller uses the log folder itself
    DotName,        // "." or "..": the folder itself or its parent
    Separator,      // "/" (and on Windows "\" and the characters Windows refuses in names)
    ControlChar,    // NUL, another control character or DEL
    TooLong,        // longer than one path component may be
    NotConvertible, // bytes that are no Shift-JIS character
};

// Whether a recipient's name part (Shift-JIS) can be used unchanged as the name of one
// folder inside the log folder. Every name that passes names a folder directly inside the
// log folder, never the folder itself, its parent or a place elsewhere. On success the
// native component is stored in `component`.
FolderNameCheck checkFolderName(std::string_view sjisName, std::filesystem::path& component);

inline bool isUsableFolderName(std::string_view sjisName) {
    std::filesystem::path component;
    return checkFolderName(sjisName, component) == FolderNameCheck::Ok;
}

} // namespace zp
