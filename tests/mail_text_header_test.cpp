// Header side of the message writer: encoded words, folding, the header list, addresses and
// the Date value.
#include "mail/base64.h"
#include "mail/jis.h"
#include "mail/messagewriter.h"
#include "mail_text_support.h"
#include "support/rows.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace zp {
namespace {

#ifdef _WIN32
// The C runtime's way of changing the environment.
int setenv(const char* name, const char* value, int) {
    return _putenv_s(name, value);
}
int unsetenv(const char* name) {
    return _putenv_s(name, "");
}
#endif

using zp::test::PrintTo;

using test::bytesOf;
using test::sjis;

const MailCharset kJapanese = mailCharsetForLanguage(0x11, 1);
const MailCharset kBig5 = mailCharsetForLanguage(0x04, 1);
const MailCharset kLatin = mailCharsetForLanguage(0x09, 1);

// Splits a folded header value at CR LF TAB.
std::vector<std::string> encodedWords(const std::string& value) {
    std::vector<std::string> words;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = value.find("\r\n\t", start);
        words.push_back(value.substr(start, end - start));
        if (end == std::string::npos)
            return words;
        start = end + 3;
    }
}

struct ValueCase {
    const char* what;
    std::string text;
    std::string specials;
    MailCharset charset;
    std::string expected;
};

class EncodeHeaderValue : public ::testing::TestWithParam<ValueCase> {};

TEST_P(EncodeHeaderValue, Encodes) {
    const ValueCase& c = GetParam();
    EXPECT_EQ(encodeHeaderValue(c.text, c.specials, c.charset), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, EncodeHeaderValue,
    ::testing::Values(
        ValueCase{"printable ascii unchanged", "Hello  world ", "", kJapanese, "Hello  world "},
        ValueCase{"ISO-2022-JP word between ascii words", "a " + sjisToJis(sjis("写真")) + " b", "",
                  kJapanese, "a =?ISO-2022-JP?B?GyRCPEw/PxsoQg==?= b"},
        ValueCase{"Shift-JIS is converted first", sjis("写真"), "", kJapanese,
                  "=?ISO-2022-JP?B?GyRCPEw/PxsoQg==?="},
        ValueCase{"adjacent words join one run with their space",
                  sjisToJis(sjis("写")) + " " + sjisToJis(sjis("真")), "", kJapanese,
                  "=?ISO-2022-JP?B?GyRCPEwbKEIgGyRCPz8bKEI=?="},
        ValueCase{"a special character needs encoding", "a.b c", std::string(kRfc822Specials),
                  kJapanese, "=?ISO-2022-JP?B?YS5i?= c"},
        ValueCase{"Q: 8-bit, ?, =, _ and the space inside a run", "caf\xE9? \xE8=_ ok", "", kLatin,
                  "=?ISO-8859-1?Q?caf=E9=3F_=E8=3D=5F?= ok"},
        ValueCase{"Q: control byte", "a\x01", "", kLatin, "=?ISO-8859-1?Q?a=01?="},
        ValueCase{"unconverted charset keeps 8-bit bytes", "\xB1\xB2", "", kBig5,
                  "=?Big5?B?sbI=?="}),
    [](const auto& info) { return "row" + std::to_string(info.index); });

struct LengthCase {
    const char* what;
    std::string text;
    MailCharset charset;
    std::vector<std::size_t> lengths;
};

class EncodedWordLength : public ::testing::TestWithParam<LengthCase> {};

TEST_P(EncodedWordLength, StaysWithin75) {
    const LengthCase& c = GetParam();
    std::vector<std::size_t> lengths;
    for (const std::string& word : encodedWords(encodeHeaderValue(c.text, "", c.charset)))
        lengths.push_back(word.size());
    EXPECT_EQ(lengths, c.lengths) << c.what;
}

std::string kanji(int count) {
    std::string s;
    for (int i = 0; i < count; ++i)
        s += "漢";
    return sjisToJis(sjis(s));
}

INSTANTIATE_TEST_SUITE_P(
    Table, EncodedWordLength,
    ::testing::Values(
        // ESC $ B + 18 kanji + ESC ( B = 42 bytes: one word of exactly 74 characters.
        LengthCase{"42 bytes", kanji(18), kJapanese, {74}},
        LengthCase{"43 bytes", kanji(18) + "\x01", kJapanese, {74, 22}},
        // 39 kanji: 18 + 18 + 3, every word opening and closing its double-byte run.
        LengthCase{"39 kanji", kanji(39), kJapanese, {74, 74, 34}},
        // "=?Big5?B?" leaves room for 64 base64 characters: exactly 75.
        LengthCase{"Big5 48 bytes", std::string(48, '\xB1'), kBig5, {75}},
        LengthCase{"Big5 49 bytes", std::string(49, '\xB1'), kBig5, {75, 15}},
        LengthCase{"Q exactly 75", "\xE9" + std::string(55, 'x'), kLatin, {75}},
        LengthCase{"Q one more", "\xE9" + std::string(56, 'x'), kLatin, {75, 18}},
        LengthCase{
            "Q escape never split", "\xE9" + std::string(54, 'x') + "\xE9", kLatin, {74, 20}}),
    [](const auto& info) { return "row" + std::to_string(info.index); });

// Every encoded word holds whole characters and ends in ASCII (RFC 2047 5), so a strict
// reader decodes each word on its own; a word that starts inside a double-byte run opens
// it again.
struct CutCase {
    const char* what;
    std::string text;                // UTF-8
    std::vector<std::string> pieces; // UTF-8, one per encoded word
    std::size_t column = 0;          // where the value starts on its line
};

class WholeCharacters : public ::testing::TestWithParam<CutCase> {};

TEST_P(WholeCharacters, EachWordDecodesAlone) {
    const CutCase& c = GetParam();
    std::string expected;
    for (const std::string& piece : c.pieces)
        expected += (expected.empty() ? "" : "\r\n\t") + std::string("=?ISO-2022-JP?B?") +
                    base64Encode(sjisToJis(sjis(piece))) + "?=";
    const std::string value = encodeHeaderValue(sjisToJis(sjis(c.text)), "", kJapanese, c.column);
    EXPECT_EQ(value, expected) << c.what;
    const std::vector<std::string> words = encodedWords(value);
    ASSERT_EQ(words.size(), c.pieces.size()) << c.what;
    for (std::size_t i = 0; i < words.size(); ++i) {
        // A word that cannot fit beside what precedes it goes onto a line of its own.
        EXPECT_LE(words[i].size() + (i == 0 && c.column < 40 ? c.column : 1), 76u);
        EXPECT_EQ(test::nodeDecode(words[i], "header"), c.pieces[i]) << c.what << " word " << i;
    }
}

std::string kanjiUtf8(int count, const std::string& after = "") {
    std::string s;
    for (int i = 0; i < count; ++i)
        s += "漢";
    return s + after;
}

INSTANTIATE_TEST_SUITE_P(
    Table, WholeCharacters,
    ::testing::Values(
        CutCase{"18 kanji fill a word", kanjiUtf8(18, "a"), {kanjiUtf8(18), "a"}},
        CutCase{"19 kanji: cut between characters",
                kanjiUtf8(19, "a"),
                {kanjiUtf8(18), kanjiUtf8(1, "a")}},
        CutCase{"20 kanji", kanjiUtf8(20, "a"), {kanjiUtf8(18), kanjiUtf8(2, "a")}},
        CutCase{"ASCII first shifts the cut",
                "x" + kanjiUtf8(18, "a"),
                {"x" + kanjiUtf8(17), kanjiUtf8(1, "a")}},
        CutCase{"no room left for a kanji and its escapes",
                std::string(40, 'x') + "漢a",
                {std::string(40, 'x'), "漢a"}},
        CutCase{
            "60 kanji", kanjiUtf8(60), {kanjiUtf8(18), kanjiUtf8(18), kanjiUtf8(18), kanjiUtf8(6)}},
        // "Subject: " leaves 67 characters: 48 base64 characters, 15 kanji.
        CutCase{"after the field name", kanjiUtf8(19), {kanjiUtf8(15), kanjiUtf8(4)}, 9},
        CutCase{
            "no room at all: the usual length", kanjiUtf8(19), {kanjiUtf8(18), kanjiUtf8(1)}, 50}),
    [](const auto& info) { return "row" + std::to_string(info.index); });

struct FoldCase {
    const char* what;
    std::string line;
    std::vector<std::string> expected;
};

class FoldHeaderLine : public ::testing::TestWithParam<FoldCase> {};

TEST_P(FoldHeaderLine, Folds) {
    const FoldCase& c = GetParam();
    EXPECT_EQ(foldHeaderLine(c.line), c.expected) << c.what;
}

std::string repeated(const std::string& piece, int count, const std::string& sep = " ") {
    std::string out;
    for (int i = 0; i < count; ++i)
        out += (i ? sep : "") + piece;
    return out;
}

const std::string kWord = "aaaaaaaaa";

INSTANTIATE_TEST_SUITE_P(
    Table, FoldHeaderLine,
    ::testing::Values(
        FoldCase{"short", "Subject: hello", {"Subject: hello"}},
        FoldCase{"trailing blanks go", "X: a  \t", {"X: a"}},
        FoldCase{"at the last blank before 78",
                 "X: " + repeated(kWord, 10),
                 {"X: " + repeated(kWord, 7), " " + repeated(kWord, 3)}},
        FoldCase{"77 characters stay",
                 "X: " + repeated(kWord, 7) + " abcd",
                 {"X: " + repeated(kWord, 7) + " abcd"}},
        // The field name keeps the first word of its value on its line.
        FoldCase{"no break point after the limit: stays long",
                 "X: " + std::string(100, 'a'),
                 {"X: " + std::string(100, 'a')}},
        FoldCase{
            "no break point at all", "X:" + std::string(100, 'a'), {"X:" + std::string(100, 'a')}},
        FoldCase{"the next break point after the limit",
                 "X: " + std::string(100, 'a') + " b c",
                 {"X: " + std::string(100, 'a'), " b c"}},
        FoldCase{"one character left stays joined",
                 "X: " + std::string(100, 'a') + " b",
                 {"X: " + std::string(100, 'a') + " b"}},
        FoldCase{"existing fold kept", "X: a\r\n\tb", {"X: a", "\tb"}},
        FoldCase{"never inside quotes",
                 "To: \"" + repeated("x", 45) + "\" <a@b>",
                 {"To: \"" + repeated("x", 45) + "\"", " <a@b>"}},
        // 表 is 95 5C: its second byte is no backslash escaping the closing quote.
        FoldCase{"double-byte character read whole",
                 "X: \"" + sjis("表") + "\" " + repeated("bb", 30),
                 {"X: \"" + sjis("表") + "\" " + repeated("bb", 23), " " + repeated("bb", 7)}},
        FoldCase{"double-byte text without blanks never split",
                 "X:" + repeated(sjis("漢"), 60, ""),
                 {"X:" + repeated(sjis("漢"), 60, "")}}),
    [](const auto& info) { return "row" + std::to_string(info.index); });

TEST(HeaderList, SetReplacesInPlaceAndRemoves) {
    HeaderList h;
    h.setValue("From", "a@b");
    h.setValue("Subject", "x");
    h.addLine("X-Long: " + repeated(kWord, 10));
    h.setValue("To", "c@d");
    ASSERT_EQ(h.lines().size(), 5u);
    EXPECT_EQ(h.value("x-long"), repeated(kWord, 10));

    h.setValue("x-LONG", "short");
    EXPECT_EQ(h.lines(),
              (std::vector<std::string>{"From: a@b", "Subject: x", "x-LONG: short", "To: c@d"}));
    h.setValue("SUBJECT", "");
    EXPECT_EQ(h.lines(), (std::vector<std::string>{"From: a@b", "x-LONG: short", "To: c@d"}));
    EXPECT_FALSE(h.contains("Subject"));
    EXPECT_EQ(h.value("Subject"), "");
}

TEST(HeaderList, ValueCannotAddHeaderLines) {
    HeaderList h;
    h.setValue("Subject", "a\r\nBcc: x@y\nX: z");
    EXPECT_EQ(h.lines(), std::vector<std::string>{"Subject: a  Bcc: x@y X: z"});
}

struct ItemCase {
    std::string text;
    std::string address;
    std::string name;
};

class AddressItemText : public ::testing::TestWithParam<ItemCase> {};

TEST_P(AddressItemText, Parses) {
    MailAddressItem item;
    item.setText(GetParam().text);
    EXPECT_EQ(item.Address, GetParam().address) << GetParam().text;
    EXPECT_EQ(item.Name, GetParam().name) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, AddressItemText,
    ::testing::Values(ItemCase{"a@b.jp", "a@b.jp", ""}, ItemCase{"  a@b.jp \t", "a@b.jp", ""},
                      ItemCase{"Taro <a@b.jp>", "a@b.jp", "Taro"},
                      ItemCase{"\"Yamada, Taro\" < a@b.jp >", "a@b.jp", "Yamada, Taro"},
                      ItemCase{"'Taro' <a@b.jp>", "a@b.jp", "Taro"},
                      ItemCase{"\"\"\"Taro\"\"\" <a@b.jp>", "a@b.jp", "Taro"},
                      ItemCase{"\" <a@b.jp>", "a@b.jp", "\""},
                      ItemCase{"a@b.jp (Taro)", "a@b.jp", "Taro"},
                      ItemCase{"<a@b.jp>", "a@b.jp", ""}, ItemCase{"a@b.jp>", "a@b.jp>", ""},
                      ItemCase{sjis("山田 <a@b.jp>"), "a@b.jp", sjis("山田")}));

struct ListCase {
    std::string text;
    std::vector<std::string> addresses;
};

class AddressListText : public ::testing::TestWithParam<ListCase> {};

TEST_P(AddressListText, Splits) {
    MailAddressList list;
    list.add({"old@x", ""});
    list.setText(GetParam().text);
    std::vector<std::string> addresses;
    for (const MailAddressItem& item : list)
        addresses.push_back(item.Address);
    EXPECT_EQ(addresses, GetParam().addresses) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Table, AddressListText,
                         ::testing::Values(ListCase{"", {}}, ListCase{"a@b, ", {"a@b"}},
                                           ListCase{"a@b, c@d", {"a@b", "c@d"}},
                                           ListCase{" , a@b,, c@d ,", {"a@b", "c@d"}},
                                           ListCase{"\"Y, T\" <a@b>, c@d", {"a@b", "c@d"}},
                                           ListCase{"\"x\" \"Y, T\" <a@b>", {"\"x\" \"Y", "a@b"}}));

TEST(MailAddressItem, TextLeavesOutAnUpperCasedAddressAsName) {
    EXPECT_EQ((MailAddressItem{"a@b.jp", ""}).Text(), "a@b.jp");
    EXPECT_EQ((MailAddressItem{"a@b.jp", "A@B.JP"}).Text(), "a@b.jp");
    EXPECT_EQ((MailAddressItem{"a@b.jp", "Taro"}).Text(), "Taro <a@b.jp>");
}

struct FormatCase {
    const char* what;
    MailAddressItem item;
    std::string expected;
};

class FormatAddress : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatAddress, Formats) {
    EXPECT_EQ(formatAddress(GetParam().item), GetParam().expected) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, FormatAddress,
    ::testing::Values(FormatCase{"address alone", {"a@b", ""}, "a@b"},
                      FormatCase{"ascii name quoted", {"a@b", "Taro Y."}, "\"Taro Y.\" <a@b>"},
                      FormatCase{
                          "quote and backslash escaped", {"a@b", "T\"a\\"}, "\"T\\\"a\\\\\" <a@b>"},
                      FormatCase{"encoded word quoted as it is",
                                 {"a@b", "=?ISO-2022-JP?B?sQ==?="},
                                 "\"=?ISO-2022-JP?B?sQ==?=\" <a@b>"},
                      FormatCase{"ISO-2022-JP name encoded",
                                 {"a@b", sjisToJis(sjis("写真"))},
                                 "=?ISO-2022-JP?B?GyRCPEw/PxsoQg==?= <a@b>"},
                      FormatCase{"specials join the run",
                                 {"a@b", sjisToJis(sjis("写真")) + " Y. Taro"},
                                 "=?ISO-2022-JP?B?GyRCPEw/PxsoQiBZLg==?= Taro <a@b>"}),
    [](const auto& info) { return "row" + std::to_string(info.index); });

TEST(FormatAddressList, JoinsWithComma) {
    MailAddressList list;
    list.setText("Taro <a@b>, c@d");
    EXPECT_EQ(formatAddressList(list), "\"Taro\" <a@b>, c@d");
}

struct DateCase {
    const char* tz;
    std::time_t utc;
    std::string expected;
};

class InternetDate : public ::testing::TestWithParam<DateCase> {
protected:
    void SetUp() override {
        const char* old = std::getenv("TZ");
        m_hadTz = old != nullptr;
        if (m_hadTz)
            m_oldTz = old;
    }
    void TearDown() override {
        if (m_hadTz)
            setenv("TZ", m_oldTz.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool m_hadTz = false;
    std::string m_oldTz;
};

TEST_P(InternetDate, LocalTimeWithOffset) {
    setenv("TZ", GetParam().tz, 1);
    tzset();
    EXPECT_EQ(internetDate(GetParam().utc), GetParam().expected) << GetParam().tz;
}

INSTANTIATE_TEST_SUITE_P(
    Table, InternetDate,
    ::testing::Values(
        DateCase{"JST-9", 1796547540, "Sun, 6 Dec 2026 17:59:00 +0900"},
        DateCase{"UTC0", 1796547540, "Sun, 6 Dec 2026 08:59:00 +0000"},
        DateCase{"EST5EDT,M3.2.0,M11.1.0", 1782907200, "Wed, 1 Jul 2026 08:00:00 -0400"},
        DateCase{"EST5EDT,M3.2.0,M11.1.0", 1767268800, "Thu, 1 Jan 2026 07:00:00 -0500"},
        DateCase{"<+0530>-5:30", 946684800, "Sat, 1 Jan 2000 05:30:00 +0530"},
        DateCase{"<-0330>3:30", 951782400, "Mon, 28 Feb 2000 20:30:00 -0330"}));

TEST(MailCharsetForSystem, JapaneseRow) {
    const MailCharset cs = mailCharsetForSystem();
    EXPECT_EQ(cs.charset, "ISO-2022-JP");
    EXPECT_EQ(cs.encoding, 'B');
    EXPECT_TRUE(cs.convertToJis);
    EXPECT_EQ(mailCharsetForLanguage(0x04, 2).charset, "GB2312");
    EXPECT_EQ(mailCharsetForLanguage(0x12, 1).charset, "EUC-KR");
}

} // namespace
} // namespace zp
