// Paths for the wide-character file functions of Windows in their `\\?\` form. Without it
// those functions drop the dots and spaces at the end of a name ("folder " becomes "folder")
// and refuse paths longer than 260 characters; with it the name reaches the file system as
// it is. The `\\?\` form is taken literally, so the path is made absolute, and "." and ".."
// are resolved here, without the system's own normalising, which would drop those characters
// again.
#include "fileio/fileio.h"

#ifdef _WIN32
#include <windows.h>

#include <system_error>

namespace zp::fileio {
namespace {

bool isSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// A path that names a drive letter's folder or the current folder, made complete from the
// current folder: "name" and "\name" from it, "C:name" from drive C's own current folder.
std::wstring absoluteOf(const fs::path& path) {
    const std::wstring& p = path.native();
    if (path.has_root_name() && path.has_root_directory())
        return p;
    std::error_code ec;
    const fs::path here = fs::current_path(ec);
    if (ec)
        return {};
    if (!path.has_root_name() && !path.has_root_directory())
        return (here / path).native();
    if (!path.has_root_name()) // "\name": the root of the current folder's drive or share
        return here.root_name().native() + p;
    // "C:name": the system keeps one current folder per drive; only it knows them. The
    // drive's folder itself has its real name, so its normalising loses nothing.
    const std::wstring drive = path.root_name().native() + L".";
    const DWORD size = GetFullPathNameW(drive.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return {};
    std::wstring folder(size, L'\0');
    const DWORD n = GetFullPathNameW(drive.c_str(), size, folder.data(), nullptr);
    if (n == 0 || n >= size)
        return {};
    folder.resize(n);
    return (fs::path(folder) / path.relative_path()).native();
}

} // namespace

std::wstring win32Path(const fs::path& path) {
    const std::wstring& given = path.native();
    if (given.empty())
        return {};
    // Already in a form the system takes literally ("\\?\", and "\\.\" for devices).
    if (given.size() >= 4 && isSeparator(given[0]) && isSeparator(given[1]) &&
        (given[2] == L'?' || given[2] == L'.') && isSeparator(given[3]))
        return given;
    // \\server\share\...: the C++ library here does not take a share's name for a root name,
    // so it is told apart by its two leading separators.
    if (given.size() > 2 && isSeparator(given[0]) && isSeparator(given[1]))
        return L"\\\\?\\UNC\\" +
               fs::path(given.substr(2)).lexically_normal().make_preferred().native();
    const std::wstring whole = absoluteOf(path);
    if (whole.empty())
        return {};
    // lexically_normal keeps a separator at the end of a folder's name; harmless here.
    const std::wstring normal = fs::path(whole).lexically_normal().make_preferred().native();
    if (normal.size() > 2 && isSeparator(normal[0]) && isSeparator(normal[1]))
        return L"\\\\?\\UNC\\" + normal.substr(2); // the current folder is on a share
    return L"\\\\?\\" + normal;
}

} // namespace zp::fileio
#endif
