// The send operation from the real window (offscreen) against real servers on 127.0.0.1:
// aiosmtpd with and without AUTH LOGIN, Dovecot for POP before SMTP, and a scripted server
// for the failures. Every mail is read back by Python's email package (modern policy).
#include "mail_send_ui_support.h"

static ::testing::Environment* const kQt =
    ::testing::AddGlobalTestEnvironment(new zp::test::QtEnvironment);

namespace {

using namespace sendtest;

// --- real servers ------------------------------------------------------------------------

struct MailCase {
    const char* name;
    bool auth;
    bool pop;
    int subjectKanji;
    enum { Picture, File, None } attachment;
    const char* host;
    const char* typed = nullptr; // subject, sender name and a body line typed as this text
    int charset = -1;            // [mail] charset; -1: no such key
    const char* fileName = "report.bin";
    const char* bodyCharset = "iso-2022-jp";
    const char* bodyOnly = nullptr; // a body line typed as this text, in the body alone
};

void PrintTo(const MailCase& c, std::ostream* os) {
    *os << c.name;
}

class SendRealServer : public SendWindow, public ::testing::WithParamInterface<MailCase> {
protected:
    static void SetUpTestSuite() {
        try {
            s_dovecot = new zp::test::DovecotServer();
        } catch (const std::exception& e) {
            s_failure = e.what();
        }
    }
    static void TearDownTestSuite() {
        delete s_dovecot;
        s_dovecot = nullptr;
    }
    static zp::test::DovecotServer* s_dovecot;
    static std::string s_failure;
};

zp::test::DovecotServer* SendRealServer::s_dovecot = nullptr;
std::string SendRealServer::s_failure;

TEST_P(SendRealServer, MailReadsBackAsTyped) {
    const MailCase& c = GetParam();
    ASSERT_NE(s_dovecot, nullptr) << s_failure;
    SmtpServer smtp(c.auth);
    // The window finds both servers through the ports of its settings file.
    open(QStringLiteral("[smtp]\r\nhost=%1\r\nuser=alice\r\naddr=me@example.jp\r\nport=%2\r\n"
                        "name=山田 太郎\r\n[pop3]\r\nhost=127.0.0.1\r\nname=%3\r\nport=%4\r\n"
                        "[general]\r\nuserpbs=%5\r\nreply_to=back@example.jp\r\n%6")
             .arg(QString::fromLatin1(c.host))
             .arg(smtp.port)
             .arg(QString::fromLatin1(kPassword))
             .arg(s_dovecot->port)
             .arg(c.pop ? 1 : 0)
             .arg(c.charset < 0 ? QString()
                                : QStringLiteral("[mail]\r\ncharset=%1\r\n").arg(c.charset)));
    EXPECT_EQ(window->mailPorts().smtp, smtp.port);
    addRecipient(QStringLiteral("山田 花子 (hanako@example.jp)"), true);
    addRecipient(QStringLiteral("nobody@example.jp"), false);
    addRecipient(QStringLiteral("taro@example.jp"), true);
    // A stale collapsed list: the checks decide, not what a focus change last copied.
    control<QListWidget>("lstSelectedAddr")->addItem(QStringLiteral("stale@example.jp"));
    const QString typed = QString::fromUtf8(c.typed);
    const QString subject = c.typed ? typed : kanji(c.subjectKanji);
    const QString name = c.typed ? typed : QStringLiteral("山田 太郎");
    setText("edtTitle", subject);
    setText("edtSMTPName", name);
    // The edit box gives LF line ends; "." lines must be dot-stuffed.
    const QString body =
        (c.typed ? QStringLiteral("本文") + typed + QLatin1Char('\n') : QString()) +
        (c.bodyOnly ? QString::fromUtf8(c.bodyOnly) + QLatin1Char('\n') : QString()) +
        QStringLiteral("こんにちは\n.\n..x\n最後の行");
    control<QPlainTextEdit>("memoBody")->setPlainText(body);
    std::string attachment;
    if (c.attachment == MailCase::Picture) {
        takePicture();
        attachment = readFile(window->workingJpegPath());
    } else if (c.attachment == MailCase::File) {
        const QString path = dir.filePath(QString::fromUtf8(c.fileName));
        attachment = std::string(1000, '\x01') + std::string("\x00\xFF\r\n.", 5);
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(attachment.data(), static_cast<qint64>(attachment.size()));
        f.close();
        attachFile(path);
    }
    markStatus();
    ASSERT_TRUE(send());

    QStringList expected = {m_firstLine,
                            QStringLiteral("送信先：hanako@example.jp, taro@example.jp")};
    if (c.pop)
        expected << QStringLiteral("POP3サーバに接続しました")
                 << QStringLiteral("POP3サーバから切断しました");
    expected << QStringLiteral("メールサーバと接続中です") << QStringLiteral("メール送信中…")
             << QStringLiteral("送信に成功しました") << QStringLiteral("メールを送信しました");
    EXPECT_EQ(statusLines(), expected);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(control<QWidget>("pnlMain")->isEnabled());
    EXPECT_FALSE(window->sendInProgress());
    ASSERT_TRUE(QFile::exists(smtp.file("1.eml")));
    EXPECT_EQ(readFile(smtp.file("1.env")),
              "MAIL FROM me@example.jp\nRCPT TO hanako@example.jp\nRCPT TO taro@example.jp\n");
    auto mail = parseMail(smtp.file("1.eml"));
    EXPECT_EQ(mail["subject"], subject.toStdString());
    EXPECT_EQ(mail["from_name"], name.toStdString());
    EXPECT_EQ(mail["from_addr"], "me@example.jp");
    EXPECT_EQ(mail["to"], "hanako@example.jp, taro@example.jp");
    EXPECT_EQ(mail["reply_to"], "back@example.jp");
    EXPECT_EQ(mail["x_mailer"], "zoripost version " + TfrmMain::getFileVersion().toStdString());
    // Python gives the lines with LF ends.
    EXPECT_EQ(mail["body"], escaped(body + QStringLiteral("\n")));
    EXPECT_EQ(mail["body_charset"], c.bodyCharset);
    EXPECT_EQ(mail["defects"], "");
    if (c.attachment == MailCase::None) {
        EXPECT_EQ(mail.count("attachment_hex"), 0u);
    } else {
        EXPECT_EQ(mail["attachment_type"],
                  c.attachment == MailCase::Picture ? "image/jpeg" : "application/octet-stream");
        EXPECT_EQ(mail["attachment_filename"],
                  c.attachment == MailCase::Picture ? "zoripost.jpg" : c.fileName);
        EXPECT_EQ(mail["attachment_hex"],
                  QByteArray::fromStdString(attachment).toHex().toStdString());
    }
    // The ports stay in the file for the next start.
    window->close();
    const std::string ini = readFile(dir.filePath(QStringLiteral("zoripost.ini")));
    EXPECT_NE(ini.find("port=" + std::to_string(smtp.port)), std::string::npos);
    EXPECT_EQ(ini.find("charset=") != std::string::npos, c.charset >= 0);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, SendRealServer, ::testing::Values(
    MailCase{"PictureOneKanjiAuth", true, false, 1, MailCase::Picture, "127.0.0.1"},
    MailCase{"Picture19KanjiPop", false, true, 19, MailCase::Picture, "localhost"},
    MailCase{"File20KanjiAuthPop", true, true, 20, MailCase::File, "127.0.0.1", nullptr, -1,
             "報告書.pdf"},
    MailCase{"Text60KanjiPaddedHost", false, false, 60, MailCase::None, " 127.0.0.1 "},
    MailCase{"NoSubject", true, false, 0, MailCase::None, "127.0.0.1"},
    MailCase{"TypedBeyondJisAuto", true, false, 0, MailCase::File, "127.0.0.1",
             "写真①㈱髙﨑 📷", -1, "報告書.pdf", "utf-8"},
    MailCase{"JisByHand", false, false, 3, MailCase::Picture, "127.0.0.1", nullptr, 1},
    MailCase{"JisAsUtf8ByHand", false, false, 3, MailCase::File, "127.0.0.1", nullptr, 2,
             "report.bin", "utf-8"},
    MailCase{"EmojiOnlyInTheBodyAuto", false, false, 3, MailCase::None, "127.0.0.1", nullptr,
             -1, "report.bin", "utf-8", "写真です 📷"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// ISO-2022-JP chosen by hand for text it cannot carry: the user is asked first. No sends
// nothing and keeps the texts; Yes sends them with such characters replaced. The log keeps
// what was typed.
TEST_F(SendRealServer, HandChosenIso2022jpAsksBeforeReplacing) {
    SmtpServer smtp(false);
    open(QStringLiteral("[mail]\r\ncharset=1\r\n"));
    setServer(QStringLiteral("127.0.0.1"), smtp.port);
    addRecipient(QStringLiteral("taro@example.jp"), true);
    logTextInto(logs);
    setText("edtTitle", QStringLiteral("写真📷"));
    control<QPlainTextEdit>("memoBody")->setPlainText(QStringLiteral("本文①"));
    dialogs.answer = zp::MsgAnswer::No;
    control<QAbstractButton>("btnSend")->click();
    const QString question =
        QStringLiteral("「📷」(U+1F4F7) はISO-2022-JPで送れない文字です。\r\n"
                       "このような文字をすべて「〓」に置き換えて送信しますか？\r\n"
                       "（文字コードを「自動」か「UTF-8」にすると、入力したとおりに送れます）");
    EXPECT_EQ(shown(MsgKind::Confirmation), QStringList{question});
    EXPECT_FALSE(op->sending());
    EXPECT_TRUE(control<QWidget>("pnlMain")->isEnabled());
    EXPECT_EQ(control<QLineEdit>("edtTitle")->text(), QStringLiteral("写真📷"));
    EXPECT_TRUE(QDir(logs).isEmpty()) << "no send, no log";

    dialogs.answer = zp::MsgAnswer::Yes;
    ASSERT_TRUE(send());
    auto mail = parseMail(smtp.file("1.eml"));
    EXPECT_EQ(mail["subject"], "写真〓");
    EXPECT_EQ(mail["body"], "本文〓\\n");
    EXPECT_EQ(mail["body_charset"], "iso-2022-jp");
    EXPECT_NE(onlyLog(logs).find(zp::toSjis(QStringLiteral("写真")) + "&#x1F4F7;"),
              std::string::npos);
}

// A wrong POP3 password is shown by its event; the SMTP server then decides.
TEST_F(SendRealServer, Pop3LogInRefused) {
    ASSERT_NE(s_dovecot, nullptr) << s_failure;
    SmtpServer smtp(false);
    open();
    setServer(QStringLiteral("127.0.0.1"), smtp.port);
    zp::MailPorts ports = window->mailPorts();
    ports.pop3 = s_dovecot->port;
    window->setMailPorts(ports);
    control<QAbstractButton>("chkPOPbSMTP")->setChecked(true);
    setText("edtPOP3Host", QStringLiteral("127.0.0.1"));
    setText("edtPOP3Pwd", QStringLiteral("wrong"));
    addRecipient(QStringLiteral("taro@example.jp"), true);
    markStatus();
    ASSERT_TRUE(send());
    EXPECT_EQ(shown(MsgKind::Error),
              QStringList{QStringLiteral("POP3のユーザIDとパスワードを正しく設定してください")});
    EXPECT_EQ(statusLines().mid(2, 3),
              (QStringList{QStringLiteral("POP3のユーザIDとパスワードを正しく設定してください"),
                           QStringLiteral("POP3サーバから切断しました"),
                           QStringLiteral("メールサーバと接続中です")}));
    EXPECT_TRUE(QFile::exists(smtp.file("1.eml")));
}

// A picture mail logged as HTML in the recipients' folders: the named one in its folder,
// the unnamed one in the log folder itself, each with the picture beside it.
TEST_F(SendRealServer, HtmlLogInNameFolders) {
    SmtpServer smtp(false);
    open();
    setServer(QStringLiteral("127.0.0.1"), smtp.port);
    addRecipient(QStringLiteral("山田 & 花子 (hanako@example.jp)"), true);
    addRecipient(QStringLiteral("taro@example.jp"), true);
    setText("edtTitle", QStringLiteral("A<B"));
    control<zp::RadioGroup>("radLogSave")->setItemIndex(3);
    setText("edtSaveDir", logs);
    control<QAbstractButton>("chkMakeNameDir")->setChecked(true);
    takePicture();
    const std::string jpeg = readFile(window->workingJpegPath());
    ASSERT_TRUE(send());
    const QString named = logs + QStringLiteral("/山田 & 花子");
    for (const QString& folder : {logs, named}) {
        const QStringList logsThere = QDir(folder).entryList({QStringLiteral("*.html")});
        ASSERT_EQ(logsThere.size(), 1) << folder.toStdString();
        const QString base = logsThere.first().chopped(5);
        EXPECT_EQ(readFile(folder + QLatin1Char('/') + base + QStringLiteral(".jpg")), jpeg);
        const QString html = zp::fromSjis(readFile(folder + QLatin1Char('/') + logsThere.first()));
        for (const QString& line :
             {QStringLiteral("<title>A&lt;B - zoripost </title>"),
              QStringLiteral("送信<font color=\"blue\">成功</font><br>"),
              QStringLiteral("山田 &amp; 花子 (hanako@example.jp) \r\ntaro@example.jp \r\n<br>"),
              QStringLiteral("<img src=\"") + base + QStringLiteral(".jpg\">")})
            EXPECT_TRUE(html.contains(line)) << line.toStdString();
    }
    EXPECT_TRUE(dialogs.messages.empty());
}

// --- failures ------------------------------------------------------------------------------

struct FailureCase {
    const char* name;
    std::vector<zp::test::Step> script; // empty: no server
    const char* host;
    std::vector<QString> reports; // any one of them
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class SendFailure : public SendWindow, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SendFailure, ReportsAndLogsTheFailure) {
    const FailureCase& c = GetParam();
    std::unique_ptr<FakeServer> server;
    if (!c.script.empty())
        server = std::make_unique<FakeServer>(c.script);
    open();
    op->setTimeLimits(5000ms, 700ms, 5000ms);
    setServer(QString::fromLatin1(c.host), server ? server->port() : zp::test::unusedPort());
    setText("edtPOP3Pwd", QStringLiteral("pw"));
    addRecipient(QStringLiteral("Taro (taro@example.jp)"), true);
    logTextInto(logs);
    markStatus();
    ASSERT_TRUE(send());
    const QStringList errors = shown(MsgKind::Error);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_NE(std::find(c.reports.begin(), c.reports.end(), errors.first()), c.reports.end())
        << errors.first().toStdString();
    // The memo shows the report's lines as lines of their own.
    const QString memo = statusLines().join(QLatin1Char('\n'));
    EXPECT_TRUE(
        memo.endsWith(QString(errors.first()).replace(QLatin1String("\r\n"), QLatin1String("\n")) +
                      QStringLiteral("\nメールを送信できませんでした")))
        << memo.toStdString();
    EXPECT_EQ(window->statusText(), QStringLiteral("メールを送信できませんでした"));
    EXPECT_TRUE(control<QWidget>("pnlMain")->isEnabled());
    EXPECT_TRUE(control<QWidget>("pnlConfig")->isEnabled());
    EXPECT_NE(onlyLog(logs).find(zp::toSjis(QStringLiteral("送信失敗"))), std::string::npos);
    // The checks stay for another try.
    EXPECT_EQ(control<QListWidget>("chlAddr")->item(0)->checkState(), Qt::Checked);
    if (server) {
        const auto lines = server->transcript();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "."),
                  c.name == std::string("ClosedInData"));
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, SendFailure, ::testing::Values(
    FailureCase{"RecipientRefused",
        zp::test::script({greeting(), reply("250 ok"), reply("250 ok"),
                          reply("550 5.1.1 <taro@example.jp>: Recipient address rejected")}),
        "127.0.0.1", {QStringLiteral("550 5.1.1 <taro@example.jp>: Recipient address rejected")}},
    FailureCase{"WrongPassword",
        zp::test::script({greeting("250-fake.test\r\n250 AUTH LOGIN"), reply("334 VXNlcm5hbWU6"),
                          reply("334 UGFzc3dvcmQ6"),
                          reply("535 5.7.8 Authentication credentials invalid")}),
        "127.0.0.1", {QStringLiteral("535 5.7.8 Authentication credentials invalid")}},
    FailureCase{"NotFullyQualified",
        zp::test::script({greeting(), reply("250 ok"),
                          reply("504 5.5.2 <me>: Sender address rejected: need fully-qualified address")}),
        "127.0.0.1",
        {QStringLiteral("504 5.5.2 <me>: Sender address rejected: need fully-qualified address\r\n"
                        "サーバ設定にて正しい利用者メールを設定してください")}},
    FailureCase{"ClosedInData",
        zp::test::script({greeting(), reply("250 ok"), reply("250 ok"), reply("250 ok"),
                          reply("354 go ahead"), {readData(), zp::test::hangUp()}}),
        "127.0.0.1", {QStringLiteral("Connection Closed Gracefully.")}},
    FailureCase{"SilentServer", {serverLine("220 fake.test ESMTP"), read()}, "127.0.0.1",
        {QStringLiteral("Socket Error # 10060\r\nConnection timed out.")}},
    FailureCase{"HostNotFound", {}, "nonexistent.invalid",
        {QStringLiteral("Socket Error # 11001\r\nSMTPサーバが見つかりませんでした"),
         QStringLiteral("Socket Error # 11002\r\nSMTPサーバが見つかりませんでした")}},
    FailureCase{"ConnectionRefused", {}, "127.0.0.1", {kRefused}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// --- checks before any traffic --------------------------------------------------------------

struct CheckCase {
    const char* name;
    const char* field;
    QString value;
    QString entry;
    QString message;
};

void PrintTo(const CheckCase& c, std::ostream* os) {
    *os << c.name;
}

class SendChecks : public SendWindow, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(SendChecks, RefusedWithItsBoxAndNothingElse) {
    const CheckCase& c = GetParam();
    FakeServer server({});
    open();
    setServer(QStringLiteral("127.0.0.1"), server.port());
    addRecipient(c.entry, true);
    if (c.field[0])
        setText(c.field, c.value);
    markStatus();
    control<QAbstractButton>("btnSend")->click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].kind, MsgKind::Information);
    EXPECT_EQ(dialogs.messages[0].text, c.message);
    EXPECT_EQ(statusLines(), QStringList{m_firstLine});
    EXPECT_TRUE(control<QWidget>("pnlMain")->isEnabled());
    EXPECT_FALSE(window->sendInProgress());
    EXPECT_FALSE(server.accepted());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, SendChecks, ::testing::Values(
    CheckCase{"NoHost", "edtSMTPHost", QStringLiteral(" \t"), kTaro,
              QStringLiteral("メールサーバが指定されていません。\r\n設定画面にてメールサーバを指定してください。")},
    CheckCase{"NoUser", "edtSMTPUser", QString(), kTaro,
              QStringLiteral("ユーザ名が指定されていません。\r\n設定画面にてユーザ名を指定してください。")},
    CheckCase{"NoAddress", "edtSMTPAddr", QStringLiteral(" "), kTaro,
              QStringLiteral("利用者メールアドレスが指定されていません。\r\n設定画面にて利用者メールアドレスを指定してください。")},
    CheckCase{"NoRecipientAddress", "", QString(), QStringLiteral("Taro ()"),
              QStringLiteral("送信先メールアドレスが指定されていません。\r\n送信先メールアドレスを指定してください。")},
    CheckCase{"SenderWithBracket", "edtSMTPAddr", QStringLiteral("me>@example.jp"), kTaro,
              QStringLiteral("利用者メールアドレスに使えない文字が含まれています。\r\n設定画面にて利用者メールアドレスを正しく指定してください。")},
    CheckCase{"RecipientWithControl", "", QString(), QStringLiteral("Taro (taro@exa\tmple.jp)"),
              QStringLiteral("送信先メールアドレスに使えない文字が含まれています。\r\n送信先メールアドレスを正しく指定してください。")},
    CheckCase{"ReplyToWithBracket", "edtReplyTo", QStringLiteral("a@b, c<d@e"), kTaro,
              QStringLiteral("Reply-Toヘッダのアドレスに使えない文字が含まれています。\r\n設定画面にてReply-Toヘッダを正しく指定してください。")}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// --- the window during a send ---------------------------------------------------------------

} // namespace
