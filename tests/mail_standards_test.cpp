// What checking servers and strict readers ask of a message and of the client's greeting:
// one well-formed Message-ID, one MIME-Version, no field whose first line holds only its
// name, and a name for EHLO that is fully qualified or an address literal.
#include "mail/headerencode.h"
#include "mail/hostname.h"
#include "mail/jis.h"
#include "mail/messagewriter.h"
#include "mail_text_support.h"
#include "support/rows.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string_view>
#ifndef _WIN32
#include <unistd.h>
#endif

namespace zp {
namespace {

using zp::test::PrintTo;

using namespace std::chrono_literals;
using test::bodyLines;
using test::sjis;

std::vector<std::string> written(MailMessage& message) {
    std::vector<std::string> lines;
    writeMessage(message, [&](std::string_view line) { lines.emplace_back(line); });
    return lines;
}

// A header field with its physical lines, as a reader groups them.
struct Field {
    std::string name;
    std::vector<std::string> lines;
};

std::vector<Field> headerFields(const std::vector<std::string>& lines) {
    std::vector<Field> fields;
    for (const std::string& line : lines) {
        if (line.empty())
            break;
        if (line[0] == ' ' || line[0] == '\t') {
            if (!fields.empty())
                fields.back().lines.push_back(line);
            continue;
        }
        fields.push_back({line.substr(0, line.find(':')), {line}});
    }
    return fields;
}

std::vector<std::string> valuesOf(const std::vector<Field>& fields, const std::string& name) {
    std::vector<std::string> values;
    for (const Field& f : fields) {
        if (f.name != name)
            continue;
        std::string value = f.lines[0].substr(name.size() + 1);
        for (std::size_t i = 1; i < f.lines.size(); ++i)
            value += f.lines[i];
        values.push_back(value.substr(value.find_first_not_of(" \t")));
    }
    return values;
}

// RFC 5322 3.6.4: "<" dot-atom-text "@" (dot-atom-text / no-fold-literal) ">".
const std::string kAtext = R"([A-Za-z0-9!#$%&'*+/=?^_`{|}~-])";
const std::string kDotAtom = kAtext + "+(\\." + kAtext + "+)*";
const std::regex kMsgId("<" + kDotAtom + "@(" + kDotAtom + R"(|\[[!-Z^-~]*\]))" + ">");

// Kanji in turn, so that the encoded words differ from row to row.
std::string kanji(int count) {
    static const char* const kChars[] = {"写", "真", "送", "信", "確", "認", "東", "京"};
    std::string utf8;
    for (int i = 0; i < count; ++i)
        utf8 += kChars[i % 8];
    return utf8;
}

MailMessage messageFrom(const std::string& senderAddress, bool withAttachment,
                        const std::string& attachmentPath = "/dev/null") {
    MailMessage m;
    m.From.Address = senderAddress;
    m.Recipients.setText("a@example.jp");
    m.Subject = encodeHeaderText(sjisToJis(sjis("写真")));
    m.Body = {sjisToJis(sjis("本文"))};
    m.CharSet = "ISO-2022-JP";
    m.ContentType = "text/plain";
    m.ExtraHeaders.setValue("X-Mailer", "zoripost version 1.0.0.0");
    if (withAttachment)
        m.addAttachment(attachmentPath).setContentType("image/jpeg");
    return m;
}

struct IdentityCase {
    const char* name;
    bool attachment;
    std::string sender;
    std::string domain; // empty: the machine's own name
};

void PrintTo(const IdentityCase& c, std::ostream* os) {
    *os << c.name;
}

class MessageIdentity : public ::testing::TestWithParam<IdentityCase> {};

TEST_P(MessageIdentity, OneMessageIdOneMimeVersion) {
    const IdentityCase& c = GetParam();
    MailMessage m = messageFrom(c.sender, c.attachment);
    const auto fields = headerFields(written(m));
    const auto ids = valuesOf(fields, "Message-ID");
    ASSERT_EQ(ids.size(), 1u);
    EXPECT_TRUE(std::regex_match(ids[0], kMsgId)) << ids[0];
    std::string domain = c.domain;
    if (domain.empty()) {
        domain = fullyQualifiedHostName(kOwnNameWait);
        if (domain.empty())
            domain = "localhost.localdomain";
    }
    EXPECT_EQ(ids[0].substr(ids[0].rfind('@') + 1), domain + ">");
    EXPECT_EQ(valuesOf(fields, "MIME-Version"), std::vector<std::string>{"1.0"});

    std::vector<std::string> names;
    for (const Field& f : fields)
        names.push_back(f.name);
    std::vector<std::string> order = {"From",         "Subject", "To",         "Content-Type",
                                      "MIME-Version", "Date",    "Message-ID", "X-Priority",
                                      "X-Library",    "X-Mailer"};
    if (c.sender.empty())
        order.erase(order.begin()); // an empty value gives no line
    EXPECT_EQ(names, order);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Senders, MessageIdentity, ::testing::Values(
    IdentityCase{"Plain", false, "me@example.jp", "example.jp"},
    IdentityCase{"WithAttachment", true, "me@example.jp", "example.jp"},
    IdentityCase{"SubDomain", false, "me@mail.example.co.jp", "mail.example.co.jp"},
    IdentityCase{"DomainLiteral", false, "me@[192.0.2.1]", "[192.0.2.1]"},
    IdentityCase{"LastAtCounts", true, "\"a@b\"@example.jp", "example.jp"},
    IdentityCase{"NoDomain", false, "me", ""},
    IdentityCase{"EmptyDomain", true, "me@", ""},
    IdentityCase{"EmptySender", false, "", ""},
    IdentityCase{"SpaceInDomain", false, "me@exa mple.jp", ""},
    IdentityCase{"DoubleDot", false, "me@example..jp", ""},
    IdentityCase{"TrailingDot", false, "me@example.jp.", ""},
    IdentityCase{"OpenLiteral", false, "me@[192.0.2.1", ""}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(MessageIdentity, UniqueAcrossMessagesOfOneSecond) {
    std::set<std::string> ids;
    constexpr int kMessages = 2000;
    for (int i = 0; i < kMessages; ++i) {
        MailMessage m = messageFrom("me@example.jp", false);
        ids.insert(GenerateHeader(m).value("Message-ID"));
    }
    EXPECT_EQ(ids.size(), static_cast<std::size_t>(kMessages));
}

// The random part is seeded afresh in every process: two runs of the program within the
// same second (same time part) still write different IDs. The test runs itself twice.
TEST(MessageIdentity, DiffersBetweenTwoFreshProcesses) {
    constexpr const char* kMark = "message-id: ";
    if (std::getenv("ZP_PRINT_MESSAGE_ID")) {
        MailMessage m = messageFrom("me@example.jp", false);
        std::printf("%s%s\n", kMark, GenerateHeader(m).value("Message-ID").c_str());
        return;
    }
    auto idOfAFreshProcess = [&] {
        const std::string command = "ZP_PRINT_MESSAGE_ID=1 /proc/" + std::to_string(::getpid()) +
                                    "/exe --gtest_filter=MessageIdentity.DiffersBetween*";
        std::FILE* out = ::popen(command.c_str(), "r");
        std::string id;
        char line[512];
        while (out && std::fgets(line, sizeof line, out))
            if (std::string_view(line).starts_with(kMark))
                id = std::string(line + std::strlen(kMark));
        EXPECT_TRUE(out && ::pclose(out) == 0);
        return id;
    };
    const std::string first = idOfAFreshProcess();
    const std::string second = idOfAFreshProcess();
    ASSERT_FALSE(first.empty());
    EXPECT_NE(first, second);
}

// Every field's first line carries the start of its value; no line goes beyond the 998
// characters of RFC 5322 2.1.1.
void expectNoBareFieldName(const std::vector<std::string>& lines) {
    for (const Field& f : headerFields(lines)) {
        const std::string& first = f.lines[0];
        EXPECT_NE(first.find_first_not_of(" \t", f.name.size() + 1), std::string::npos)
            << "field with an empty first line: " << first;
        for (const std::string& line : f.lines)
            EXPECT_LE(line.size(), 998u);
    }
}

class KanjiFirstLine : public ::testing::TestWithParam<int> {};

TEST_P(KanjiFirstLine, SubjectAndSenderNameStartOnTheirFieldLine) {
    MailMessage m = messageFrom("me@example.jp", GetParam() % 2 == 0);
    m.Subject = encodeHeaderText(sjisToJis(sjis(kanji(GetParam()))));
    m.From.Name = encodeHeaderText(sjisToJis(sjis(kanji(GetParam()))));
    expectNoBareFieldName(written(m));
}

INSTANTIATE_TEST_SUITE_P(OneToSixty, KanjiFirstLine, ::testing::Range(1, 61));

struct LongWordCase {
    const char* name;
    std::string subject; // UTF-8
    std::string senderName;
    std::string firstLine; // the Subject field's first line
};

void PrintTo(const LongWordCase& c, std::ostream* os) {
    *os << c.name;
}

class LongFirstWord : public ::testing::TestWithParam<LongWordCase> {};

TEST_P(LongFirstWord, StaysOnTheFieldLine) {
    const LongWordCase& c = GetParam();
    MailMessage m = messageFrom("me@example.jp", false);
    m.Subject = encodeHeaderText(sjisToJis(sjis(c.subject)));
    m.From.Name = encodeHeaderText(sjisToJis(sjis(c.senderName)));
    const auto lines = written(m);
    expectNoBareFieldName(lines);
    const auto fields = headerFields(lines);
    const auto subject = std::find_if(fields.begin(), fields.end(),
                                      [](const Field& f) { return f.name == "Subject"; });
    ASSERT_NE(subject, fields.end());
    EXPECT_EQ(subject->lines[0], c.firstLine);
}

const std::string k80(80, 'a');
const std::string kUrl = "https://example.jp/" + std::string(90, 'p') + ".html";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Words, LongFirstWord, ::testing::Values(
    LongWordCase{"AsciiWordOf80", k80, "", "Subject: " + k80},
    LongWordCase{"AsciiWordThenMore", k80 + " tail", "", "Subject: " + k80},
    LongWordCase{"UrlThenKanji", kUrl + " " + kanji(3), "", "Subject: " + kUrl},
    LongWordCase{"QuotedNameOf80", "x", std::string(80, 'b'), "Subject: x"},
    LongWordCase{"NameWithSpaces", "x", "Yamada " + std::string(75, 'c'), "Subject: x"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// The physical lines that foldHeaderLine gives, joined with "|".
struct FoldCase {
    const char* name;
    std::string line;
    std::string folded;
};

void PrintTo(const FoldCase& c, std::ostream* os) {
    *os << c.name;
}

class FoldAfterFirstWord : public ::testing::TestWithParam<FoldCase> {};

TEST_P(FoldAfterFirstWord, Lines) {
    std::string joined;
    for (const std::string& line : foldHeaderLine(GetParam().line))
        joined += (joined.empty() ? "" : "|") + line;
    EXPECT_EQ(joined, GetParam().folded);
}

const std::string k70(70, 'w');

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rows, FoldAfterFirstWord, ::testing::Values(
    FoldCase{"LongWordAlone", "Subject: " + k80, "Subject: " + k80},
    FoldCase{"LongWordThenShort", "Subject: " + k80 + " ab", "Subject: " + k80 + "| ab"},
    FoldCase{"SpacesBeforeLongWord", "Subject:   " + k80 + " ab", "Subject:   " + k80 + "| ab"},
    FoldCase{"ShortWordThenLong", "Subject: ab " + k80, "Subject: ab| " + k80},
    FoldCase{"SecondPieceMayStartAnywhere",
             "Subject: " + k70 + " " + k70 + " " + k70, "Subject: " + k70 + "| " + k70 + "| " + k70},
    FoldCase{"NoColon", "  " + k80 + " ab", "  " + k80 + "| ab"},
    FoldCase{"SpaceInName", "Bad Name: " + k80 + " ab", "Bad Name: " + k80 + "| ab"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

struct DomainCase {
    const char* address;
    const char* domain;
};

class SenderDomain : public ::testing::TestWithParam<DomainCase> {};

TEST_P(SenderDomain, OfAddress) {
    EXPECT_EQ(senderDomain(GetParam().address), GetParam().domain);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Addresses, SenderDomain, ::testing::Values(
    DomainCase{"me@example.jp", "example.jp"}, DomainCase{"me@localhost", "localhost"},
    DomainCase{"me@[IPv6:2001:db8::1]", "[IPv6:2001:db8::1]"}, DomainCase{"me", ""},
    DomainCase{"me@", ""}, DomainCase{"me@.example.jp", ""}, DomainCase{"me@example.jp.", ""},
    DomainCase{"me@exa(mple).jp", ""}, DomainCase{"me@ex\xE4mple.jp", ""},
    DomainCase{"me@[a[b]", ""}, DomainCase{"me@[a\\b]", ""}, DomainCase{"me@[]", ""},
    DomainCase{"me@example.jp>", ""}));
// clang-format on

struct NameCase {
    std::string name;
    bool qualified;
};

class QualifiedName : public ::testing::TestWithParam<NameCase> {};

TEST_P(QualifiedName, Syntax) {
    EXPECT_EQ(isFullyQualifiedName(GetParam().name), GetParam().qualified) << GetParam().name;
}

const std::string k63(63, 'l');

// clang-format off
INSTANTIATE_TEST_SUITE_P(Names, QualifiedName, ::testing::Values(
    NameCase{"vm.example.org", true}, NameCase{"vm.example.org.", true},
    NameCase{"a-1.b2", true}, NameCase{k63 + ".jp", true}, NameCase{"1.2.3.example", true},
    NameCase{"vm", false}, NameCase{"vm.", false}, NameCase{"", false}, NameCase{".", false},
    NameCase{"localhost", false}, NameCase{k63 + "l.jp", false},
    NameCase{"192.0.2.1", false}, NameCase{"-vm.example.org", false},
    NameCase{"vm-.example.org", false}, NameCase{"vm..example.org", false},
    NameCase{".vm.example.org", false}, NameCase{"vm_1.example.org", false},
    NameCase{"vm.example.org..", false}, NameCase{"vm\r\n.example.org", false},
    NameCase{std::string("vm\0.example.org", 15), false}, NameCase{"[192.0.2.1]", false},
    NameCase{std::string(250, 'a') + ".jp", false}, NameCase{std::string(60, 'a') + "." +
        std::string(60, 'b') + "." + std::string(60, 'c') + "." + std::string(60, 'd') + ".jp",
        true}));
// clang-format on

ResolvedAddress addressOf(int family, const char* text) {
    ResolvedAddress a;
    if (family == AF_INET) {
        sockaddr_in v4{};
        v4.sin_family = AF_INET;
        inet_pton(AF_INET, text, &v4.sin_addr);
        std::memcpy(&a.addr, &v4, sizeof v4);
        a.length = sizeof v4;
    } else if (family == AF_INET6) {
        sockaddr_in6 v6{};
        v6.sin6_family = AF_INET6;
        inet_pton(AF_INET6, text, &v6.sin6_addr);
        std::memcpy(&a.addr, &v6, sizeof v6);
        a.length = sizeof v6;
    }
    return a;
}

struct GreetingCase {
    const char* name;
    std::string candidate;
    int family;
    const char* local;
    const char* greeting;
};

void PrintTo(const GreetingCase& c, std::ostream* os) {
    *os << c.name;
}

class Greeting : public ::testing::TestWithParam<GreetingCase> {};

TEST_P(Greeting, NameOrAddressLiteral) {
    const GreetingCase& c = GetParam();
    EXPECT_EQ(greetingName(c.candidate, addressOf(c.family, c.local)), c.greeting);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rows, Greeting, ::testing::Values(
    GreetingCase{"Qualified", "vm.example.org", AF_INET, "192.0.2.1", "vm.example.org"},
    GreetingCase{"TrailingDotDropped", "vm.example.org.", AF_INET, "192.0.2.1", "vm.example.org"},
    GreetingCase{"BareName", "vm", AF_INET, "192.0.2.1", "[192.0.2.1]"},
    GreetingCase{"NoName", "", AF_INET, "127.0.0.1", "[127.0.0.1]"},
    GreetingCase{"DottedAddressIsNoName", "192.0.2.7", AF_INET, "192.0.2.1", "[192.0.2.1]"},
    GreetingCase{"LineBreakInName", "vm.example.org\r\nRSET", AF_INET, "192.0.2.1", "[192.0.2.1]"},
    GreetingCase{"IPv6", "vm", AF_INET6, "2001:db8::1", "[IPv6:2001:db8::1]"},
    GreetingCase{"IPv6Loopback", "vm", AF_INET6, "::1", "[IPv6:::1]"},
    GreetingCase{"MappedIPv4", "vm", AF_INET6, "::ffff:192.0.2.1", "[192.0.2.1]"},
    GreetingCase{"NoLocalAddress", "vm", AF_UNSPEC, "", "vm"},
    GreetingCase{"NothingAtAll", "", AF_UNSPEC, "", "localhost"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// Python's email package with its modern policy, as a provider's filters read the message.
std::map<std::string, std::string> strictlyRead(const std::vector<std::string>& lines) {
    return test::pythonFieldsOfLines("strict_read.py", lines);
}

struct StrictCase {
    const char* name;
    std::string subject; // UTF-8
    std::string senderName;
    std::string body;   // lines joined by CR LF
    int attachmentSize; // -1: none
};

void PrintTo(const StrictCase& c, std::ostream* os) {
    *os << c.name;
}

class StrictReader : public ::testing::TestWithParam<StrictCase> {};

TEST_P(StrictReader, DecodesExactly) {
    const StrictCase& c = GetParam();
    test::TempDir dir;
    std::string bytes;
    std::mt19937 random(7);
    for (int i = 0; i < c.attachmentSize; ++i)
        bytes += static_cast<char>(random());
    test::writeText(dir.file("zoripost.jpg"), bytes);
    MailMessage m = messageFrom("me@example.jp", c.attachmentSize >= 0, dir.file("zoripost.jpg"));
    m.Subject = encodeHeaderText(sjisToJis(sjis(c.subject)));
    m.From.Name = encodeHeaderText(sjisToJis(sjis(c.senderName)));
    m.Body = bodyLines(sjisToJis(sjis(c.body)));
    const auto lines = written(m);
    const auto f = strictlyRead(lines);
    EXPECT_EQ(f.at("message_id"), valuesOf(headerFields(lines), "Message-ID").at(0));
    test::expectReadExactly(f, c.subject, "me@example.jp", c.senderName, c.body,
                            c.attachmentSize >= 0 ? &bytes : nullptr);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Messages, StrictReader, ::testing::Values(
    StrictCase{"ShortTextOnly", "写真", "山田 太郎", "こんにちは", -1},
    // A sender name of more than one encoded word comes back from this reader with a space
    // between the words (its address parser keeps the white space that RFC 2047 6.2 says to
    // ignore), so the long text is the subject's.
    StrictCase{"SixtyKanjiTextOnly", kanji(60), kanji(16), "一行目\r\n.\r\n三行目", -1},
    StrictCase{"MixedWithPicture", "Re: 写真 2026 年", "Yamada 太郎", "本文です。", 300},
    StrictCase{"EmptyPicture", "全角だけの件名", "", "", 0}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

} // namespace
} // namespace zp
