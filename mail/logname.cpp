#include "logname.h"

#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <iconv.h>
#endif

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

bool sjisToPath(std::string_view sjis, std::filesystem::path& out) {
    if (sjis.empty()) {
        out.clear();
        return true;
    }
#ifdef _WIN32
    const int size = static_cast<int>(sjis.size());
    const int n = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, sjis.data(), size, nullptr, 0);
    if (n <= 0)
        return false;
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, sjis.data(), size, wide.data(), n);
    out = std::filesystem::path(wide);
    return true;
#else
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    std::string in(sjis);
    std::string utf8(in.size() * 3 + 4, '\0'); // a CP932 character takes at most 3 UTF-8 bytes
    char* src = in.data();
    std::size_t srcLeft = in.size();
    char* dst = utf8.data();
    std::size_t dstLeft = utf8.size();
    const std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (r == static_cast<std::size_t>(-1) || srcLeft != 0)
        return false;
    utf8.resize(utf8.size() - dstLeft);
    out = std::filesystem::path(utf8);
    return true;
#endif
}

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
