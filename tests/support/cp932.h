#pragma once
// Code page 932 as glibc's iconv(3) has it, which is Windows' table: the independent reader and
// writer the tests hold the program's converter against. Where the C library has no iconv
// (MinGW), ZP_TEST_HAVE_ICONV is 0 and a test that needs it skips.
#if __has_include(<iconv.h>)
#include <iconv.h>
#define ZP_TEST_HAVE_ICONV 1
#else
#define ZP_TEST_HAVE_ICONV 0
#endif

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zp::test {

#if ZP_TEST_HAVE_ICONV

// One iconv conversion, opened once and used for many short texts.
class Iconv {
public:
    Iconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv_open ") + from + " -> " + to);
    }
    ~Iconv() { iconv_close(m_cd); }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    // The whole text converted; nothing when iconv refuses any of it.
    std::optional<std::string> operator()(std::string_view text) {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        std::string in(text);
        std::string out(in.size() * 4 + 16, '\0');
        char* src = in.data();
        std::size_t srcLeft = in.size();
        char* dst = out.data();
        std::size_t dstLeft = out.size();
        if (iconv(m_cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1) ||
            iconv(m_cd, nullptr, nullptr, &dst, &dstLeft) == static_cast<std::size_t>(-1))
            return std::nullopt;
        out.resize(out.size() - dstLeft);
        return out;
    }

private:
    iconv_t m_cd;
};

// The code point as four UTF-32LE bytes, iconv's input for one character.
inline std::string utf32le(char32_t c) {
    return {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8 & 0xFF),
            static_cast<char>(c >> 16 & 0xFF), static_cast<char>(c >> 24)};
}

// Every double-byte code of code page 932 in the form Windows writes: the codes whose
// character iconv reads and writes back at the same code (so not the NEC-selected copies
// ED40-EEFC, nor the second codes of ∵ ≒ Ⅰ ￢ and the others), the user-defined area
// F040-F9FC included; in the order of the codes.
inline std::vector<std::string> windowsDoubleByteCodes() {
    Iconv read("UTF-32LE", "CP932");
    Iconv write("CP932", "UTF-32LE");
    std::vector<std::string> codes;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (lead >= 0xA0 && lead <= 0xDF)
            continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            const std::string code{static_cast<char>(lead), static_cast<char>(trail)};
            const auto c = read(code);
            if (c && c->size() == 4 && write(*c) == code)
                codes.push_back(code);
        }
    }
    return codes;
}

#endif

} // namespace zp::test
