#pragma once
// Desktop link files (".desktop" with Type=Link): the desktop's own shortcuts. A file
// dropped or named that way stands for the local file its URL points to.
#include <cstddef>
#include <string>
#include <string_view>

namespace zp {

// Link files are a few lines; a larger file is not taken for one.
inline constexpr std::size_t kMaxDesktopLinkBytes = 64 * 1024;

// True when the name ends in ".desktop" (any letter case).
bool isDesktopLinkName(std::string_view fileName);

// The URL of a link entry: the "URL" key of the "[Desktop Entry]" group when that group
// says "Type=Link" and the URL has the "file:" scheme, with the entry format's escapes
// (\s \t \n \r \\) undone. Empty text for anything else (an application entry, a web
// link, no such key). The URL's own %-escapes are left for the caller's URL decoder.
std::string desktopLinkFileUrl(std::string_view text);

} // namespace zp
