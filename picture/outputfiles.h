#pragma once
// The files the pipeline writes: the working JPEG beside the executable, and the optional
// copy "zp_<name>.jpg" in the output folder.
#include "picture/messages.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zp {

// The executable's path with its extension replaced by ".jpg".
std::filesystem::path workingJpegPath(const std::filesystem::path& executable);

// "zp_" + sourceName with its extension replaced by ".jpg" (appended when it has none).
std::string outputCopyName(const std::string& sourceName);

// The output copy's path. A folder text with or without a final "\" or "/" gives the same
// destination. Folder and name are native (UTF-8) path texts.
std::filesystem::path outputCopyPath(const std::string& folder, const std::string& sourceName);

// Writes the bytes to `path`, replacing an existing file: written to a new file of a random name
// in the same folder, created exclusively, and renamed over the old one, so a reader never sees
// half a file and a link planted in the folder is never written through. The error names the
// system's reason.
bool writeFileReplacing(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes,
                        std::string& error);

// Copies the working JPEG into the output folder, replacing a file of the same name.
// OutputFolderMissing when the folder does not exist (the caller shows its message);
// WriteFailed when the copy failed (the caller ignores it); None on success.
PictureError copyToOutputFolder(const std::filesystem::path& workingJpeg, const std::string& folder,
                                const std::string& sourceName);

} // namespace zp
