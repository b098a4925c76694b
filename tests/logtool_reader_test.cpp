// Reading the recipients of a send log: the header line itself, the lines holding an at
// sign after it, the HTML form's blank and character references.
#include "mail/sendlogreader.h"
#include "mail_text_support.h"
#include "support/rows.h"

#include <gtest/gtest.h>

namespace {

using zp::test::PrintTo;

using zp::RecipientsStatus;
using zp::SendLogForm;
using zp::test::sjis;

const std::string kHtmlHeader = "<font color=\"blue\">【送信先】</font>";

struct ReadCase {
    const char* what;
    SendLogForm form;
    std::string content; // UTF-8, converted to Shift-JIS
    RecipientsStatus status;
    std::vector<std::string> entries; // UTF-8
};

class ReadRecipients : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadRecipients, TakesTheLinesAfterTheHeaderLine) {
    const ReadCase& c = GetParam();
    const zp::SendLogRecipients r = zp::readSendLogRecipients(sjis(c.content), c.form);
    EXPECT_EQ(r.status, c.status) << c.what;
    std::vector<std::string> expected;
    for (const std::string& e : c.entries)
        expected.push_back(sjis(e));
    EXPECT_EQ(r.entries, expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadRecipients,
    ::testing::Values(
        ReadCase{"text, two",
                 SendLogForm::Text,
                 "【送信日時】\r\nx\r\n送信成功\r\n【送信先】\r\n山田 "
                 "(y@x.jp)\r\nb@x.jp\r\n【件名】\r\ns\r\n",
                 RecipientsStatus::Ok,
                 {"山田 (y@x.jp)", "b@x.jp"}},
        ReadCase{"text, a line only containing the marker is no header",
                 SendLogForm::Text,
                 "re: 【送信先】\r\na@x.jp\r\n【送信先】\r\nb@x.jp\r\n【件名】\r\n",
                 RecipientsStatus::Ok,
                 {"b@x.jp"}},
        ReadCase{"text, header then another marker",
                 SendLogForm::Text,
                 "【送信先】\r\n【件名】\r\na@x.jp\r\n",
                 RecipientsStatus::NoEntries,
                 {}},
        ReadCase{"text, header at the end",
                 SendLogForm::Text,
                 "【送信先】",
                 RecipientsStatus::NoEntries,
                 {}},
        ReadCase{"text, no header",
                 SendLogForm::Text,
                 "a@x.jp\r\nb@x.jp\r\n",
                 RecipientsStatus::NoHeader,
                 {}},
        ReadCase{"text, LF and CR line ends, last line unended",
                 SendLogForm::Text,
                 "【送信先】\na@x.jp\rb@x.jp",
                 RecipientsStatus::Ok,
                 {"a@x.jp", "b@x.jp"}},
        ReadCase{"text, a full-width blank is no at sign",
                 SendLogForm::Text,
                 "【送信先】\r\na@x.jp\r\n名前　だけ\r\nb@x.jp\r\n",
                 RecipientsStatus::Ok,
                 {"a@x.jp"}},
        ReadCase{"text, an HTML header line is not the text header",
                 SendLogForm::Text,
                 kHtmlHeader + "\r\na@x.jp \r\n",
                 RecipientsStatus::NoHeader,
                 {}},
        ReadCase{"html, subject with the marker in the title",
                 SendLogForm::Html,
                 "<head>\r\n<title>【送信先】 - zoripost </title>\r\n</head>\r\n" + kHtmlHeader +
                     "\r\n鈴木 (s@x.jp) \r\nb@x.jp \r\n<br>\r\n",
                 RecipientsStatus::Ok,
                 {"鈴木 (s@x.jp)", "b@x.jp"}},
        ReadCase{"html, the blank goes, references are decoded",
                 SendLogForm::Html,
                 kHtmlHeader +
                     "\r\nA &amp; B &lt;&quot;x&quot;&gt; (a@x.jp) \r\n&#x41;&#39;x@b.jp \r\n"
                     "&#64; \r\nc@x.jp \r\n",
                 RecipientsStatus::Ok,
                 {"A & B <\"x\"> (a@x.jp)", "A'x@b.jp"}},
        ReadCase{"html, unknown and wide references stay",
                 SendLogForm::Html,
                 kHtmlHeader + "\r\n&nbsp;&#12354;&amp (a@x.jp) \r\n<br>\r\n",
                 RecipientsStatus::Ok,
                 {"&nbsp;&#12354;&amp (a@x.jp)"}},
        ReadCase{"html, only the text header",
                 SendLogForm::Html,
                 "【送信先】\r\na@x.jp\r\n",
                 RecipientsStatus::NoHeader,
                 {}},
        ReadCase{"html, header then <br>",
                 SendLogForm::Html,
                 kHtmlHeader + "\r\n<br>\r\na@x.jp \r\n",
                 RecipientsStatus::NoEntries,
                 {}}));

TEST(ReadRecipientsLimits, AnOverlongRecipientLineIsRefusedButNotAnOverlongTitle) {
    const std::string longText(zp::kMaxRecipientLine + 1, 'x');
    const std::string tooLong = sjis("【送信先】\r\n" + longText + "@x.jp\r\n");
    EXPECT_EQ(zp::readSendLogRecipients(tooLong, SendLogForm::Text).status,
              RecipientsStatus::TooLarge);
    const std::string justFits =
        sjis("【送信先】\r\n" + std::string(zp::kMaxRecipientLine - 5, 'x') + "@x.jp\r\n");
    EXPECT_EQ(zp::readSendLogRecipients(justFits, SendLogForm::Text).status, RecipientsStatus::Ok);
    const std::string longTitle = sjis(longText + "\r\n【送信先】\r\na@x.jp\r\n");
    EXPECT_EQ(zp::readSendLogRecipients(longTitle, SendLogForm::Text).status, RecipientsStatus::Ok);
}

TEST(ReadRecipientsLimits, TooManyRecipientsAreRefused) {
    std::string many = "【送信先】\r\n";
    for (std::size_t i = 0; i < zp::kMaxRecipients; ++i)
        many += "a@x.jp\r\n";
    EXPECT_EQ(zp::readSendLogRecipients(sjis(many), SendLogForm::Text).entries.size(),
              zp::kMaxRecipients);
    EXPECT_EQ(zp::readSendLogRecipients(sjis(many + "b@x.jp\r\n"), SendLogForm::Text).status,
              RecipientsStatus::TooLarge);
}

} // namespace
