// Shift-JIS texts (the settings file's and the send log's form) as native paths, through the
// program's one code page 932 converter.
#include "fileio/fileio.h"

#include "text/cp932.h"

#include <climits>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace zp::fileio {

bool sjisToPath(std::string_view sjis, fs::path& out) {
    out.clear();
    std::string utf8;
    if (!zp::sjisToUtf8Strict(sjis, utf8))
        return false;
    // A UTF-8 path is kept as its bytes on POSIX and widened to UTF-16 on Windows.
    out = fs::path(std::u8string(utf8.begin(), utf8.end()));
    return true;
}

#ifdef _WIN32
namespace {

std::wstring toWide(std::string_view text, UINT codePage, DWORD flags) {
    if (text.empty() || text.size() > INT_MAX)
        return {};
    const int size = static_cast<int>(text.size());
    const int n = MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
    if (n <= 0)
        return {};
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, flags, text.data(), size, out.data(), n);
    return out;
}

std::string fromWide(std::wstring_view text, UINT codePage) {
    if (text.empty() || text.size() > INT_MAX)
        return {};
    const int size = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), size, out.data(), n, nullptr, nullptr);
    return out;
}

} // namespace

std::wstring wideFromUtf8(const std::string& path) {
    return toWide(path, CP_UTF8, MB_ERR_INVALID_CHARS);
}

std::string utf8FromWide(std::wstring_view text) {
    return fromWide(text, CP_UTF8);
}
#endif

} // namespace zp::fileio
