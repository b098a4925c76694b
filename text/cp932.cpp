#include "text/cp932.h"

#include "text/cp932table.h"
#include "text/utf8.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace zp {

namespace {

struct Entry {
    char32_t unicode;
    std::uint16_t code;
};

constexpr unsigned char trailByte(std::size_t index) {
    return static_cast<unsigned char>(index < 0x3F ? 0x40 + index : 0x41 + index);
}

// Every character of the table with its preferred code (the first lead that has it), sorted by
// character.
const std::vector<Entry>& encodeTable() {
    static const std::vector<Entry> table = [] {
        std::vector<Entry> entries;
        for (std::size_t l = 0; l < cp932table::kLeadCount; ++l)
            for (std::size_t t = 0; t < cp932table::kTrailCount; ++t)
                if (const char16_t u = cp932table::kChars[l][t])
                    entries.push_back(
                        {u, static_cast<std::uint16_t>(cp932table::kLeads[l] << 8 | trailByte(t))});
        std::stable_sort(entries.begin(), entries.end(),
                         [](const Entry& a, const Entry& b) { return a.unicode < b.unicode; });
        entries.erase(
            std::unique(entries.begin(), entries.end(),
                        [](const Entry& a, const Entry& b) { return a.unicode == b.unicode; }),
            entries.end());
        return entries;
    }();
    return table;
}

std::size_t leadIndex(unsigned char lead) {
    const auto* end = cp932table::kLeads + cp932table::kLeadCount;
    const auto* it = std::find(cp932table::kLeads, end, lead);
    return it == end ? cp932table::kLeadCount : static_cast<std::size_t>(it - cp932table::kLeads);
}

// The JIS X 0208 row of a Shift-JIS double-byte code (1-94 for leads up to 0xEF).
int jisRow(std::uint16_t code) {
    const int lead = code >> 8;
    const int trail = code & 0xFF;
    const int base = lead <= 0x9F ? 0x81 : 0xC1;
    return (lead - base) * 2 + (trail >= 0x9F ? 2 : 1);
}

// The character of the code at sjis[i], advancing i past it; 0 when the byte there, or the
// pair it leads, is no character (i then passes the lead byte only, so that a broken pair
// does not take an ASCII byte with it).
char32_t nextSjis(std::string_view sjis, std::size_t& i) {
    const auto c = static_cast<unsigned char>(sjis[i++]);
    if (c < 0x80)
        return c;
    if (c >= 0xA1 && c <= 0xDF)
        return 0xFF61 + (c - 0xA1);
    const bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    const auto t = i < sjis.size() ? static_cast<unsigned char>(sjis[i]) : 0;
    if (!lead || t < 0x40 || t == 0x7F || t > 0xFC)
        return 0;
    ++i;
    const std::size_t trail = t < 0x7F ? t - 0x40u : t - 0x41u;
    if (c >= 0xF0 && c <= 0xF9)
        return 0xE000 + (c - 0xF0) * 188 + static_cast<char32_t>(trail);
    if (const std::size_t l = leadIndex(c); l < cp932table::kLeadCount)
        return cp932table::kChars[l][trail];
    return 0;
}

} // namespace

char32_t cp932Form(char32_t c) {
    static constexpr std::pair<char32_t, char32_t> kFolds[] = {
        {0x301C, 0xFF5E}, {0x2016, 0x2225}, {0x2212, 0xFF0D}, {0x00A2, 0xFFE0}, {0x00A3, 0xFFE1},
        {0x00AC, 0xFFE2}, {0x2014, 0x2015}, {0x00A6, 0xFFE4}, {0x00A5, 0xFFE5}, {0x203E, 0xFFE3}};
    for (const auto& [from, to] : kFolds)
        if (c == from)
            return to;
    return c;
}

std::uint16_t cp932Code(char32_t c) {
    if (c < 0x80)
        return static_cast<std::uint16_t>(c);
    if (c >= 0xFF61 && c <= 0xFF9F)
        return static_cast<std::uint16_t>(c - 0xFF61 + 0xA1);
    if (c >= 0xE000 && c <= 0xE757) { // user-defined area, leads F0-F9
        const unsigned index = static_cast<unsigned>(c - 0xE000);
        const unsigned trail = index % 188;
        return static_cast<std::uint16_t>((0xF0 + index / 188) << 8 |
                                          (trail < 0x3F ? 0x40 + trail : 0x41 + trail));
    }
    c = cp932Form(c);
    const auto& table = encodeTable();
    const auto it = std::lower_bound(table.begin(), table.end(), c,
                                     [](const Entry& e, char32_t u) { return e.unicode < u; });
    return it != table.end() && it->unicode == c ? it->code : 0;
}

bool cp932Holds(char32_t c) {
    return c == 0 || cp932Code(c) != 0;
}

bool iso2022jpCarries(char32_t c) {
    if (c < 0x80 || (c >= 0xFF61 && c <= 0xFF9F))
        return true;
    if (c >= 0xE000 && c <= 0xE757)
        return false;
    const std::uint16_t code = cp932Code(c);
    if (code < 0x100 || (code >> 8) > 0xEF)
        return false;
    const int row = jisRow(code);
    return (row >= 1 && row <= 8) || (row >= 16 && row <= 84);
}

std::string utf8ToSjis(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        const char32_t c = nextUtf8(utf8, pos);
        const std::uint16_t code = cp932Code(c);
        if (code == 0 && c != 0)
            out += '?';
        else if (code < 0x100)
            out += static_cast<char>(code);
        else
            out += {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    }
    return out;
}

std::string sjisToUtf8(std::string_view sjis, std::string_view replacement) {
    std::string out;
    out.reserve(sjis.size() * 3 / 2);
    for (std::size_t i = 0; i < sjis.size();) {
        const std::size_t at = i;
        const char32_t c = nextSjis(sjis, i);
        if (c != 0 || sjis[at] == 0)
            appendUtf8(out, c);
        else
            out += replacement;
    }
    return out;
}

bool sjisToUtf8Strict(std::string_view sjis, std::string& utf8) {
    utf8.clear();
    utf8.reserve(sjis.size() * 3 / 2);
    for (std::size_t i = 0; i < sjis.size();) {
        const std::size_t at = i;
        const char32_t c = nextSjis(sjis, i);
        if (c == 0 && sjis[at] != 0)
            return false;
        appendUtf8(utf8, c);
    }
    return true;
}

std::string firstCharacterNotInIso2022jp(std::string_view utf8) {
    for (std::size_t pos = 0; pos < utf8.size();) {
        const std::size_t length = graphemeLength(utf8, pos);
        for (std::size_t i = pos; i < pos + length;)
            if (!iso2022jpCarries(nextUtf8(utf8, i)))
                return std::string(utf8.substr(pos, length));
        pos += length;
    }
    return {};
}

std::string replaceNotInIso2022jp(std::string_view utf8, std::string_view replacement) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        const std::size_t length = graphemeLength(utf8, pos);
        const std::string_view cluster = utf8.substr(pos, length);
        out += firstCharacterNotInIso2022jp(cluster).empty() ? cluster : replacement;
        pos += length;
    }
    return out;
}

} // namespace zp
