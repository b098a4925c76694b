#pragma once
// Saving the settings file in one step (through fileio's replacement by rename).
#include "fileio/fileio.h"

#include <string>
#include <string_view>

namespace zp {

// Writes `contents` as the new file at `path`. A new file gets mode 0600 (the settings
// hold a password); an existing one keeps its mode, and one without any write permission
// is refused as write-protected. A symbolic link is followed, so the link stays and its
// target is replaced. The data and the rename are flushed to the disk. On failure returns
// false, sets `error` to a description with the system's reason, and leaves the old file
// and no temporary file. On Windows there are no modes: a new file gets the folder's
// permissions, an existing one keeps its hidden and system attributes, and a read-only one
// is write-protected; `path` is in UTF-8 there.
bool replaceFileAtomically(const std::string& path, std::string_view contents, std::string& error);

} // namespace zp
