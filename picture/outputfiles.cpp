#include "picture/outputfiles.h"

#include "fileio/fileio.h"

#include <fstream>
#include <iterator>
#include <system_error>

namespace zp {

namespace fs = std::filesystem;

namespace {

std::string withoutFinalSeparators(std::string folder) {
    // Both separators are accepted; the root folder itself keeps its separator.
    while (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/')) {
        folder.pop_back();
    }
    return folder;
}

} // namespace

fs::path workingJpegPath(const fs::path& executable) {
    fs::path p = executable;
    p.replace_extension(".jpg");
    return p;
}

std::string outputCopyName(const std::string& sourceName) {
    // The extension is what follows the last dot of the last path component.
    std::string name = sourceName;
    const std::size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos) {
        name.erase(0, slash + 1);
    }
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) {
        name.erase(dot);
    }
    return "zp_" + name + ".jpg";
}

fs::path outputCopyPath(const std::string& folder, const std::string& sourceName) {
    const std::string base = withoutFinalSeparators(folder);
    const bool root = base == "/" || base == "\\";
    return fileio::pathFromText(root ? base + outputCopyName(sourceName)
                                     : base + "/" + outputCopyName(sourceName));
}

// Written to a new file of a random name in the same folder, created exclusively, and renamed
// over the old one: a reader never sees half a file, and a link planted under the output name
// is replaced, never written through.
bool writeFileReplacing(const fs::path& path, const std::vector<std::uint8_t>& bytes,
                        std::string& error) {
    fileio::ReplaceOptions options;
    options.link = fileio::LinkAtTarget::Replace;
    const std::string_view contents(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return fileio::replaceFile(path, contents, options, error);
}

PictureError copyToOutputFolder(const fs::path& workingJpeg, const std::string& folder,
                                const std::string& sourceName) {
    std::error_code ec;
    const std::string base = withoutFinalSeparators(folder);
    if (base.empty() || !fs::is_directory(fileio::pathFromText(base), ec)) {
        return PictureError::OutputFolderMissing;
    }
    // Copied through a new file and a rename, like the working JPEG: a link planted under the
    // output name is replaced, not written through.
    std::ifstream in(workingJpeg, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        return PictureError::WriteFailed;
    }
    std::string error;
    return writeFileReplacing(outputCopyPath(folder, sourceName), bytes, error)
               ? PictureError::None
               : PictureError::WriteFailed;
}

} // namespace zp
