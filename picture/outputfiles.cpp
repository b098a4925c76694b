#include "picture/outputfiles.h"

#include <cstdio>
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
    return fs::path(root ? base + outputCopyName(sourceName)
                         : base + "/" + outputCopyName(sourceName));
}

bool writeFileReplacing(const fs::path& path, const std::vector<std::uint8_t>& bytes,
                        std::string& error) {
    fs::path temp = path;
    temp += ".part";
#ifdef _WIN32
    std::FILE* f = _wfopen(temp.c_str(), L"wb");
#else
    std::FILE* f = std::fopen(temp.c_str(), "wb");
#endif
    if (!f) {
        error = "cannot create " + temp.string();
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = std::fclose(f) == 0;
    std::error_code ec;
    if (!written || !closed) {
        fs::remove(temp, ec);
        error = "cannot write " + temp.string();
        return false;
    }
    fs::rename(temp, path, ec);
    if (ec) {
        fs::remove(temp, ec);
        error = "cannot replace " + path.string();
        return false;
    }
    return true;
}

PictureError copyToOutputFolder(const fs::path& workingJpeg, const std::string& folder,
                                const std::string& sourceName) {
    std::error_code ec;
    const std::string base = withoutFinalSeparators(folder);
    if (base.empty() || !fs::is_directory(fs::path(base), ec)) {
        return PictureError::OutputFolderMissing;
    }
    fs::copy_file(workingJpeg, outputCopyPath(folder, sourceName),
                  fs::copy_options::overwrite_existing, ec);
    return ec ? PictureError::WriteFailed : PictureError::None;
}

} // namespace zp
