// The program's one code page 932 converter, held against glibc's iconv(3) (whose CP932 is
// Windows' table) for every code point and every byte pair, and against its generator.
#include "support/command.h"
#include "support/cp932.h"
#include "support/files.h"
#include "support/rows.h"
#include "text/cp932.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

namespace zp {
namespace {

using test::PrintTo;

std::string hex(const std::string& bytes) {
    std::string out;
    char b[4];
    for (const unsigned char c : bytes) {
        std::snprintf(b, sizeof b, "%02X", c);
        out += b;
    }
    return out;
}

std::string utf8(char32_t c) {
    return test::Iconv("UTF-8", "UTF-32LE")(test::utf32le(c)).value_or("");
}

// The bytes the program writes for one character; nothing for a character without a code.
std::optional<std::string> ourBytes(char32_t c) {
    const std::uint16_t code = cp932Code(c);
    if (code == 0)
        return std::nullopt;
    if (code < 0x100)
        return std::string(1, static_cast<char>(code));
    return std::string{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
}

// Where the program knowingly writes other bytes than iconv: the forms that input methods type
// as JIS X 0208's mapping take the code page's form of the same character, not iconv's
// best fit into ASCII (the yen sign is not the backslash byte) and not "?".
const std::map<char32_t, std::string> kOwnForms = {
    {0x00A5, "\x81\x8F"}, // ¥ as ￥ (iconv: 5C)
    {0x203E, "\x81\x50"}, // ‾ as ￣ (iconv: 7E)
    {0x00A6, "\xFA\x55"}, // ¦ as ￤ (iconv: none)
};

TEST(Cp932Encoding, EveryCodePointAsWindowsWritesIt) {
    test::Iconv windows("CP932", "UTF-32LE");
    int compared = 0, doubleByte = 0, wrong = 0;
    for (char32_t c = 1; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        std::optional<std::string> expected = windows(test::utf32le(c));
        if (expected && expected->empty()) // the language tags, which iconv drops
            expected.reset();
        if (const auto own = kOwnForms.find(c); own != kOwnForms.end())
            expected = own->second;
        const std::optional<std::string> ours = ourBytes(c);
        ++compared;
        doubleByte += expected && expected->size() == 2;
        if (ours != expected && ++wrong <= 20)
            ADD_FAILURE() << "U+" << std::hex << static_cast<unsigned>(c) << " " << utf8(c)
                          << ": ours " << (ours ? hex(*ours) : "none") << ", Windows "
                          << (expected ? hex(*expected) : "none");
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(compared, 0x10FFFF - 0x800);
    // JIS X 0208 (6879), NEC row 13 (74 of its own), the IBM extension (373 of its own), the
    // user-defined area (1880) and the ten folded forms; the NEC-selected copies add none.
    EXPECT_EQ(doubleByte, 6879 + 74 + 373 + 1880 + 10);
}

// Decoding reads every code, the NEC-selected copies and the second codes included, as iconv
// does; where iconv refuses a byte or a pair, the text reads on with U+FFFD in its place.
TEST(Cp932Decoding, EveryByteAndPairAsIconvReadsIt) {
    test::Iconv windows("UTF-8", "CP932");
    int wrong = 0;
    for (int first = 0; first <= 0xFF; ++first)
        for (int second = 0; second <= 0xFF; ++second) {
            const std::string in{static_cast<char>(first), static_cast<char>(second)};
            const std::optional<std::string> expected = windows(in);
            std::string strict;
            const bool read = sjisToUtf8Strict(in, strict);
            const std::string lenient = sjisToUtf8(in);
            const bool ok = expected ? read && strict == *expected && lenient == *expected
                                     : !read && lenient.find("\xEF\xBF\xBD") != std::string::npos;
            if (!ok && ++wrong <= 20)
                ADD_FAILURE() << hex(in) << ": ours " << hex(lenient) << (read ? "" : " (refused)")
                              << ", iconv " << (expected ? hex(*expected) : "refuses");
        }
    EXPECT_EQ(wrong, 0);
}

// The characters the code page holds twice or three times, and the folded forms.
struct CodeCase {
    const char* name;
    std::string utf8;
    std::string written;
    std::string alsoRead; // another code of the same characters, "" when there is none
};

class Cp932Codes : public ::testing::TestWithParam<CodeCase> {};

TEST_P(Cp932Codes, WrittenAsWindowsAndEveryCodeRead) {
    const CodeCase& c = GetParam();
    EXPECT_EQ(hex(utf8ToSjis(c.utf8)), hex(c.written));
    EXPECT_EQ(sjisToUtf8(c.written), c.utf8);
    if (!c.alsoRead.empty()) {
        EXPECT_EQ(sjisToUtf8(c.alsoRead), c.utf8);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Cp932Codes,
    ::testing::Values(
        CodeCase{"JisX0208BeforeRow13AndIbm", "∵∵", "\x81\xE6\x81\xE6", "\x87\x9A\xFA\x5B"},
        CodeCase{"JisX0208BeforeNecSelectedAndIbm", "￢￢", "\x81\xCA\x81\xCA", "\xEE\xF9\xFA\x54"},
        CodeCase{"Row13BeforeIbm", "Ⅰ", "\x87\x54", "\xFA\x4A"},
        CodeCase{"IbmBeforeNecSelected", "ⅰⅹ", "\xFA\x40\xFA\x49", "\xEE\xEF\xEE\xF8"},
        CodeCase{"IbmKanji", "髙﨑", "\xFB\xFC\xFA\xB1", "\xEE\xE0\xED\x95"},
        CodeCase{"IbmSymbols", "＂＇￤", "\xFA\x57\xFA\x56\xFA\x55", "\xEE\xFC\xEE\xFB\xEE\xFA"},
        CodeCase{"FirstAndLastIbmCodes", "纊黑", "\xFA\x5C\xFC\x4B", "\xED\x40\xEE\xEC"},
        CodeCase{"UserDefinedArea", "\uE000\uE757", "\xF0\x40\xF9\xFC", ""},
        CodeCase{"OneByteForms", "a\\~ｱﾟ", "a\\~\xB1\xDF", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// The input methods' forms of JIS X 0208 characters take the code page's form; the not sign,
// the broken bar and the others that the code page has twice take its Windows code.
TEST(Cp932Encoding, FoldedFormsTakeTheWindowsCodeOfTheirCharacter) {
    EXPECT_EQ(hex(utf8ToSjis("〜‖−¢£¬—¦¥‾")), hex("\x81\x60\x81\x61\x81\x7C\x81\x91\x81\x92"
                                                  "\x81\xCA\x81\x5C\xFA\x55\x81\x8F\x81\x50"));
    EXPECT_EQ(cp932Form(U'〜'), U'～');
    EXPECT_EQ(cp932Form(U'～'), U'～');
    EXPECT_EQ(cp932Form(U'髙'), U'髙');
}

TEST(Cp932Table, MatchesItsGenerator) {
    const std::string root = std::string(ZP_TEST_SCRIPTS) + "/../..";
    std::string generated;
    ASSERT_TRUE(test::runCommand(std::string(ZP_SYSTEM_PYTHON) + " '" + root +
                                     "/text/tools/gen_cp932_table.py'",
                                 &generated));
    EXPECT_TRUE(generated == test::readText(root + "/text/cp932table.cpp"))
        << "text/cp932table.cpp is not what text/tools/gen_cp932_table.py makes";
}

} // namespace
} // namespace zp
