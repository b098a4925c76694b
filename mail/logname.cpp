#include "logname.h"

#include <string>

namespace zp {
namespace {

bool isLeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Longest name of one folder: 255 bytes on the usual POSIX file systems (ext4, xfs, btrfs),
// 255 UTF-16 units on NTFS.
constexpr std::size_t kMaxComponent = 255;

#ifdef _WIN32
// Characters that Windows refuses in a file name, besides the separators.
constexpr std::string_view kRefusedChars = "\\:*?\"<>|";
#else
constexpr std::string_view kRefusedChars = "";
#endif

} // namespace

FolderNameCheck checkFolderName(std::string_view name, std::filesystem::path& component) {
    component.clear();
    if (name.empty())
        return FolderNameCheck::Empty;
    if (name == "." || name == "..")
        return FolderNameCheck::DotName;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto b = static_cast<unsigned char>(name[i]);
        if (isLeadByte(b)) {
            ++i; // the trail byte may be 0x5C or 0x7C without being "\" or "|"
            continue;
        }
        if (b < 0x20 || b == 0x7F)
            return FolderNameCheck::ControlChar;
        if (b == '/' || kRefusedChars.find(static_cast<char>(b)) != std::string_view::npos)
            return FolderNameCheck::Separator;
    }
#ifdef _WIN32
    // Windows drops trailing dots and blanks, so "a." would be the folder "a".
    if (name.back() == '.' || name.back() == ' ')
        return FolderNameCheck::Separator;
#endif
    std::filesystem::path native;
    if (!sjisToPath(name, native))
        return FolderNameCheck::NotConvertible;
    if (native.native().size() > kMaxComponent)
        return FolderNameCheck::TooLong;
    component = std::move(native);
    return FolderNameCheck::Ok;
}

} // namespace zp
