// Arbitrary bytes in every text the user can type or a file name can hold: the encoders and
// the writer keep their promises and never crash.
#include "mail/headerencode.h"
#include "mail/jis.h"
#include "mail/messagewriter.h"

#include "mail_text_support.h"
#include "support/rows.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace zp {
namespace {

using zp::test::PrintTo;

struct Noise {
    unsigned seed;
    std::size_t length;
    int lowest; // smallest byte value drawn
};

std::string noise(const Noise& n, unsigned salt = 0) {
    std::mt19937 rng(n.seed * 7919u + salt);
    std::uniform_int_distribution<int> byte(n.lowest, 255);
    std::string s;
    for (std::size_t i = 0; i < n.length; ++i)
        s += static_cast<char>(byte(rng));
    return s;
}

std::size_t count(const std::string& s, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t i = s.find(what); i != std::string::npos; i = s.find(what, i + 1))
        ++n;
    return n;
}

class ArbitraryBytes : public ::testing::TestWithParam<Noise> {};

TEST_P(ArbitraryBytes, ToIso2022jpIsSevenBitAndStable) {
    const std::string out = toIso2022jp(noise(GetParam()));
    EXPECT_TRUE(isSevenBit(out));
    EXPECT_EQ(toIso2022jp(out), out);
}

// Text made of whole Shift-JIS characters, as the edit controls give it: ASCII, half-width
// katakana and double-byte characters of every row that has them (the user-defined area
// aside). Left out: the lone voiced marks and the few symbols that JIS and code page 932 give
// different Unicode code points.
std::string sjisCharacters(const Noise& n) {
    static const std::set<std::string> kVariants = {"\x81\x5C", "\x81\x60", "\x81\x61", "\x81\x7C",
                                                    "\x81\x91", "\x81\x92", "\x81\xCA"};
    std::mt19937 rng(n.seed);
    std::uniform_int_distribution<int> kind(0, 2), ascii(0x20, 0x7E), kana(0xA1, 0xDD);
    std::uniform_int_distribution<int> lead(0x81, 0xFC), trail(0x40, 0xFC);
    std::string s;
    while (s.size() < n.length) {
        const int k = kind(rng);
        if (k == 0) {
            s += static_cast<char>(ascii(rng));
        } else if (k == 1) {
            s += static_cast<char>(kana(rng));
        } else {
            const std::string ch = {static_cast<char>(lead(rng)), static_cast<char>(trail(rng))};
            const auto l = static_cast<unsigned char>(ch[0]);
            if (!isSjisLeadByte(l) || (l >= 0xF0 && l <= 0xF9) || kVariants.count(ch))
                continue;
            try {
                test::iconvText(ch, "UTF-8", "CP932");
                s += ch;
            } catch (const std::runtime_error&) {
            }
        }
    }
    return s;
}

TEST_P(ArbitraryBytes, NodeReadsMixedText) {
    const std::string in = sjisCharacters(GetParam());
    if (in.empty())
        return;
    const std::string out = sjisToJis(in);
    EXPECT_EQ(count(out, "\x1b$B"), count(out, "\x1b(B"));
    EXPECT_EQ(test::nodeDecode(test::nodeDecode(out), "nfkc"),
              test::nodeDecode(test::iconvText(in, "UTF-8", "CP932"), "nfkc"));
}

TEST_P(ArbitraryBytes, HeaderLinesStayHeaderLines) {
    HeaderList h;
    const std::string value = noise(GetParam());
    h.setValue("Subject", encodeHeaderValue(value, ""));
    h.setValue("X-Raw", value);
    for (const std::string& line : h.lines()) {
        EXPECT_FALSE(line.empty());
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
    }
    for (const std::string& line : h.lines()) {
        if (line[0] != ' ' && line[0] != '\t') {
            EXPECT_TRUE(line.rfind("Subject:", 0) == 0 || line.rfind("X-Raw:", 0) == 0)
                << test::hex(line);
        }
    }
}

TEST_P(ArbitraryBytes, EncodedWordsWithin75) {
    const std::string value = encodeHeaderValue(noise(GetParam()), std::string(kRfc822Specials));
    for (std::size_t at = value.find("=?"); at != std::string::npos;
         at = value.find("=?", at + 2)) {
        const std::size_t end = value.find("?=", at + 16);
        ASSERT_NE(end, std::string::npos);
        EXPECT_LE(end + 2 - at, 75u);
        at = end;
    }
}

TEST_P(ArbitraryBytes, WrittenMessageIsTransmittable) {
    MailMessage m;
    m.From.setText(noise(GetParam(), 1));
    m.From.Name = encodeHeaderText(sjisToJis(noise(GetParam(), 2)));
    m.Recipients.setText(noise(GetParam(), 3));
    m.ReplyTo.setText(noise(GetParam(), 4));
    m.Subject = encodeHeaderText(sjisToJis(noise(GetParam(), 5)));
    m.Body = {noise(GetParam(), 6), "." + noise(GetParam(), 7)};
    m.ExtraHeaders.setValue("X-Mailer", noise(GetParam(), 8));
    bool inHeader = true;
    writeMessage(m, [&](std::string_view line) {
        EXPECT_EQ(line.find_first_of("\r\n"), std::string_view::npos);
        EXPECT_NE(line, ".");
        if (line.empty())
            inHeader = false;
    });
    EXPECT_FALSE(inHeader);
}

INSTANTIATE_TEST_SUITE_P(Seeds, ArbitraryBytes,
                         ::testing::Values(Noise{1, 0, 0}, Noise{2, 1, 0x80}, Noise{3, 2, 0xF0},
                                           Noise{4, 50, 0}, Noise{5, 200, 0}, Noise{6, 200, 0x20},
                                           Noise{7, 1000, 0x80}, Noise{8, 5000, 0},
                                           Noise{9, 300, 0x81}, Noise{10, 77, 0x09}));

} // namespace
} // namespace zp
