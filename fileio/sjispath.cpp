// Shift-JIS texts (the settings file's and the send log's form) as native paths.
#include "fileio/fileio.h"

#include <climits>
#include <string>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <cerrno>
#include <iconv.h>
#endif

namespace zp::fileio {
namespace {

#ifdef _WIN32
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
#else
// Code page 932 to UTF-8; a byte that is no character is refused (strict) or becomes "?".
bool cp932ToUtf8(std::string_view sjis, std::string& utf8, bool strict) {
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    std::string in(sjis);
    utf8.assign(in.size() * 3 + 4, '\0'); // a CP932 character takes at most 3 UTF-8 bytes
    char* src = in.data();
    std::size_t srcLeft = in.size();
    char* dst = utf8.data();
    std::size_t dstLeft = utf8.size();
    bool ok = true;
    while (srcLeft > 0) {
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1))
            continue;
        if (strict || (errno != EILSEQ && errno != EINVAL) || dstLeft == 0) {
            ok = false;
            break;
        }
        *dst++ = '?';
        --dstLeft;
        ++src;
        --srcLeft;
    }
    iconv_close(cd);
    utf8.resize(utf8.size() - dstLeft);
    return ok;
}
#endif

} // namespace

bool sjisToPath(std::string_view sjis, fs::path& out) {
    out.clear();
    if (sjis.empty())
        return true;
#ifdef _WIN32
    const std::wstring wide = toWide(sjis, 932, MB_ERR_INVALID_CHARS);
    if (wide.empty())
        return false;
    out = fs::path(wide);
    return true;
#else
    std::string utf8;
    if (!cp932ToUtf8(sjis, utf8, true))
        return false;
    out = fs::path(utf8);
    return true;
#endif
}

std::string sjisToUtf8(std::string_view sjis) {
#ifdef _WIN32
    return fromWide(toWide(sjis, 932, 0), CP_UTF8);
#else
    std::string utf8;
    if (!cp932ToUtf8(sjis, utf8, false) && utf8.empty())
        return std::string(sjis);
    return utf8;
#endif
}

#ifdef _WIN32
std::wstring widePath(const std::string& path) {
    return toWide(path, CP_ACP, MB_ERR_INVALID_CHARS);
}

std::string ansiPath(const std::wstring& path) {
    return fromWide(path, CP_ACP);
}
#endif

} // namespace zp::fileio
