// Mail sent to a real SMTP server (aiosmtpd) on 127.0.0.1, read back by Python's
// email package: what a mail reader shows must be what the user wrote.
#include "fake_server.h"
#include "mail/headerencode.h"
#include "mail/jis.h"
#include "mail/mailerror.h"
#include "mail/message.h"
#include "mail/smtpclient.h"
#include "support/command.h"
#include "support/files.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>

namespace zp {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Shift-JIS texts as the window hands them over, and what a reader must show.
const std::string kSubjectSjis =
    "\x83"
    "e\x83X\x83g\x91\x97\x90M\x81"
    "F\x8E\xCA\x90^\x82\xC5\x82\xB7\x81"
    "B\x92\xB7\x82\xA2\x8C\x8F\x96\xBC\x82\xC5\x95\x84\x8D\x86\x89\xBB\x82\xB3\x82\xEA\x82\xBD"
    "\x8C\xEA\x82\xAA\x8E\xB5\x8F\\\x8C\xDC\x95\xB6\x8E\x9A\x82\xF0\x92\xB4\x82\xA6\x82\xE9\x82"
    "\xA9\x82\xC7\x82\xA4\x82\xA9\x82\xF0\x8Am\x82\xA9\x82\xDF\x82\xDC\x82\xB7";
const std::string kSubjectUtf8 = "テスト送信：写真です。長い件名で符号化された語が七十五文字を超"
                                 "えるかどうかを確かめます";
const std::string kNameSjis = "\x8ER\x93"
                              "c \x91\xBE\x98Y";
const std::string kNameUtf8 = "山田 太郎";
const std::string kBodySjis = "\x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD\r\n.\r\n..x\r\n"
                              "\x8D\xC5\x8C\xE3\x82\xCC\x8Ds";
const std::string kBodyUtf8 = "こんにちは\\n.\\n..x\\n最後の行\\n";

const char* kUser = "alice";
const char* kPassword = "p@ss w=rd";

// One aiosmtpd process saving into its own folder.
struct RealSmtpServer {
    explicit RealSmtpServer(bool offerAuth) {
        std::vector<std::string> argv = {ZP_SYSTEM_PYTHON, ZP_TEST_SCRIPTS "/smtp_server.py",
                                         dir.string()};
        if (offerAuth) {
            argv.push_back("--auth");
            argv.push_back(std::string(kUser) + ":" + kPassword);
        }
        process = std::make_unique<test::ServerProcess>(argv);
        const std::string line = process->waitForLine("PORT ", 15s);
        port = static_cast<std::uint16_t>(std::stoi(line.substr(line.find("PORT ") + 5)));
    }
    test::TempDir tmp{"zp_smtp_"};
    const fs::path dir = tmp.path();
    std::unique_ptr<test::ServerProcess> process;
    std::uint16_t port = 0;
    int received = 0;
};

std::map<std::string, std::string> readBack(const fs::path& eml, const fs::path& attachmentOut) {
    const std::string command = std::string(ZP_SYSTEM_PYTHON) + " " + ZP_TEST_SCRIPTS +
                                "/check_mail.py '" + eml.string() + "' '" + attachmentOut.string() +
                                "'";
    std::map<std::string, std::string> fields;
    const std::string text = test::runShell(command).output;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string line = text.substr(start, end - start);
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos) {
            fields[line.substr(0, eq)] = line.substr(eq + 1);
        }
        start = end + 1;
    }
    return fields;
}

// Filled the way the send operation fills it.
void fillMessage(MailMessage& message, const fs::path& attachment) {
    message.Subject = encodeHeaderText(sjisToJis(kSubjectSjis));
    message.Recipients.setText("a@example.jp, b@example.jp");
    message.From.setText("me@example.jp");
    message.From.Name = encodeHeaderText(sjisToJis(kNameSjis));
    const std::string body = sjisToJis(kBodySjis);
    for (std::size_t start = 0;;) {
        const std::size_t end = body.find("\r\n", start);
        message.Body.push_back(body.substr(start, end - start));
        if (end == std::string::npos) {
            break;
        }
        start = end + 2;
    }
    message.CharSet = "ISO-2022-JP";
    message.ContentType = "text/plain";
    message.ReplyTo.setText("reply@example.jp");
    message.ExtraHeaders.setValue("X-Mailer", "zoripost version 1.0.0.0");
    if (!attachment.empty()) {
        message.addAttachment(attachment.string()).setContentType("image/jpeg");
    }
}

struct SendCase {
    const char* name;
    bool offerAuth;
    std::string password;
    long attachmentSize; // -1: no attachment
    std::string error;   // start of the error text; empty: sent
};

void PrintTo(const SendCase& c, std::ostream* os) {
    *os << c.name;
}

class SmtpRealServer : public ::testing::TestWithParam<SendCase> {};

TEST_P(SmtpRealServer, SendAndReadBack) {
    const SendCase& c = GetParam();
    RealSmtpServer server(c.offerAuth);
    const test::TempDir workDir("zp_smtp_work_");
    const fs::path work = workDir.path();
    fs::path attachment;
    std::string attachmentBytes;
    if (c.attachmentSize >= 0) {
        attachment = work / "zoripost.jpg";
        std::mt19937 random(static_cast<unsigned>(c.attachmentSize));
        attachmentBytes.resize(static_cast<std::size_t>(c.attachmentSize));
        for (char& b : attachmentBytes) {
            b = static_cast<char>(random());
        }
        std::ofstream(attachment, std::ios::binary) << attachmentBytes;
    }
    MailMessage message;
    fillMessage(message, attachment);

    SmtpClient client;
    client.Host = "LOCALHOST";
    client.Port = server.port;
    client.UserId = kUser;
    client.ConnectTimeout = 5s;
    client.ReplyTimeout = 10s;
    client.DataEndTimeout = 20s;
    std::string error;
    try {
        client.AuthenticationType = atNone;
        client.Connect();
        const auto& schemes = client.AnnouncedAuthSchemes();
        const bool login = std::find(schemes.begin(), schemes.end(), "LOGIN") != schemes.end();
        EXPECT_EQ(login, c.offerAuth);
        if (login) {
            client.AuthenticationType = atLogin;
            client.Password = c.password;
            client.Authenticate();
        }
        client.Send(message);
    } catch (const MailError& e) {
        error = e.what();
    }
    client.Disconnect();

    if (!c.error.empty()) {
        EXPECT_EQ(error.substr(0, c.error.size()), c.error) << error;
        EXPECT_FALSE(fs::exists(server.dir / "1.eml"));
        return;
    }
    ASSERT_EQ(error, "");
    ASSERT_TRUE(fs::exists(server.dir / "1.eml"));
    EXPECT_EQ(test::readText(server.dir / "1.env"),
              "MAIL FROM me@example.jp\nRCPT TO a@example.jp\nRCPT TO b@example.jp\n");
    auto fields = readBack(server.dir / "1.eml", work / "attachment.out");
    EXPECT_EQ(fields["subject"], kSubjectUtf8);
    EXPECT_EQ(fields["from_name"], kNameUtf8);
    EXPECT_EQ(fields["from_address"], "me@example.jp");
    EXPECT_EQ(fields["to"], "a@example.jp, b@example.jp");
    EXPECT_EQ(fields["reply_to"], "reply@example.jp");
    EXPECT_EQ(fields["x_mailer"], "zoripost version 1.0.0.0");
    EXPECT_EQ(fields["has_date"], "yes");
    EXPECT_EQ(fields["body"], kBodyUtf8);
    if (c.attachmentSize < 0) {
        EXPECT_EQ(fields["content_type"], "text/plain");
        EXPECT_EQ(fields["charset"], "ISO-2022-JP");
        EXPECT_EQ(fields["mime_version"], "1.0");
        EXPECT_EQ(fields["attachments"], "0");
    } else {
        EXPECT_EQ(fields["content_type"], "multipart/mixed");
        EXPECT_EQ(fields["mime_version"], "1.0");
        EXPECT_EQ(fields["attachments"], "1");
        EXPECT_EQ(fields["attachment_type"], "image/jpeg");
        EXPECT_EQ(fields["attachment_filename"], "zoripost.jpg");
        EXPECT_EQ(fields["attachment_disposition"], "attachment");
        EXPECT_EQ(fields["attachment_size"], std::to_string(c.attachmentSize));
        EXPECT_TRUE(test::readText(work / "attachment.out") == attachmentBytes);
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Aiosmtpd, SmtpRealServer, ::testing::Values(
    SendCase{"AuthLoginWithPicture", true, kPassword, 5000, ""},
    SendCase{"AuthLoginTextOnly", true, kPassword, -1, ""},
    SendCase{"NoAuthOfferedTextOnly", false, "", -1, ""},
    SendCase{"NoAuthOfferedEmptyAttachment", false, "", 0, ""},
    SendCase{"AttachmentOfManyBlocks", false, "", 3 * 1024 * 1024 + 57, ""},
    SendCase{"WrongPassword", true, "wrong", -1, "535 5.7.8"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// Two messages over one connection, as the client allows.
TEST(SmtpRealServerSession, TwoMessagesOneConnection) {
    RealSmtpServer server(false);
    SmtpClient client;
    client.Host = "127.0.0.1";
    client.Port = server.port;
    client.ReplyTimeout = 10s;
    client.Connect();
    for (int i = 0; i < 2; ++i) {
        MailMessage message;
        fillMessage(message, {});
        client.Send(message);
    }
    client.Disconnect();
    EXPECT_TRUE(fs::exists(server.dir / "1.eml"));
    EXPECT_TRUE(fs::exists(server.dir / "2.eml"));
}

} // namespace
} // namespace zp
