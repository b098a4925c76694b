#include "picture/desktoplink.h"

#include <algorithm>
#include <cctype>

namespace zp {
namespace {

std::string_view trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string unescape(std::string_view v) {
    std::string out;
    out.reserve(v.size());
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] != '\\' || i + 1 == v.size()) {
            out += v[i];
            continue;
        }
        switch (v[++i]) {
        case 's':
            out += ' ';
            break;
        case 't':
            out += '\t';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        default:
            out += v[i];
            break;
        }
    }
    return out;
}

} // namespace

bool isDesktopLinkName(std::string_view fileName) {
    constexpr std::string_view ext = ".desktop";
    return fileName.size() > ext.size() &&
           equalsNoCase(fileName.substr(fileName.size() - ext.size()), ext);
}

std::string desktopLinkFileUrl(std::string_view text) {
    bool inEntry = false;
    bool isLink = false;
    std::string url;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty() || line.front() == '#')
            continue;
        if (line.front() == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        const std::size_t eq = line.find('=');
        if (!inEntry || eq == std::string_view::npos)
            continue;
        // Keys are case-sensitive in this format; "URL[ja]" and the like are other keys.
        const std::string_view key = trim(line.substr(0, eq));
        const std::string_view value = trim(line.substr(eq + 1));
        if (key == "Type")
            isLink = value == "Link";
        else if (key == "URL")
            url = unescape(value);
    }
    if (!isLink || url.size() < 5 || !equalsNoCase(std::string_view(url).substr(0, 5), "file:"))
        return {};
    return url;
}

} // namespace zp
