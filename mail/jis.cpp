#include "mail/jis.h"

#include "mail/sjistables.h"

#include <algorithm>

namespace zp {

namespace {

constexpr std::string_view kToJis208 = "\x1b$B";
constexpr std::string_view kToAscii = "\x1b(B";

bool isHalfWidthKana(unsigned char c) {
    return c >= 0xA1 && c <= 0xDF;
}
bool isValidTrailByte(unsigned char c) {
    return c >= 0x40 && c <= 0xFC && c != 0x7F;
}

// The Shift-JIS code of the same character outside the IBM extension rows, or the code itself.
std::uint16_t withoutIbmExtension(std::uint16_t code) {
    const auto* first = sjistables::kIbmExtension;
    const auto* last = first + sjistables::kIbmExtensionCount;
    const auto* it =
        std::lower_bound(first, last, code, [](const sjistables::IbmMapping& m, std::uint16_t c) {
            return m.ibm < c;
        });
    return it != last && it->ibm == code ? it->nec : code;
}

void appendJis(std::string& out, std::uint16_t jis) {
    out += static_cast<char>(jis >> 8);
    out += static_cast<char>(jis & 0xFF);
}

// The full-width form of the half-width katakana at text[i], merged with a following voiced
// or semi-voiced mark when that form exists; advances i past what it used.
std::uint16_t fullWidthKana(std::string_view text, std::size_t& i) {
    const auto& forms = sjistables::kHalfWidthKana[static_cast<unsigned char>(text[i]) - 0xA1];
    ++i;
    if (i < text.size()) {
        const auto mark = static_cast<unsigned char>(text[i]);
        if (mark == 0xDE && forms.voiced != 0) {
            ++i;
            return forms.voiced;
        }
        if (mark == 0xDF && forms.semiVoiced != 0) {
            ++i;
            return forms.semiVoiced;
        }
    }
    return forms.plain;
}

// Tracks the ISO-2022-JP mode while characters are appended.
class JisWriter {
public:
    void ascii(char c) {
        if (m_jis208) {
            m_out += kToAscii;
            m_jis208 = false;
        }
        m_out += c;
    }
    void doubleByte(std::uint16_t jis) {
        if (!m_jis208) {
            m_out += kToJis208;
            m_jis208 = true;
        }
        appendJis(m_out, jis);
    }
    std::string finish() {
        if (m_jis208)
            m_out += kToAscii;
        m_jis208 = false;
        return std::move(m_out);
    }

private:
    std::string m_out;
    bool m_jis208 = false;
};

} // namespace

std::array<unsigned char, 2> sjisCharToJis(unsigned char c1, unsigned char c2) {
    if (c1 >= 0xFA) {
        const std::uint16_t code = withoutIbmExtension(static_cast<std::uint16_t>(c1 << 8 | c2));
        c1 = static_cast<unsigned char>(code >> 8);
        c2 = static_cast<unsigned char>(code & 0xFF);
    }
    const unsigned char base = c1 <= 0x9F ? 0x70 : 0xB0;
    const unsigned char adjust = c2 < 0x9F ? 1 : 0;
    const auto first = static_cast<unsigned char>((c1 - base) * 2 - adjust);
    unsigned char second;
    if (c2 < 0x7F)
        second = static_cast<unsigned char>(c2 - 0x1F);
    else if (c2 < 0x9F)
        second = static_cast<unsigned char>(c2 - 0x20);
    else
        second = static_cast<unsigned char>(c2 - 0x7E);
    return {first, second};
}

std::string sjisToJis(std::string_view sjis) {
    JisWriter out;
    std::size_t i = 0;
    while (i < sjis.size()) {
        const auto c = static_cast<unsigned char>(sjis[i]);
        if (isSjisLeadByte(c)) {
            // A lead byte with nothing after it cannot be converted and is dropped.
            if (i + 1 >= sjis.size())
                break;
            const auto jis = sjisCharToJis(c, static_cast<unsigned char>(sjis[i + 1]));
            out.doubleByte(static_cast<std::uint16_t>(jis[0] << 8 | jis[1]));
            i += 2;
        } else if (isHalfWidthKana(c)) {
            out.doubleByte(fullWidthKana(sjis, i));
        } else {
            out.ascii(sjis[i]);
            ++i;
        }
    }
    return out.finish();
}

std::string toIso2022jp(std::string_view sjis) {
    JisWriter out;
    std::size_t i = 0;
    while (i < sjis.size()) {
        const auto c = static_cast<unsigned char>(sjis[i]);
        if (c < 0x80) {
            out.ascii(sjis[i]);
            ++i;
        } else if (isHalfWidthKana(c)) {
            out.doubleByte(fullWidthKana(sjis, i));
        } else if (isSjisLeadByte(c)) {
            const bool hasTrail = i + 1 < sjis.size();
            const auto c2 = hasTrail ? static_cast<unsigned char>(sjis[i + 1]) : 0;
            const auto code = static_cast<std::uint16_t>(c << 8 | c2);
            // User-defined characters (F040-F9FC) have no JIS code; the IBM extension rows
            // have one through their NEC duplicates, the rest of them does not.
            const bool mappable = c < 0xF0 || (c >= 0xFA && withoutIbmExtension(code) != code);
            if (hasTrail && isValidTrailByte(c2) && mappable) {
                const auto jis = sjisCharToJis(c, c2);
                out.doubleByte(static_cast<std::uint16_t>(jis[0] << 8 | jis[1]));
            }
            i += 2;
        } else {
            ++i; // 0x80, 0xA0, 0xFD-0xFF
        }
    }
    return out.finish();
}

bool isSevenBit(std::string_view text) {
    return std::none_of(text.begin(), text.end(),
                        [](char c) { return static_cast<unsigned char>(c) > 0x7F; });
}

} // namespace zp
