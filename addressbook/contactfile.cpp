#include "contactfile.h"

#include "text/cp932.h"
#include "text/utf8.h"

namespace zp {

namespace contactfile {

bool isUtf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t at = i;
        // U+FFFD is what a malformed sequence gives; written out it is three bytes long.
        if (nextUtf8(bytes, i) == U'\uFFFD' && i - at != 3)
            return false;
    }
    return true;
}

std::string guessToUtf8(std::string_view bytes) {
    return isUtf8(bytes) ? std::string(bytes) : sjisToUtf8(bytes);
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= 0x20)
        text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= 0x20)
        text.remove_suffix(1);
    return text;
}

std::string cleanName(std::string_view utf8) {
    std::string out(trim(utf8));
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    return out;
}

namespace {

bool isAscii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

} // namespace

std::string joinName(std::string_view family, std::string_view given) {
    family = trim(family);
    given = trim(given);
    if (family.empty() || given.empty())
        return std::string(family.empty() ? given : family);
    if (isAscii(family) && isAscii(given))
        return std::string(given) + " " + std::string(family);
    return std::string(family) + " " + std::string(given);
}

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

} // namespace contactfile

namespace {

std::string_view withoutBom(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    return bytes;
}

// The first line that is not blank, lower-cased, to tell the format by.
std::string firstLine(std::string_view bytes) {
    std::size_t start = 0;
    while (start < bytes.size() && static_cast<unsigned char>(bytes[start]) <= 0x20)
        ++start;
    std::size_t end = bytes.find_first_of("\r\n", start);
    if (end == std::string_view::npos)
        end = bytes.size();
    return contactfile::lowerAscii(bytes.substr(start, end - start));
}

// Lines are counted at LF, CR LF and a lone CR alike.
ContactFileError checkLines(std::string_view bytes) {
    std::size_t line = 1;
    std::size_t length = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\0')
            return {ContactFileFault::Binary, line, {}};
        if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
            ++line;
            length = 0;
        } else if (++length > kMaxContactLineBytes) {
            return {ContactFileFault::LineTooLong, line, {}};
        }
    }
    return {};
}

} // namespace

ContactFile readContacts(std::string_view bytes) {
    if (bytes.size() > kMaxContactFileBytes)
        return {{ContactFileFault::TooLarge, 0, {}}, {}};
    if (ContactFileError e = checkLines(bytes); e.fault != ContactFileFault::None)
        return {std::move(e), {}};
    const std::string_view text = withoutBom(bytes);
    if (firstLine(text).starts_with("begin:vcard"))
        return readVCards(text);
    return readContactCsv(text);
}

} // namespace zp
