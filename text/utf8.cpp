#include "text/utf8.h"

namespace zp {

char32_t nextUtf8(std::string_view text, std::size_t& pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char c = byte(pos);
    if (c < 0x80) {
        ++pos;
        return c;
    }
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2, value = c & 0x1F, minimum = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3, value = c & 0x0F, minimum = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4, value = c & 0x07, minimum = 0x10000;
    }
    if (length == 0 || pos + length > text.size()) {
        ++pos;
        return U'\uFFFD';
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80) {
            ++pos;
            return U'\uFFFD';
        }
        value = value << 6 | (byte(pos + i) & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        ++pos;
        return U'\uFFFD';
    }
    pos += length;
    return value;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

namespace {

// Characters that never begin a cluster of their own (Unicode's Extend and SpacingMark
// classes, in the blocks Japanese text and emoji use).
bool extendsCluster(char32_t c) {
    return (c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) ||
           (c >= 0x1DC0 && c <= 0x1DFF) || (c >= 0x20D0 && c <= 0x20FF) ||
           (c >= 0x3099 && c <= 0x309A) || (c >= 0xFE00 && c <= 0xFE0F) ||
           (c >= 0xFE20 && c <= 0xFE2F) || (c >= 0x1F3FB && c <= 0x1F3FF) ||
           (c >= 0xE0020 && c <= 0xE007F) || (c >= 0xE0100 && c <= 0xE01EF) || c == 0x200C;
}

bool isRegionalIndicator(char32_t c) {
    return c >= 0x1F1E6 && c <= 0x1F1FF;
}

} // namespace

std::size_t graphemeLength(std::string_view text, std::size_t pos) {
    const std::size_t start = pos;
    const char32_t first = nextUtf8(text, pos);
    if (first == U'\r' && pos < text.size() && text[pos] == '\n')
        return pos + 1 - start;
    if (isRegionalIndicator(first) && pos < text.size()) {
        std::size_t next = pos;
        if (isRegionalIndicator(nextUtf8(text, next)))
            pos = next;
    }
    while (pos < text.size()) {
        std::size_t next = pos;
        const char32_t c = nextUtf8(text, next);
        if (c == 0x200D && next < text.size()) { // a zero-width joiner takes the next one too
            nextUtf8(text, next);
        } else if (!extendsCluster(c)) {
            break;
        }
        pos = next;
    }
    return pos - start;
}

} // namespace zp
