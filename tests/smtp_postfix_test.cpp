// Debian's Postfix as the server, with the restrictions of a submission server:
// reject_non_fqdn_helo_hostname, reject_non_fqdn_sender and bare line ends refused. What it
// delivers is read back from its mailbox with Python's email package and its modern policy.
#include "fake_server.h"
#include "mail/headerencode.h"
#include "mail/jis.h"
#include "mail/mailerror.h"
#include "mail/message.h"
#include "mail/smtpclient.h"
#include "mail_text_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <random>
#include <sstream>

namespace zp {
namespace {

using namespace std::chrono_literals;
using test::bodyLines;
using test::sjis;

constexpr const char* kPostfixMaster = "/usr/lib/postfix/sbin/master";

std::map<std::string, std::string> strictlyRead(const std::string& path) {
    return test::pythonFields("strict_read.py", path);
}

struct PostfixCase {
    const char* name;
    std::string localName; // empty: this machine's own
    std::string sender;
    std::string subject; // UTF-8
    std::string senderName;
    std::string body;   // lines joined by CR LF
    int attachmentSize; // -1: none
    std::string error;  // expected in the error text; empty: delivered
    bool utf8 = false;  // the texts go out as UTF-8
};

void PrintTo(const PostfixCase& c, std::ostream* os) {
    *os << c.name;
}

class PostfixDelivery : public ::testing::TestWithParam<PostfixCase> {};

TEST_P(PostfixDelivery, ReadBackExactly) {
    const PostfixCase& c = GetParam();
    if (::geteuid() != 0 || !std::filesystem::exists(kPostfixMaster))
        GTEST_SKIP() << "Postfix runs only as root, from scripts/install-deps.sh test";
    test::TempDir work;
    const std::string serverDir = work.file("postfix");
    std::filesystem::create_directory(serverDir);
    // Postfix's own processes run as the postfix user and must get through to its folders.
    std::filesystem::permissions(std::filesystem::path(serverDir).parent_path(),
                                 std::filesystem::perms::others_exec,
                                 std::filesystem::perm_options::add);
    test::ServerProcess server({ZP_SYSTEM_PYTHON, ZP_TEST_SCRIPTS "/postfix_server.py", serverDir});
    // Postfix runs on in processes of its own unless the script is let stop it.
    struct StopGently {
        test::ServerProcess& process;
        ~StopGently() { process.stop(SIGTERM, 15s); }
    } stopGently{server};
    const std::string portLine = server.waitForLine("PORT ", 30s);

    std::string bytes;
    std::mt19937 random(11);
    for (int i = 0; i < c.attachmentSize; ++i)
        bytes += static_cast<char>(random());
    test::writeText(work.file("zoripost.jpg"), bytes);
    MailMessage m;
    m.From.Address = c.sender;
    m.Recipients.setText("a@example.jp, b@example.jp");
    if (c.utf8) {
        m.From.Name = c.senderName;
        m.Subject = c.subject;
        m.Body = bodyLines(c.body);
        m.CharSet = "UTF-8";
    } else {
        m.From.Name = encodeHeaderText(sjisToJis(sjis(c.senderName)));
        m.Subject = encodeHeaderText(sjisToJis(sjis(c.subject)));
        m.Body = bodyLines(sjisToJis(sjis(c.body)));
        m.CharSet = "ISO-2022-JP";
    }
    m.ContentType = "text/plain";
    m.ExtraHeaders.setValue("X-Mailer", "zoripost version 1.0.0.0");
    if (c.attachmentSize >= 0)
        m.addAttachment(work.file("zoripost.jpg")).setContentType("image/jpeg");

    SmtpClient client;
    client.Host = "127.0.0.1";
    client.Port = static_cast<std::uint16_t>(std::stoi(portLine.substr(portLine.find(' ') + 1)));
    client.LocalName = c.localName;
    client.ConnectTimeout = 10s;
    client.ReplyTimeout = 20s;
    client.DataEndTimeout = 20s;
    std::string error;
    try {
        client.Connect();
        client.Send(m);
    } catch (const MailError& e) {
        error = e.what();
    }
    client.Disconnect();
    if (!c.error.empty()) {
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        return;
    }
    ASSERT_EQ(error, "");
    const std::string delivered = server.waitForLine("DELIVERED ", 30s);
    const auto f = strictlyRead(delivered.substr(delivered.find(' ') + 1));
    test::expectReadExactly(f, c.subject, c.sender, c.senderName, c.body,
                            c.attachmentSize >= 0 ? &bytes : nullptr,
                            c.utf8 ? "utf-8" : "iso-2022-jp");
}

const std::string kLongSubject = "テスト送信：写真です。長い件名で符号化された語が七十五文字を超"
                                 "えるかどうかを確かめます";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Postfix, PostfixDelivery, ::testing::Values(
    PostfixCase{"ThisMachineWithPicture", "", "me@example.jp", kLongSubject, "山田 太郎",
                "こんにちは\r\n.\r\n..x\r\n最後の行", 5000, ""},
    PostfixCase{"BareHostNameTextOnly", "vm", "me@example.jp", "写真", "", "本文", -1, ""},
    PostfixCase{"QualifiedName", "client.example.jp", "me@example.jp", "Re: 写真 2026",
                "Yamada 太郎", "", 0, ""},
    PostfixCase{"SenderNotQualified", "", "me@vm", "写真", "", "本文", -1,
                "need fully-qualified address"},
    PostfixCase{"Utf8WithPicture", "", "me@example.jp", "写真①㈱髙﨑 📷", "山田 📷",
                "本文①㈱髙﨑 📷\r\n.\r\nか\u3099", 3000, "", true}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

} // namespace
} // namespace zp
