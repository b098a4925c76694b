// Shift-JIS to ISO-2022-JP conversion and the encoded-word step for header texts.
#include "mail/headerencode.h"
#include "mail/jis.h"
#include "mail_text_support.h"
#include "support/rows.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

namespace zp {
namespace {

using zp::test::PrintTo;

using test::bytesOf;
using test::hex;
using test::sjis;

const std::string ESC_B = "\x1b$B";
const std::string ESC_A = "\x1b(B";

struct Conversion {
    const char* what;
    std::string input; // Shift-JIS
    std::string expected;
};

class SjisToJis : public ::testing::TestWithParam<Conversion> {};

TEST_P(SjisToJis, Converts) {
    const Conversion& c = GetParam();
    EXPECT_EQ(hex(sjisToJis(c.input)), hex(c.expected)) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, SjisToJis,
    ::testing::Values(
        Conversion{"empty", "", ""}, Conversion{"ascii unchanged", "abc", "abc"},
        Conversion{"kanji", sjis("写真"), ESC_B + bytesOf({0x3C, 0x4C, 0x3F, 0x3F}) + ESC_A},
        Conversion{"a, あ, b", sjis("aあb"), "a" + ESC_B + bytesOf({0x24, 0x22}) + ESC_A + "b"},
        Conversion{"half-width ｱ becomes full-width", sjis("ｱ"),
                   ESC_B + bytesOf({0x25, 0x22}) + ESC_A},
        Conversion{"voiced and semi-voiced marks merge", sjis("ｶﾞﾊﾟｳﾞ"),
                   ESC_B + bytesOf({0x25, 0x2C, 0x25, 0x51, 0x25, 0x74}) + ESC_A},
        Conversion{"a mark without voiced form stays a mark", sjis("ｱﾞﾅﾟ"),
                   ESC_B + bytesOf({0x25, 0x22, 0x21, 0x2B, 0x25, 0x4A, 0x21, 0x2C}) + ESC_A},
        Conversion{"two runs around one ascii", sjis("あ-い"),
                   ESC_B + bytesOf({0x24, 0x22}) + ESC_A + "-" + ESC_B + bytesOf({0x24, 0x24}) +
                       ESC_A},
        Conversion{"run closed before CR LF", sjis("あ\r\nb"),
                   ESC_B + bytesOf({0x24, 0x22}) + ESC_A + "\r\nb"},
        Conversion{"IBM extension 髙 as NEC-selected", bytesOf({0xFB, 0xFC}),
                   ESC_B + bytesOf({0x7C, 0x62}) + ESC_A},
        Conversion{"IBM extension ￢ as row 2", bytesOf({0xFA, 0x54}),
                   ESC_B + bytesOf({0x22, 0x4C}) + ESC_A},
        Conversion{"IBM extension ∵ as row 2", bytesOf({0xFA, 0x5B}),
                   ESC_B + bytesOf({0x22, 0x68}) + ESC_A},
        Conversion{"IBM extension ㈱ as row 13", bytesOf({0xFA, 0x58}),
                   ESC_B + bytesOf({0x2D, 0x6A}) + ESC_A},
        Conversion{"NEC row 13 ① by arithmetic", bytesOf({0x87, 0x40}),
                   ESC_B + bytesOf({0x2D, 0x21}) + ESC_A},
        Conversion{"lead byte pairs with a CR and consumes it", bytesOf({0x82, 0x0D, 'x'}),
                   ESC_B + bytesOf({0x23, 0xEE}) + ESC_A + "x"},
        Conversion{"lead byte at the very end is dropped", bytesOf({'a', 0x82}), "a"},
        Conversion{"user-defined area by arithmetic", bytesOf({0xF0, 0x40}),
                   ESC_B + bytesOf({0x7F, 0x21}) + ESC_A}),
    [](const auto& info) { return "row" + std::to_string(info.index); });

class ToIso2022jp : public ::testing::TestWithParam<Conversion> {};

TEST_P(ToIso2022jp, Converts) {
    const Conversion& c = GetParam();
    EXPECT_EQ(hex(toIso2022jp(c.input)), hex(c.expected)) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ToIso2022jp,
    ::testing::Values(
        Conversion{"empty", "", ""},
        Conversion{"already ISO-2022-JP passes unchanged",
                   ESC_B + bytesOf({0x3C, 0x4C}) + ESC_A + "x",
                   ESC_B + bytesOf({0x3C, 0x4C}) + ESC_A + "x"},
        Conversion{"kanji", sjis("写真"), ESC_B + bytesOf({0x3C, 0x4C, 0x3F, 0x3F}) + ESC_A},
        Conversion{"0x80, 0xA0 and 0xFD-0xFF are dropped",
                   bytesOf({'a', 0x80, 0xA0, 0xFD, 0xFE, 0xFF, 'b'}), "ab"},
        Conversion{"user-defined characters are dropped",
                   bytesOf({'a', 0xF0, 0x40, 0xF9, 0xFC, 'b'}), "ab"},
        Conversion{"IBM extension 髙 is kept", bytesOf({0xFB, 0xFC}),
                   ESC_B + bytesOf({0x7C, 0x62}) + ESC_A},
        Conversion{"IBM extension without a character is dropped", bytesOf({0xFC, 0x4C, 'z'}), "z"},
        Conversion{"lead byte with an invalid trail byte: both dropped", bytesOf({0x82, 0x0D, 'x'}),
                   "x"},
        Conversion{"lead byte at the end", bytesOf({'x', 0x82}), "x"},
        Conversion{"half-width kana with marks", sjis("ﾎﾟﾃﾞ"),
                   ESC_B + bytesOf({0x25, 0x5D, 0x25, 0x47}) + ESC_A}),
    [](const auto& info) { return "row" + std::to_string(info.index); });

struct SevenBit {
    std::string text;
    bool expected;
};

class IsSevenBit : public ::testing::TestWithParam<SevenBit> {};

TEST_P(IsSevenBit, Classifies) {
    EXPECT_EQ(isSevenBit(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, IsSevenBit,
                         ::testing::Values(SevenBit{"", true}, SevenBit{"\x1b$B\r\n\x7f", true},
                                           SevenBit{bytesOf({'a', 0x80}), false},
                                           SevenBit{bytesOf({0xB1}), false}));

struct Encoded {
    std::string text;
    bool noHeaderEncode;
    std::string expected;
};

class EncodeHeaderText : public ::testing::TestWithParam<Encoded> {};

TEST_P(EncodeHeaderText, Encodes) {
    const Encoded& e = GetParam();
    EXPECT_EQ(encodeHeaderText(e.text, e.noHeaderEncode), e.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, EncodeHeaderText,
    ::testing::Values(Encoded{"", false, ""}, Encoded{"abc", false, "abc"},
                      Encoded{sjisToJis(sjis("写真")), false, sjisToJis(sjis("写真"))},
                      Encoded{sjisToJis(sjis("ｱ")), false, sjisToJis(sjis("ｱ"))},
                      // 8-bit bytes: one encoded word; 3n, 3n+1, 3n+2 bytes.
                      Encoded{bytesOf({0xB1}), false, "=?ISO-2022-JP?B?sQ==?="},
                      Encoded{bytesOf({0xB1, 0xB2}), false, "=?ISO-2022-JP?B?sbI=?="},
                      Encoded{bytesOf({0xB1, 0xB2, 0xB3}), false, "=?ISO-2022-JP?B?sbKz?="},
                      Encoded{bytesOf({0xB1}), true, bytesOf({0xB1})}));

TEST(MakeEncodedWord, WorkedExamples) {
    EXPECT_EQ(makeEncodedWord("abc"), "=?ISO-2022-JP?B?YWJj?=");
    EXPECT_EQ(makeEncodedWord(sjisToJis(sjis("写真"))), "=?ISO-2022-JP?B?GyRCPEw/PxsoQg==?=");
    EXPECT_EQ(makeEncodedWord(sjisToJis(sjis("aあb"))), "=?ISO-2022-JP?B?YRskQiQiGyhCYg==?=");
    EXPECT_EQ(makeEncodedWord(""), "=?ISO-2022-JP?B?"
                                   "?=");
}

TEST(MakeEncodedWord, LongTextStaysOneWord) {
    const std::string word = makeEncodedWord(std::string(300, '\xB1'));
    EXPECT_EQ(word.size(), 16u + 400u + 2u);
    EXPECT_EQ(word.find('\n'), std::string::npos);
}

// Node's TextDecoder reads our output back as the original text: every character of CP932
// that has a JIS X 0208 position (including NEC row 13, the NEC-selected and the IBM
// extension rows) and the half-width katakana.
std::string allDoubleByteCharacters(int leadFrom, int leadTo, std::string& expectedUtf8) {
    std::string sjisText;
    for (int lead = leadFrom; lead <= leadTo; ++lead) {
        if (!isSjisLeadByte(static_cast<unsigned char>(lead)))
            continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F)
                continue;
            const std::string ch = bytesOf({lead, trail});
            std::string utf8;
            try {
                utf8 = test::iconvText(ch, "UTF-8", "CP932");
            } catch (const std::runtime_error&) {
                continue; // no character at this code
            }
            sjisText += ch + "\n";
            expectedUtf8 += utf8 + "\n";
        }
    }
    return sjisText;
}

// Characters that JIS X 0208 and code page 932 give different Unicode code points: Node's
// decoder follows JIS (and WHATWG), glibc's CP932 follows the code page. Node's, then CP932's.
const std::set<std::string> kUnicodeMappingVariants = {
    "〜～", "‖∥", "−－", "¢￠", "£￡", "¬￢", "—―",
};

struct LeadRange {
    const char* what;
    int from;
    int to;
};

class NodeReadsBack : public ::testing::TestWithParam<LeadRange> {};

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST_P(NodeReadsBack, EveryCharacterOfTheRows) {
    std::string expected;
    const std::string text = allDoubleByteCharacters(GetParam().from, GetParam().to, expected);
    ASSERT_FALSE(text.empty());
    const std::string converted = sjisToJis(text);
    ASSERT_TRUE(isSevenBit(converted));
    const auto got = linesOf(test::nodeDecode(converted));
    const auto want = linesOf(expected);
    ASSERT_EQ(got.size(), want.size()) << GetParam().what;
    int mismatches = 0;
    for (std::size_t i = 0; i < got.size() && mismatches < 10; ++i) {
        if (got[i] != want[i] && kUnicodeMappingVariants.count(got[i] + want[i]) == 0) {
            ADD_FAILURE() << GetParam().what << ": Node reads " << got[i] << " for " << want[i];
            ++mismatches;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, NodeReadsBack,
                         ::testing::Values(LeadRange{"JIS X 0208 rows 1-84", 0x81, 0xEA},
                                           LeadRange{"NEC row 13 alone", 0x87, 0x87},
                                           LeadRange{"NEC-selected IBM rows 89-92", 0xED, 0xEE},
                                           LeadRange{"IBM extension rows", 0xFA, 0xFC}));

TEST(NodeReadsBackHalfWidth, KatakanaBecomeFullWidth) {
    std::string text;
    std::string original;
    for (int c = 0xA1; c <= 0xDD; ++c) {
        text += bytesOf({c, '\n'});
        original += test::iconvText(bytesOf({c}), "UTF-8", "CP932") + "\n";
    }
    const std::string decoded = test::nodeDecode(sjisToJis(text));
    EXPECT_EQ(test::nodeDecode(decoded, "nfkc"), test::nodeDecode(original, "nfkc"));
}

TEST(NodeReadsBackMixed, TheTextOfTheMend) {
    const std::string text =
        sjis("abc 写真①㈱") + bytesOf({0xFA, 0x58, 0xFB, 0xFC}) + sjis(" ｱｶﾞﾊﾟ end\r\n二行目");
    EXPECT_EQ(test::nodeDecode(sjisToJis(text)), "abc 写真①㈱㈱髙 アガパ end\r\n二行目");
    EXPECT_EQ(test::nodeDecode(toIso2022jp(text)), "abc 写真①㈱㈱髙 アガパ end\r\n二行目");
}

} // namespace
} // namespace zp

namespace zp {
namespace {

// The committed tables are what the generator makes from Python's cp932 codec.
TEST(SjisTables, MatchTheirGenerator) {
    const std::string root = std::string(ZP_TEST_SCRIPTS) + "/../..";
    const std::string generated = test::runWithInput(std::string(ZP_SYSTEM_PYTHON) + " '" + root +
                                                         "/mail/tools/gen_sjis_tables.py'",
                                                     "/dev/null");
    EXPECT_TRUE(generated == test::readText(root + "/mail/sjistables.cpp"));
}

} // namespace
} // namespace zp
