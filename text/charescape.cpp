#include "text/charescape.h"

#include "text/cp932.h"
#include "text/utf8.h"

#include <cstdio>

namespace zp {

namespace {

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// The length of "#x" hexadecimal digits ";" at pos, 0 when the text there is not of that form.
std::size_t hexReferenceTail(std::string_view text, std::size_t pos) {
    if (text.substr(pos, 2) != "#x")
        return 0;
    std::size_t i = pos + 2;
    while (i < text.size() && isHexDigit(text[i]))
        ++i;
    return i > pos + 2 && i < text.size() && text[i] == ';' ? i + 1 - pos : 0;
}

std::string reference(char32_t c) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "&#x%X;", static_cast<unsigned>(c));
    return buf;
}

// The character of a reference "&#x…;" of length n at pos that reading turns back, or 0.
char32_t escapedCharacter(std::string_view text, std::size_t pos, std::size_t n) {
    const std::string_view digits = text.substr(pos + 3, n - 4);
    if (digits.size() > 6 || digits.front() == '0')
        return 0;
    char32_t c = 0;
    for (char d : digits) {
        if (d >= 'a' && d <= 'f')
            return 0; // only the canonical upper-case form
        c = c * 16 + static_cast<char32_t>(d <= '9' ? d - '0' : d - 'A' + 10);
    }
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) || cp932Holds(c))
        return 0;
    return c;
}

// The reference at pos (an "&") that reading turns back: its length and character.
std::size_t readableEscape(std::string_view text, std::size_t pos, char32_t& c) {
    const std::size_t n = hexReferenceTail(text, pos + 1);
    if (n == 0)
        return 0;
    if (text.substr(pos, n + 1) == "&#x26;" && hexReferenceTail(text, pos + n + 1) != 0) {
        c = U'&';
        return n + 1;
    }
    c = escapedCharacter(text, pos, n + 1);
    return c != 0 ? n + 1 : 0;
}

} // namespace

std::string escapeUnheld(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        const std::size_t start = pos;
        const char32_t c = nextUtf8(utf8, pos);
        if (c == U'&' && hexReferenceTail(utf8, pos) != 0)
            out += "&#x26;";
        else if (!cp932Holds(c))
            out += reference(c);
        else
            out.append(utf8.substr(start, pos - start));
    }
    return out;
}

std::string unescapeUnheld(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        char32_t c = 0;
        const std::size_t n = utf8[pos] == '&' ? readableEscape(utf8, pos, c) : 0;
        if (n != 0) {
            appendUtf8(out, c);
            pos += n;
        } else {
            out += utf8[pos++];
        }
    }
    return out;
}

std::string toSjisKeepingAll(std::string_view utf8) {
    return utf8ToSjis(escapeUnheld(utf8));
}

std::string fromSjisKeepingAll(std::string_view sjis) {
    return unescapeUnheld(sjisToUtf8(sjis));
}

void appendHtmlEscaped(std::string& out, char ch) {
    switch (ch) {
    case '&':
        out += "&amp;";
        break;
    case '<':
        out += "&lt;";
        break;
    case '>':
        out += "&gt;";
        break;
    case '"':
        out += "&quot;";
        break;
    default:
        out += ch;
    }
}

std::string htmlEscapeKeepingAll(std::string_view sjis) {
    // "&", "<", ">" and '"' are never the second byte of a Shift-JIS character, and the
    // escapes are ASCII, so the bytes can be taken one by one.
    std::string out;
    out.reserve(sjis.size() + sjis.size() / 8);
    for (std::size_t pos = 0; pos < sjis.size();) {
        const char ch = sjis[pos];
        char32_t c = 0;
        const std::size_t n = ch == '&' ? readableEscape(sjis, pos, c) : 0;
        if (n != 0) {
            // An escaped "&" is the entity of one; an escaped character is already a reference.
            out += c == U'&' ? std::string_view("&amp;") : sjis.substr(pos, n);
            pos += n;
            continue;
        }
        appendHtmlEscaped(out, ch);
        ++pos;
    }
    return out;
}

} // namespace zp
