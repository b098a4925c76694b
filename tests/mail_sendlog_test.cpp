// The send log writer: the files it makes, byte for byte, in the log folder and in the
// recipients' folders; never replacing a log; recipient names that cannot be folders.
#include "mail/logname.h"
#include "mail/senddialogue.h"
#include "mail/sendlog.h"
#include "mail/sendlogreader.h"
#include "mail_text_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace zp {
namespace {

namespace fs = std::filesystem;
using test::sjis;

const SendLogTime kTime{2011, 3, 4, 5, 6, 7};
const std::string kBase = "2011-03-04_05-06-07";
const std::string kJpegBytes = std::string("\xFF\xD8\xFF\xE0", 4) + std::string(300, '\x42');

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// An expected log kept as UTF-8 with LF line ends, as the program writes it: Shift-JIS
// with CR LF.
std::string expectedLog(const std::string& name) {
    std::string text = readBytes(fs::path(ZP_TEST_DATA) / "sendlog" / name);
    std::string crlf;
    for (char c : text) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    return sjis(crlf);
}

// Every file below root, as "relative path" -> bytes.
std::map<std::string, std::string> filesBelow(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file())
            files[fs::relative(e.path(), root).string()] = readBytes(e.path());
    return files;
}

class SendLogFiles : public ::testing::Test {
protected:
    void SetUp() override {
        m_logs = fs::path(m_dir.file("logs"));
        fs::create_directory(m_logs);
        m_picture = m_dir.file("zoripost.jpg");
        test::writeFile(m_picture.string(), kJpegBytes);
    }
    SendLogInput pictureSend(SendLogMode mode) const {
        SendLogInput in;
        in.mode = mode;
        in.folder = m_logs.string();
        in.nameFolders = false;
        in.time = kTime;
        in.sent = true;
        in.picturePresent = true;
        in.picture = m_picture;
        in.recipients = {sjis("山田 太郎 (taro@example.jp)"), "hanako@example.jp"};
        in.subject = sjis("写真です");
        in.body = sjis("一行目\r\n二行目");
        if (mode == SendLogMode::HtmlAndPicture) {
            // Markup characters show as typed.
            in.subject = "A<B & \"C\"";
            in.recipients[0] = sjis("山田 & 花子 (taro@example.jp)");
            in.body = sjis("一行目\r\n<b>二行目</b>");
        }
        return in;
    }
    // A failed send of a document, with an empty subject and a body ending in a break.
    SendLogInput attachmentSend(SendLogMode mode) const {
        SendLogInput in;
        in.mode = mode;
        in.folder = m_logs.string() + "/";
        in.nameFolders = false;
        in.time = kTime;
        in.picture = m_picture;
        in.recipients = {"hanako@example.jp"};
        in.subject = mode == SendLogMode::HtmlAndPicture ? "" : sjis("書類");
        in.hasAttachment = true;
        in.attachmentPath = sjis("/home/u/書類 A&B.pdf");
        in.body = sjis("最後に改行\r\n");
        return in;
    }

    test::TempDir m_dir;
    fs::path m_logs;
    fs::path m_picture;
};

struct FormCase {
    const char* what;
    SendLogMode mode;
    bool picture;
    std::map<std::string, std::string> expected; // file -> expected log, or "" for the JPEG
};

class SendLogForms : public SendLogFiles, public ::testing::WithParamInterface<FormCase> {};

TEST_P(SendLogForms, ByteForByte) {
    const FormCase& c = GetParam();
    const SendLogInput in = c.picture ? pictureSend(c.mode) : attachmentSend(c.mode);
    const SendLogResult result = writeSendLog(in);
    EXPECT_TRUE(result.notices.empty());
    std::map<std::string, std::string> expected;
    for (const auto& [file, form] : c.expected)
        expected[file] = form.empty() ? kJpegBytes : expectedLog(form);
    EXPECT_EQ(filesBelow(m_logs), expected) << c.what;
    EXPECT_EQ(result.written.size(), expected.size());
}

INSTANTIATE_TEST_SUITE_P(
    Table, SendLogForms,
    ::testing::Values(FormCase{"text only: no picture copy",
                               SendLogMode::Text,
                               true,
                               {{kBase + ".txt", "text_picture.txt"}}},
                      FormCase{"text and picture",
                               SendLogMode::TextAndPicture,
                               true,
                               {{kBase + ".txt", "text_picture.txt"}, {kBase + ".jpg", ""}}},
                      FormCase{"HTML, escaped, with the picture line",
                               SendLogMode::HtmlAndPicture,
                               true,
                               {{kBase + ".html", "html_picture.html"}, {kBase + ".jpg", ""}}},
                      FormCase{"failed text log of a document",
                               SendLogMode::TextAndPicture,
                               false,
                               {{kBase + ".txt", "text_failed_attachment.txt"}}},
                      FormCase{"failed HTML log of a document, untitled",
                               SendLogMode::HtmlAndPicture,
                               false,
                               {{kBase + ".html", "html_failed_attachment.html"}}}),
    [](const auto& info) { return "row" + std::to_string(info.index); });

// The named recipient's log goes into a folder of that name, the unnamed ones share the
// log folder itself: one log there, not one per entry.
TEST_F(SendLogFiles, NameFolders) {
    SendLogInput in = pictureSend(SendLogMode::TextAndPicture);
    in.nameFolders = true;
    in.recipients.push_back("third@example.jp");
    const SendLogResult result = writeSendLog(in);
    EXPECT_TRUE(result.notices.empty());
    in.recipients.pop_back();
    const std::string log = readBytes(m_logs / (kBase + ".txt"));
    std::string expected = expectedLog("text_picture.txt");
    expected.insert(expected.find("\r\n" + sjis("【件名】")), "\r\nthird@example.jp");
    fs::path named;
    ASSERT_TRUE(sjisToPath(sjis("山田 太郎"), named));
    EXPECT_EQ(filesBelow(m_logs), (std::map<std::string, std::string>{
                                      {kBase + ".txt", expected},
                                      {kBase + ".jpg", kJpegBytes},
                                      {(named / (kBase + ".txt")).string(), expected},
                                      {(named / (kBase + ".jpg")).string(), kJpegBytes}}));
}

// A second send in the same second (or after the clock went back) keeps the first log.
TEST_F(SendLogFiles, NeverReplacesALog) {
    SendLogInput in = pictureSend(SendLogMode::HtmlAndPicture);
    writeSendLog(in);
    in.sent = false;
    writeSendLog(in);
    // A picture copy alone also takes the name: the log, its picture and its picture line
    // share one base.
    test::writeFile((m_logs / (kBase + "_3.jpg")).string(), "old");
    writeSendLog(in);
    const auto files = filesBelow(m_logs);
    ASSERT_EQ(files.size(), 7u);
    EXPECT_EQ(files.at(kBase + "_3.jpg"), "old");
    EXPECT_EQ(files.at(kBase + "_4.jpg"), kJpegBytes);
    const std::string second = files.at(kBase + "_2.html");
    EXPECT_NE(second.find("<img src=\"" + kBase + "_2.jpg\">"), std::string::npos);
    EXPECT_NE(files.at(kBase + ".html").find("<img src=\"" + kBase + ".jpg\">"), std::string::npos);
    EXPECT_NE(files.at(kBase + "_4.html").find("<img src=\"" + kBase + "_4.jpg\">"),
              std::string::npos);
    EXPECT_NE(files.at(kBase + ".html").find(sjis("成功")), std::string::npos);
    EXPECT_NE(second.find(sjis("失敗")), std::string::npos);
}

// A link planted at the log's name, pointing to a missing file, is a taken name: the log
// goes to the next one, and nothing is written through the link.
TEST_F(SendLogFiles, NeverWritesThroughALinkAtTheLogsName) {
    const fs::path target = m_logs.parent_path() / "planted.html";
    fs::create_symlink(target, m_logs / (kBase + ".html"));
    writeSendLog(pictureSend(SendLogMode::HtmlAndPicture));
    EXPECT_FALSE(fs::exists(fs::symlink_status(target))) << "written through the link";
    EXPECT_TRUE(fs::is_symlink(m_logs / (kBase + ".html")));
    EXPECT_NE(readBytes(m_logs / (kBase + "_2.html")).find("<img src=\"" + kBase + "_2.jpg\">"),
              std::string::npos);
    EXPECT_EQ(readBytes(m_logs / (kBase + "_2.jpg")), kJpegBytes);
}

struct FolderCase {
    const char* what;
    std::string folder; // "" = the test's log folder
    std::vector<SendLogNotice::Kind> notices;
};

class SendLogMissingFolder : public SendLogFiles,
                             public ::testing::WithParamInterface<FolderCase> {};

// Nothing is written, not even into the current folder.
TEST_P(SendLogMissingFolder, WritesNothing) {
    const fs::path before = fs::current_path();
    fs::current_path(m_logs);
    SendLogInput in = pictureSend(SendLogMode::TextAndPicture);
    in.folder = GetParam().folder;
    const SendLogResult result = writeSendLog(in);
    fs::current_path(before);
    ASSERT_EQ(result.notices.size(), 1u);
    EXPECT_EQ(result.notices[0], (SendLogNotice{SendLogNotice::MissingFolder, in.folder}));
    EXPECT_TRUE(filesBelow(m_logs).empty());
}

INSTANTIATE_TEST_SUITE_P(Table, SendLogMissingFolder,
                         ::testing::Values(FolderCase{"empty", "", {}},
                                           FolderCase{"blank", "  \t", {}},
                                           FolderCase{"no such folder", "/nonexistent/zp", {}}),
                         [](const auto& info) { return "row" + std::to_string(info.index); });

struct NameCase {
    const char* what;
    std::string name;
};

class SendLogBadName : public SendLogFiles, public ::testing::WithParamInterface<NameCase> {};

// The name is refused like a folder that cannot be made; the other recipients still get
// their logs and nothing lands outside the log folder.
TEST_P(SendLogBadName, SkipsThatRecipient) {
    fs::create_directory(m_logs / "inner");
    SendLogInput in = pictureSend(SendLogMode::Text);
    in.folder = (m_logs / "inner").string();
    in.nameFolders = true;
    in.recipients = {GetParam().name + " (x@example.jp)", "y@example.jp"};
    const SendLogResult result = writeSendLog(in);
    ASSERT_EQ(result.notices.size(), 1u) << GetParam().what;
    EXPECT_EQ(result.notices[0], (SendLogNotice{SendLogNotice::FolderNotCreated,
                                                in.folder + "/" + GetParam().name + "/"}));
    const auto files = filesBelow(m_logs);
    ASSERT_EQ(files.size(), 1u) << GetParam().what;
    EXPECT_EQ(files.begin()->first, "inner/" + kBase + ".txt");
}

INSTANTIATE_TEST_SUITE_P(Table, SendLogBadName,
                         ::testing::Values(NameCase{"dot", "."}, NameCase{"dot dot", ".."},
                                           NameCase{"separator", "../up"},
                                           NameCase{"control", "a\x01z"}, NameCase{"tab", "a\tz"},
                                           NameCase{"too long", std::string(256, 'n')}),
                         [](const auto& info) { return "row" + std::to_string(info.index); });

TEST_F(SendLogFiles, UncreatableFolderIsReportedAndSkipped) {
    // A file where the recipient's folder should be.
    test::writeFile((m_logs / "Taro").string(), "");
    SendLogInput in = pictureSend(SendLogMode::Text);
    in.nameFolders = true;
    in.recipients = {"Taro (taro@example.jp)", "Hana (hana@example.jp)"};
    const SendLogResult result = writeSendLog(in);
    ASSERT_EQ(result.notices.size(), 1u);
    EXPECT_EQ(result.notices[0],
              (SendLogNotice{SendLogNotice::FolderNotCreated, m_logs.string() + "/Taro/"}));
    EXPECT_TRUE(fs::exists(m_logs / "Hana" / (kBase + ".txt")));
}

struct DateCase {
    SendLogTime time;
    std::string base;
    std::string line;
};

class SendLogDates : public ::testing::TestWithParam<DateCase> {};

TEST_P(SendLogDates, BaseNameAndDateLine) {
    EXPECT_EQ(sendLogBaseName(GetParam().time), GetParam().base);
    EXPECT_EQ(sendLogDateLine(GetParam().time), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SendLogDates,
    ::testing::Values(DateCase{{2011, 3, 4, 5, 6, 7}, "2011-03-04_05-06-07", "2011/03/04 5:06:07"},
                      DateCase{
                          {2026, 12, 31, 23, 59, 59}, "2026-12-31_23-59-59", "2026/12/31 23:59:59"},
                      DateCase{{2026, 1, 1, 0, 0, 0}, "2026-01-01_00-00-00", "2026/01/01"},
                      DateCase{{2026, 1, 1, 0, 0, 1}, "2026-01-01_00-00-01", "2026/01/01 0:00:01"}),
    [](const auto& info) { return "row" + std::to_string(info.index); });

struct CheckCase {
    const char* what;
    std::string name;
    FolderNameCheck expected;
};

class FolderNames : public ::testing::TestWithParam<CheckCase> {};

TEST_P(FolderNames, Check) {
    fs::path component;
    EXPECT_EQ(checkFolderName(GetParam().name, component), GetParam().expected) << GetParam().what;
    EXPECT_EQ(component.empty(), GetParam().expected != FolderNameCheck::Ok);
}

std::string kanjiName(int count) {
    std::string s;
    for (int i = 0; i < count; ++i)
        s += sjis("漢");
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Table, FolderNames,
    ::testing::Values(CheckCase{"empty", "", FolderNameCheck::Empty},
                      CheckCase{"dot", ".", FolderNameCheck::DotName},
                      CheckCase{"dot dot", "..", FolderNameCheck::DotName},
                      CheckCase{"three dots are a name", "...", FolderNameCheck::Ok},
                      CheckCase{"slash", "a/b", FolderNameCheck::Separator},
                      CheckCase{"NUL", std::string("a\0b", 3), FolderNameCheck::ControlChar},
                      CheckCase{"DEL", "a\x7F", FolderNameCheck::ControlChar},
                      CheckCase{"blank inside", sjis("山田 太郎"), FolderNameCheck::Ok},
                      // 表 is 95 5C: its second byte is no backslash.
                      CheckCase{"trail byte 5C", sjis("表"), FolderNameCheck::Ok},
                      CheckCase{"no Shift-JIS character", "\xA0", FolderNameCheck::NotConvertible},
                      CheckCase{"255 bytes", std::string(255, 'n'), FolderNameCheck::Ok},
                      CheckCase{"256 bytes", std::string(256, 'n'), FolderNameCheck::TooLong},
                      // The limit counts the native form: 85 kanji are 255 UTF-8 bytes, 86 are 258.
                      CheckCase{"85 kanji", kanjiName(85), FolderNameCheck::Ok},
                      CheckCase{"86 kanji", kanjiName(86), FolderNameCheck::TooLong}),
    [](const auto& info) { return "row" + std::to_string(info.index); });

struct BodyCase {
    std::string body;
    std::vector<std::string> lines;
};

class BodyLines : public ::testing::TestWithParam<BodyCase> {};

// Every line end of the edit box, lone LF and CR included, ends a mail line.
TEST_P(BodyLines, SplitAtEveryLineEnd) {
    EXPECT_EQ(bodyLines(GetParam().body), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Table, BodyLines,
    ::testing::Values(BodyCase{"", {""}}, BodyCase{"a", {"a"}}, BodyCase{"a\r\nb", {"a", "b"}},
                      BodyCase{"a\nb", {"a", "b"}}, BodyCase{"a\rb", {"a", "b"}},
                      BodyCase{"a\r\n", {"a", ""}}, BodyCase{"a\n\r.", {"a", "", "."}},
                      BodyCase{"\r\r\n", {"", "", ""}}),
    [](const auto& info) { return "row" + std::to_string(info.index); });

struct AddressCase {
    std::string address;
    bool unusable;
};

class UnusableAddress : public ::testing::TestWithParam<AddressCase> {};

TEST_P(UnusableAddress, ControlCharactersAndAngleBrackets) {
    EXPECT_EQ(isUnusableAddress(GetParam().address), GetParam().unusable) << GetParam().address;
}

INSTANTIATE_TEST_SUITE_P(
    Table, UnusableAddress,
    ::testing::Values(AddressCase{"a@example.jp", false}, AddressCase{"", false},
                      AddressCase{"a b@example.jp", false}, AddressCase{"a<b@example.jp", true},
                      AddressCase{"a@example.jp>", true}, AddressCase{"a@exa\tmple.jp", true},
                      AddressCase{"a@example.jp\x7F", true},
                      AddressCase{std::string("a\0b", 3), true}),
    [](const auto& info) { return "row" + std::to_string(info.index); });

// Characters Shift-JIS cannot hold come in as the settings file's escapes: the text log keeps
// them so, the HTML log shows them as the character references they are, and the sorting
// tool's reader finds the recipients of both.
TEST(SendLogUnheldCharacters, EscapesInBothForms) {
    SendLogInput in;
    in.recipients = {sjis("山田 & 花子 (taro@example.jp)")};
    in.subject = sjis("写真") + "&#x1F4F7; &#x26;#x41; a&b";
    in.hasAttachment = true;
    in.attachmentPath = sjis("報告") + "&#x1F4F7;.pdf";
    in.body = sjis("本文") + "&#x1F4F7;\r\n&#x26;#x41;";
    const std::vector<std::string> text = sendLogTextLines(in);
    EXPECT_NE(std::find(text.begin(), text.end(), in.subject), text.end());
    EXPECT_NE(std::find(text.begin(), text.end(), in.attachmentPath), text.end());
    EXPECT_EQ(text.back(), in.body);
    const std::vector<std::string> html = sendLogHtmlLines(in, "x.jpg");
    const std::string subject = sjis("写真") + "&#x1F4F7; &amp;#x41; a&amp;b";
    EXPECT_EQ(html[4], "<title>" + subject + " - zoripost </title>");
    EXPECT_NE(std::find(html.begin(), html.end(), subject), html.end());
    EXPECT_NE(std::find(html.begin(), html.end(), sjis("報告") + "&#x1F4F7;.pdf"), html.end());
    EXPECT_NE(std::find(html.begin(), html.end(), sjis("本文") + "&#x1F4F7;<br>\r\n&amp;#x41;"),
              html.end());
    for (const auto& [lines, form] :
         {std::pair{text, SendLogForm::Text}, {html, SendLogForm::Html}}) {
        std::string file;
        for (const std::string& line : lines)
            file += line + "\r\n";
        const SendLogRecipients r = readSendLogRecipients(file, form);
        EXPECT_EQ(r.status, RecipientsStatus::Ok);
        EXPECT_EQ(r.entries, std::vector<std::string>{in.recipients[0]});
    }
}

} // namespace
} // namespace zp
