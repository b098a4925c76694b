// The message writer: the lines after DATA, read back by Python's email package and by
// Node's ISO-2022-JP decoder.
#include "mail/headerencode.h"
#include "mail/jis.h"
#include "mail/mailerror.h"
#include "mail/messagewriter.h"
#include "mail/senddialogue.h"
#include "mail_text_support.h"
#include "support/rows.h"
#include "text/cp932.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <regex>

namespace zp {
namespace {

using zp::test::PrintTo;

using test::sjis;
using ::testing::ElementsAreArray;

std::vector<std::string> written(MailMessage& message) {
    std::vector<std::string> lines;
    writeMessage(message, [&](std::string_view line) { lines.emplace_back(line); });
    return lines;
}

// What every write must hold: no line breaks inside a line, no line that ends the data.
void expectTransmittable(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
        EXPECT_NE(line, ".");
    }
}

// The message as the send operation fills it, with plain texts.
MailMessage plainMessage() {
    MailMessage m;
    m.From.setText("me@example.jp");
    m.Recipients.setText("a@example.jp, b@example.jp");
    m.Subject = "Hello";
    m.Body = {"line1", ".", ".dot", ""};
    m.ExtraHeaders.setValue("X-Mailer", "zoripost version 1.0.0.0");
    return m;
}

const std::regex kDateLine(R"(Date: (Sun|Mon|Tue|Wed|Thu|Fri|Sat), \d{1,2} )"
                           R"((Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d{4} )"
                           R"(\d\d:\d\d:\d\d [+-]\d{4})");

TEST(WriteMessage, WithoutAttachment) {
    MailMessage m = plainMessage();
    auto lines = written(m);
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_TRUE(std::regex_match(lines[5], kDateLine)) << lines[5];
    lines[5] = "Date: *";
    EXPECT_TRUE(std::regex_match(
        lines[6], std::regex(R"(Message-ID: <[0-9]{14}\.[0-9a-f]{16}@example\.jp>)")))
        << lines[6];
    lines[6] = "Message-ID: *";
    EXPECT_THAT(lines,
                ElementsAreArray<std::string>(
                    {"From: me@example.jp", "Subject: Hello", "To: a@example.jp, b@example.jp",
                     "Content-Type: text/plain;charset=ISO-2022-JP", "MIME-Version: 1.0", "Date: *",
                     "Message-ID: *", "X-Priority: 3", "X-Library: zoripost-mail 1.0",
                     "X-Mailer: zoripost version 1.0.0.0", "", "line1", "..", "..dot", ""}));
    // The writer leaves its marks on the message.
    EXPECT_EQ(m.Body[1], "..");
    EXPECT_EQ(m.ContentType, "text/plain;charset=ISO-2022-JP");
}

TEST(WriteMessage, HeaderOrderWithEverySetName) {
    MailMessage m = plainMessage();
    m.From.Name = "Me";
    m.CCList.setText("c@example.jp");
    m.ReplyTo.setText("r@example.jp, s@example.jp");
    m.Priority = mpHighest;
    m.UseNowForDate = false;
    m.Date = 0;
    m.addAttachment("/dev/null");
    std::vector<std::string> names;
    for (const std::string& line : written(m)) {
        if (line.empty())
            break;
        if (line[0] != ' ' && line[0] != '\t')
            names.push_back(line.substr(0, line.find(':')));
    }
    EXPECT_THAT(names,
                ElementsAreArray<std::string>({"From", "Subject", "To", "Cc", "Content-Type",
                                               "MIME-Version", "Reply-To", "Date", "Message-ID",
                                               "X-Priority", "X-Library", "X-Mailer"}));
}

TEST(WriteMessage, BodyLinesWithLineBreaksAreSplit) {
    MailMessage m = plainMessage();
    m.Body = {"a\r\n.b\nc"};
    const auto lines = written(m);
    expectTransmittable(lines);
    EXPECT_THAT(std::vector<std::string>(lines.end() - 3, lines.end()),
                ElementsAreArray<std::string>({"a", "..b", "c"}));
}

TEST(WriteMessage, SubjectCannotAddHeaderLines) {
    MailMessage m = plainMessage();
    m.Subject = "a\r\nBcc: x@example.jp";
    for (const std::string& line : written(m))
        EXPECT_NE(line.rfind("Bcc:", 0), 0u) << line;
}

TEST(WriteMessage, LongJapaneseSubjectFoldsIntoEncodedWords) {
    MailMessage m = plainMessage();
    std::string utf8;
    for (int i = 0; i < 50; ++i)
        utf8 += "写真";
    m.Subject = encodeHeaderText(sjisToJis(sjis(utf8)));
    const auto lines = written(m);
    std::string subject;
    for (std::size_t i = 1;
         i < lines.size() && (i == 1 || lines[i][0] == ' ' || lines[i][0] == '\t'); ++i) {
        EXPECT_FALSE(lines[i].empty());
        // RFC 2047 2: a line holding an encoded word is at most 76 characters.
        EXPECT_LE(lines[i].size(), 76u) << lines[i];
        subject += (i == 1 ? "" : "\r\n") + lines[i];
    }
    EXPECT_EQ(test::nodeDecode(subject.substr(subject.find(':') + 1), "header"), " " + utf8);
}

struct AttachmentCase {
    std::size_t size;
    std::vector<std::size_t> lineLengths;
};

class AttachmentSize : public ::testing::TestWithParam<AttachmentCase> {};

TEST_P(AttachmentSize, Base64LinesOf57Bytes) {
    test::TempDir dir;
    std::string bytes;
    for (std::size_t i = 0; i < GetParam().size; ++i)
        bytes += static_cast<char>(i * 7);
    test::writeText(dir.file("pic.jpg"), bytes);
    MailMessage m = plainMessage();
    m.Body = {"."};
    m.addAttachment(dir.file("pic.jpg")).setContentType("image/jpeg");
    const auto lines = written(m);
    expectTransmittable(lines);

    const std::string boundary = "--=_NextPart_5qzv8nrmxt2kpw4ohbjdcl";
    const auto blank = std::find(lines.begin(), lines.end(), "");
    ASSERT_NE(blank, lines.end());
    std::vector<std::string> body(blank + 1, lines.end());
    const std::vector<std::string> head = {"This is a multi-part message in MIME format",
                                           "",
                                           boundary,
                                           "Content-Type: text/plain; charset=ISO-2022-JP",
                                           "Content-Transfer-Encoding: 7bit",
                                           "",
                                           "..",
                                           "",
                                           boundary,
                                           "Content-Type: image/jpeg;",
                                           "        name=\"pic.jpg\"",
                                           "Content-Transfer-Encoding: base64",
                                           "Content-Disposition: attachment;",
                                           "        filename=\"pic.jpg\"",
                                           ""};
    ASSERT_GE(body.size(), head.size() + 2);
    EXPECT_THAT(std::vector<std::string>(body.begin(), body.begin() + head.size()),
                ElementsAreArray(head));
    EXPECT_EQ(body[body.size() - 2], "");
    EXPECT_EQ(body.back(), boundary + "--");
    std::vector<std::size_t> lengths;
    for (std::size_t i = head.size(); i + 2 < body.size(); ++i)
        lengths.push_back(body[i].size());
    EXPECT_EQ(lengths, GetParam().lineLengths);
    if (GetParam().size % 57 == 1) {
        const std::string& last = body[body.size() - 3];
        EXPECT_EQ(last.substr(last.size() - 2), "==");
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, AttachmentSize,
                         ::testing::Values(AttachmentCase{0, {}}, AttachmentCase{1, {4}},
                                           AttachmentCase{57, {76}}, AttachmentCase{58, {76, 4}},
                                           AttachmentCase{114, {76, 76}},
                                           AttachmentCase{116, {76, 76, 4}}));

TEST(WriteMessage, AttachmentDefaultsFilledIn) {
    MailMessage m = plainMessage();
    Attachment& part = m.addAttachment("/dev/null");
    written(m);
    EXPECT_EQ(part.ContentTransfer(), "base64");
    EXPECT_EQ(part.ContentType(), "application/octet-stream");
    EXPECT_EQ(part.ContentDisposition, "attachment");
    EXPECT_EQ(
        m.ContentType,
        "multipart/mixed; boundary=\"=_NextPart_5qzv8nrmxt2kpw4ohbjdcl\";charset=ISO-2022-JP");
}

TEST(WriteMessage, ShiftJisFileNameKeepsItsBackslashTrailByte) {
    test::TempDir dir;
    const std::string name = sjis("表ソ.bin"); // 95 5C, 83 5C
    test::writeText(dir.file(name), "x");
    MailMessage m = plainMessage();
    m.addAttachment(dir.file(name));
    const auto lines = written(m);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "        filename=\"" + name + "\""),
              lines.end());
}

// The attachment in a folder whose name holds Japanese and a character code page 932 lacks
// (a Windows user folder such as "José"): the path's text is UTF-8 there.
TEST(WriteMessage, AttachmentInAFolderNamedOutsideTheCodePage) {
    test::TempDir dir;
    const std::filesystem::path folder = dir.path() / u8"写真 José";
    std::filesystem::create_directory(folder);
    test::writeText(folder / "pic.jpg", "picture bytes");
    const std::u8string u8 = (folder / "pic.jpg").u8string();
    MailMessage m = plainMessage();
    m.addAttachment(std::string(u8.begin(), u8.end()));
    const auto lines = written(m);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "cGljdHVyZSBieXRlcw=="), lines.end());
}

TEST(WriteMessage, UnreadableAttachmentThrowsMailError) {
    MailMessage m = plainMessage();
    m.addAttachment("/nonexistent/zoripost/pic.jpg");
    try {
        written(m);
        FAIL() << "no error";
    } catch (const MailError& e) {
        EXPECT_THAT(e.what(), ::testing::HasSubstr("/nonexistent/zoripost/pic.jpg"));
    }
}

// Reads the message as a server stores it (dot-stuffing undone) with Python's email package.
std::map<std::string, std::string> parsedByPython(const std::vector<std::string>& lines) {
    return test::pythonFieldsOfLines("parse_mail.py", lines);
}

// The message that the send operation builds for a picture, from Shift-JIS texts.
MailMessage japaneseMessage(const std::string& jpegPath, const std::string& subject,
                            const std::string& name, const std::string& body) {
    MailMessage m;
    m.Subject = encodeHeaderText(sjisToJis(sjis(subject)));
    m.Recipients.setText("to1@example.jp, to2@example.jp, ");
    m.From.setText("me@example.jp");
    m.From.Name = encodeHeaderText(sjisToJis(sjis(name)));
    const std::string converted = sjisToJis(sjis(body));
    for (std::size_t start = 0;;) {
        const std::size_t end = converted.find("\r\n", start);
        m.Body.push_back(converted.substr(start, end - start));
        if (end == std::string::npos)
            break;
        start = end + 2;
    }
    m.ReplyTo.setText("reply@example.jp");
    m.ExtraHeaders.setValue("X-Mailer", "zoripost version 1.0.0.0");
    if (!jpegPath.empty())
        m.addAttachment(jpegPath).setContentType("image/jpeg");
    return m;
}

TEST(PythonEmailReads, JapanesePictureMail) {
    test::TempDir dir;
    const std::string jpeg = dir.file("zoripost.jpg");
    test::runWithInput(
        std::string(ZP_SYSTEM_PYTHON) +
            " -c \"import sys; from PIL import Image; "
            "Image.new('RGB', (48, 32), (200, 40, 10)).save(sys.argv[1], 'JPEG')\" '" +
            jpeg + "'",
        "/dev/null");
    const std::string jpegBytes = test::readText(jpeg);
    ASSERT_GT(jpegBytes.size(), 100u);

    MailMessage m =
        japaneseMessage(jpeg, "写真を送ります 2026", "山田 太郎", "こんにちは。\r\n.二行目です");
    const auto f = parsedByPython(written(m));
    EXPECT_EQ(f.at("defects"), "");
    EXPECT_EQ(f.at("subject"), "写真を送ります 2026");
    EXPECT_EQ(f.at("from_name"), "山田 太郎");
    EXPECT_EQ(f.at("from_addr"), "me@example.jp");
    EXPECT_EQ(f.at("to"), "to1@example.jp, to2@example.jp");
    EXPECT_EQ(f.at("reply_to"), "reply@example.jp");
    EXPECT_EQ(f.at("x_mailer"), "zoripost version 1.0.0.0");
    EXPECT_EQ(f.at("content_type"), "multipart/mixed");
    EXPECT_EQ(f.at("mime_version"), "1.0");
    // Python gives the part's text with its line ends as LF, up to the boundary's line end.
    EXPECT_EQ(f.at("body"), "こんにちは。\n.二行目です\n");
    EXPECT_EQ(f.at("attachment_filename"), "zoripost.jpg");
    EXPECT_EQ(f.at("attachment_type"), "image/jpeg");
    EXPECT_EQ(f.at("attachment_hex"), test::lowerHex(jpegBytes));
    EXPECT_FALSE(f.at("date").empty());
}

TEST(PythonEmailReads, TextOnlyMail) {
    MailMessage m = japaneseMessage("", "件名", "", "本文\r\n.\r\n終わり");
    m.ReplyTo.clear();
    const auto f = parsedByPython(written(m));
    EXPECT_EQ(f.at("defects"), "");
    EXPECT_EQ(f.at("subject"), "件名");
    EXPECT_EQ(f.at("content_type"), "text/plain");
    EXPECT_EQ(f.at("mime_version"), "1.0");
    EXPECT_EQ(f.at("reply_to"), "");
    EXPECT_EQ(f.at("body"), "本文\n.\n終わり\n");
}

// Python's codec knows JIS X 0208 only; Node's decoder also reads NEC row 13 and the
// NEC-selected rows, where the IBM extension characters go.
TEST(NodeReads, ExtendedCharactersInSubjectNameAndBody) {
    const std::string text = "abc 写真①㈱髙﨑 ｱｶﾞﾊﾟ";
    const std::string readBack = "abc 写真①㈱髙﨑 アガパ";
    MailMessage m = japaneseMessage("", text, text, text + "\r\n" + text);
    const auto lines = written(m);
    std::map<std::string, std::string> headers;
    std::string current;
    std::size_t i = 0;
    for (; i < lines.size() && !lines[i].empty(); ++i) {
        if (lines[i][0] == ' ' || lines[i][0] == '\t') {
            headers[current] += "\r\n" + lines[i];
        } else {
            current = lines[i].substr(0, lines[i].find(':'));
            headers[current] = lines[i].substr(current.size() + 2);
        }
    }
    EXPECT_EQ(test::nodeDecode(headers["Subject"], "header"), readBack);
    std::string from = headers["From"];
    from.erase(from.rfind('<'));
    from.erase(from.find_last_not_of(" \t\r\n") + 1);
    EXPECT_EQ(test::nodeDecode(from, "header"), readBack);
    EXPECT_EQ(test::nodeDecode(lines[i + 1] + "\r\n" + lines[i + 2]), readBack + "\r\n" + readBack);
}

// One typed text in every place a text of the window goes: subject, sender name, a body line
// and an attachment's file name. The readers get it back exactly; where ISO-2022-JP carries
// it, the automatic choice keeps ISO-2022-JP and the mail is what it always was.
struct TypedText {
    const char* name;
    std::string text;   // as typed, UTF-8
    bool iso2022jp;     // the automatic choice
    std::string read;   // what the readers give where the writer converts (half-width kana)
    std::string byNode; // where the WHATWG decoder's JIS X 0208 table differs from JIS's
};

void PrintTo(const TypedText& t, std::ostream* os) {
    *os << t.name;
}

std::string repeated(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

// The message as the send filled it before it knew any charset but ISO-2022-JP.
MailMessage earlierMessage(const SendJob& job) {
    MailMessage m;
    m.Subject = encodeHeaderText(sjisToJis(job.subject));
    m.Recipients.setText(job.recipients);
    m.From.setText(job.senderAddress);
    m.From.Name = encodeHeaderText(sjisToJis(job.senderName));
    for (const std::string& line : bodyLines(job.body))
        m.Body.push_back(sjisToJis(line));
    m.ExtraHeaders.setValue("X-Mailer", job.xMailer);
    m.addAttachment(job.attachmentPath).setContentType("image/jpeg");
    return m;
}

std::vector<std::string> withoutDateAndId(std::vector<std::string> lines) {
    std::erase_if(lines, [](const std::string& l) {
        return l.rfind("Date: ", 0) == 0 || l.rfind("Message-ID: ", 0) == 0;
    });
    return lines;
}

class TypedTextMail : public ::testing::TestWithParam<TypedText> {};

TEST_P(TypedTextMail, ReadBackExactly) {
    const TypedText& t = GetParam();
    test::TempDir dir;
    const std::string fileName = t.text + ".bin";
    test::writeText(dir.file(fileName), "attached\x01\xFF");
    SendJob job;
    job.charset = MailTextCharset::Auto;
    job.recipients = "a@example.jp";
    job.senderAddress = "me@example.jp";
    job.xMailer = "zoripost version 1.0.0.0";
    job.subjectUtf8 = job.senderNameUtf8 = t.text;
    job.bodyUtf8 = "1行目\r\n" + t.text;
    // The window's Shift-JIS conversion, for the ISO-2022-JP mail.
    job.subject = job.senderName = utf8ToSjis(t.text);
    job.body = utf8ToSjis(job.bodyUtf8);
    job.attachment = SendJob::Attachment::File;
    job.attachmentPath = dir.file(fileName);
    job.attachmentName = fileName;
    EXPECT_EQ(effectiveCharset(job) == MailTextCharset::Iso2022jp, t.iso2022jp);
    EXPECT_EQ(firstCharacterNotInIso2022jp(job).empty(), t.iso2022jp);

    MailMessage m;
    fillMessage(m, job);
    const std::vector<std::string> lines = written(m);
    expectTransmittable(lines);
    const std::regex word(R"(=\?[^?]+\?B\?[^?]*\?=)");
    for (const std::string& line : lines)
        for (std::sregex_iterator i(line.begin(), line.end(), word), end; i != end; ++i)
            EXPECT_LE(i->length(), 75) << line;

    const std::string read = t.read.empty() ? t.text : t.read;
    const std::string byNode = t.byNode.empty() ? read : t.byNode;
    const auto py = test::pythonFieldsOfLines("strict_read.py", lines);
    EXPECT_EQ(py.at("defects"), "");
    EXPECT_EQ(py.at("charset"), t.iso2022jp ? "iso-2022-jp" : "utf-8");
    EXPECT_EQ(py.at("subject"), read);
    // Python 3.11's address parser keeps the blank between two encoded words of a display
    // name (RFC 2047 6.2: it is no part of the text); none of these texts holds a blank.
    std::string pyName = py.at("from_name");
    if (read.find(' ') == std::string::npos)
        std::erase(pyName, ' ');
    EXPECT_EQ(pyName, read);
    EXPECT_EQ(py.at("body"), "1行目\n" + read + "\n");
    EXPECT_EQ(py.at("attachment_filename"), fileName);
    EXPECT_EQ(py.at("attachment_hex"), "617474616368656401ff");
    const auto node = test::pythonFieldsOfLines("mail_decode.js", lines);
    EXPECT_EQ(node.at("subject"), byNode);
    EXPECT_EQ(node.at("from_name"), byNode);
    EXPECT_EQ(node.at("body"), "1行目\n" + byNode + "\n");
    EXPECT_EQ(node.at("attachment_filename"), fileName);
    // name= for older readers, in the message's charset where it carries the name.
    EXPECT_EQ(node.at("attachment_name"), (t.iso2022jp ? byNode : t.text) + ".bin");

    if (!t.iso2022jp)
        return;
    // A picture mail of such text is the one the send always wrote.
    test::writeText(dir.file("zoripost.jpg"), "\xFF\xD8\xFF\xD9");
    job.attachment = SendJob::Attachment::Picture;
    job.attachmentPath = dir.file("zoripost.jpg");
    job.attachmentName.clear();
    MailMessage now;
    fillMessage(now, job);
    MailMessage before = earlierMessage(job);
    EXPECT_THAT(withoutDateAndId(written(now)),
                ElementsAreArray(withoutDateAndId(written(before))));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Texts, TypedTextMail, ::testing::Values(
    TypedText{"Ascii", "Hello, world 2026", true, "", ""},
    TypedText{"Kanji", "写真を送ります", true, "", ""},
    TypedText{"HalfWidthKana", "ｱｶﾞﾊﾟ", true, "アガパ", ""},
    TypedText{"NecAndIbmExtensions", "①㈱髙﨑", false, "", ""},
    // JIS X 0208's own wave dash and minus sign, as input methods outside Windows type them;
    // the WHATWG decoder reads the same JIS codes as the code page 932 forms.
    TypedText{"WaveDashAndMinusAsTypedOnLinux", "10〜20−3", true, "", "10～20－3"},
    TypedText{"Emoji", "写真📷", false, "", ""},
    TypedText{"CombiningSequences", "か\u3099e\u0301", false, "", ""},
    TypedText{"OneCharacter", "写", true, "", ""},
    TypedText{"SixtyKanji", repeated("写真機", 20), true, "", ""},
    TypedText{"SixtyWithEmojiAndMarks", repeated("写📷か\u3099", 15), false, "", ""}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

} // namespace
} // namespace zp
