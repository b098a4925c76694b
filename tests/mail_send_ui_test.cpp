// The send operation from the real window (offscreen) against real servers on 127.0.0.1:
// aiosmtpd with and without AUTH LOGIN, Dovecot for POP before SMTP, and a scripted server
// for the failures. Every mail is read back by Python's email package (modern policy).
#include "app/zoripost1.h"
#include "app_support.h"
#include "dovecot_server.h"
#include "fake_server.h"
#include "mail/ui/sendoperation.h"
#include "picture/preparedpicture.h"
#include "picture/ui/picturepage.h"
#include "platform/radiogroup.h"
#include "platform/soundplayer.h"
#include "platform/textcodec.h"
#include "support/command.h"
#include "support/files.h"
#include "support/rows.h"

#include <QAbstractButton>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <memory>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using zp::findControl;
using zp::MsgKind;

static ::testing::Environment* const kQt =
    ::testing::AddGlobalTestEnvironment(new zp::test::QtEnvironment);

namespace {

using zp::test::PrintTo;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const char* kUser = "alice";
const char* kPassword = "s3cret";

QString kanji(int count) {
    return QString(count, QChar(0x6F22)); // 漢
}

std::string readFile(const QString& path) {
    return zp::test::readText(QFile::encodeName(path).toStdString());
}

// One aiosmtpd process saving every mail into its own folder.
struct SmtpServer {
    explicit SmtpServer(bool offerAuth) {
        std::vector<std::string> argv = {ZP_SYSTEM_PYTHON, ZP_TEST_SCRIPTS "/smtp_server.py",
                                         dir.path().toStdString()};
        if (offerAuth) {
            argv.push_back("--auth");
            argv.push_back(std::string(kUser) + ":" + kPassword);
        }
        process = std::make_unique<zp::test::ServerProcess>(argv);
        const std::string line = process->waitForLine("PORT ", 15s);
        port = std::stoi(line.substr(line.find("PORT ") + 5));
    }
    QString file(const char* name) const { return dir.filePath(QLatin1String(name)); }
    QTemporaryDir dir;
    std::unique_ptr<zp::test::ServerProcess> process;
    int port = 0;
};

// What Python's email package (email.policy.default) reads from a saved mail.
std::map<std::string, std::string> parseMail(const QString& eml) {
    const std::string command = std::string(ZP_SYSTEM_PYTHON) + " '" + ZP_TEST_SCRIPTS +
                                "/parse_mail.py' '" + eml.toStdString() + "'";
    std::map<std::string, std::string> fields;
    const std::string text = zp::test::runShell(command).output;
    for (const QString& line : QString::fromStdString(text).split(QLatin1Char('\n'))) {
        const qsizetype tab = line.indexOf(QLatin1Char('\t'));
        if (tab > 0)
            fields[line.left(tab).toStdString()] = line.mid(tab + 1).toStdString();
    }
    return fields;
}

std::string escaped(const QString& text) {
    QString out = text;
    return out.replace(QLatin1String("\\"), QLatin1String("\\\\"))
        .replace(QLatin1String("\r"), QLatin1String("\\r"))
        .replace(QLatin1String("\n"), QLatin1String("\\n"))
        .toStdString();
}

class SendWindow : public ::testing::Test {
protected:
    // iniLines: the settings file written before the window is made.
    void open(const QString& iniLines = {}) {
        exe = dir.filePath(QStringLiteral("zoripost"));
        if (!iniLines.isEmpty()) {
            QFile ini(dir.filePath(QStringLiteral("zoripost.ini")));
            ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
            ini.write(QByteArray::fromStdString(zp::toSjis(iniLines)));
        }
        window = std::make_unique<TfrmMain>(exe);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        QCoreApplication::processEvents();
        dialogs.messages.clear();
        op = window->findChild<zp::SendOperation*>();
        ASSERT_NE(op, nullptr);
        op->setTimeLimits(5000ms, 10000ms, 10000ms);
        logs = dir.filePath(QStringLiteral("logs"));
        QDir().mkpath(logs);
    }
    template <class T> T* control(const char* name) { return findControl<T>(window.get(), name); }
    void setText(const char* name, const QString& text) { control<QLineEdit>(name)->setText(text); }
    void setServer(const QString& host, int port) {
        setText("edtSMTPHost", host);
        setText("edtSMTPUser", QString::fromLatin1(kUser));
        setText("edtSMTPAddr", QStringLiteral("me@example.jp"));
        zp::MailPorts ports = window->mailPorts();
        ports.smtp = port;
        window->setMailPorts(ports);
    }
    void addRecipient(const QString& entry, bool checked) {
        auto* item = new QListWidgetItem(entry);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
        control<QListWidget>("chlAddr")->addItem(item);
    }
    // A picture taken in: the working JPEG is made by the window's own pipeline.
    void takePicture() {
        zp::Bitmap b;
        b.resize(320, 240);
        std::mt19937 rng(5);
        for (auto& p : b.pixels)
            p = static_cast<std::uint8_t>(rng());
        zp::PicturePage* page = window->picturePage();
        page->setSource(zp::PictureSource::fromBitmap(std::move(b)));
        ASSERT_TRUE(page->makeJpeg(true));
    }
    void attachFile(const QString& path) {
        control<QWidget>("pnlAttach")->setVisible(true);
        control<QPlainTextEdit>("memAttach")->setPlainText(path);
    }
    void logTextInto(const QString& folder) {
        control<zp::RadioGroup>("radLogSave")->setItemIndex(1);
        setText("edtSaveDir", folder);
        control<QAbstractButton>("chkMakeNameDir")->setChecked(false);
    }
    // Clicks the send button and waits (bounded) for the send to end.
    bool send() {
        QSignalSpy finished(op, &zp::SendOperation::sendFinished);
        control<QAbstractButton>("btnSend")->click();
        return finished.count() > 0 || finished.wait(30000);
    }
    // The status lines since the window opened.
    QStringList statusLines() const {
        QStringList lines = findControl<QPlainTextEdit>(window.get(), "memoDebug")
                                ->toPlainText()
                                .split(QLatin1Char('\n'));
        return lines.mid(lines.indexOf(m_firstLine));
    }
    void markStatus() {
        m_firstLine = QStringLiteral("--mark--");
        window->reportStatus(m_firstLine, MsgKind::None);
    }
    QStringList shown(MsgKind kind) const {
        QStringList texts;
        for (const auto& m : dialogs.messages)
            if (m.kind == kind)
                texts << m.text;
        return texts;
    }
    std::string onlyLog(const QString& folder) const {
        const QStringList files = QDir(folder).entryList(QDir::Files);
        return files.size() == 1 ? readFile(folder + QLatin1Char('/') + files.first()) : "";
    }

    zp::test::ScriptedDialogs dialogs;
    QTemporaryDir dir;
    QString exe;
    QString logs;
    std::unique_ptr<TfrmMain> window;
    zp::SendOperation* op = nullptr;
    QString m_firstLine;
};

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
             "report.bin", "utf-8"}),
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

using zp::test::FakeServer;
using zp::test::read;
using zp::test::readData;

// A server line, and a line read from the client answered by one.
zp::test::Step serverLine(const std::string& line) {
    return zp::test::send(line + "\r\n");
}
std::vector<zp::test::Step> reply(const std::string& line) {
    return zp::test::reply(line + "\r\n");
}

std::vector<zp::test::Step> greeting(const std::string& ehlo = "250 fake.test") {
    return zp::test::script({{serverLine("220 fake.test ESMTP")}, reply(ehlo)});
}

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

const QString kRefused = QStringLiteral("Socket Error # 10061\r\nConnection refused.\r\n"
                                        "SMTPサーバとの接続に失敗しました");

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

const QString kTaro = QStringLiteral("Taro (taro@example.jp)");

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

// The server answers EHLO and then says nothing: the send waits, the window does not.
TEST_F(SendWindow, WindowStaysAliveAndCloseEndsTheSend) {
    FakeServer server(zp::test::script({greeting(), {read()}}), 20000ms);
    open();
    op->setTimeLimits(5000ms, 20000ms, 20000ms);
    setServer(QStringLiteral("127.0.0.1"), server.port());
    addRecipient(kTaro, true);
    logTextInto(logs);
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(5);
    control<QAbstractButton>("btnSend")->click();
    EXPECT_TRUE(op->sending());
    EXPECT_TRUE(window->sendInProgress());
    EXPECT_FALSE(control<QWidget>("pnlMain")->isEnabled());
    // Bounded: the server stays silent far longer than this.
    QDeadlineTimer limit(10000);
    while (!(window->statusText() == QStringLiteral("メール送信中…") && ticks > 20) &&
           !limit.hasExpired())
        QTest::qWait(10);
    EXPECT_EQ(window->statusText(), QStringLiteral("メール送信中…"));
    EXPECT_GT(ticks, 20);
    EXPECT_TRUE(op->sending());
    // A second start (the automatic send after a drop) changes nothing.
    op->btnSendClick();
    EXPECT_TRUE(op->sending());

    QSignalSpy saved(window.get(), &TfrmMain::settingsSaved);
    window->close();
    EXPECT_FALSE(op->sending());
    EXPECT_EQ(saved.count(), 1);
    EXPECT_FALSE(window->sendInProgress());
    EXPECT_EQ(window->statusText(), QStringLiteral("メールを送信できませんでした"));
    EXPECT_TRUE(shown(MsgKind::Error).isEmpty());
    EXPECT_NE(onlyLog(logs).find(zp::toSjis(QStringLiteral("送信失敗"))), std::string::npos);
    const auto lines = server.transcript(5000ms);
    EXPECT_EQ(lines.back(), zp::test::kClosedMark);
}

// Writes into a pipe until it is full; false when nothing could be written.
bool fillPipe(int fd) {
    const std::string block(4096, 'z');
    bool wrote = false;
    while (::write(fd, block.data(), block.size()) > 0)
        wrote = true;
    return wrote;
}

// The attachment is a pipe that never ends: its encoding runs until the send is cancelled.
// The close stops it between two blocks, ends the send as a failure with its log, and the
// connection is closed at once instead of waiting for a read that would never return.
TEST_F(SendWindow, CloseWhileTheAttachmentIsEncodedEndsTheSend) {
    const QString fifo = dir.filePath(QStringLiteral("endless.bin"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // Read and write ends at once: the send's open does not wait, the pipe never ends.
    const int pipeFd = ::open(QFile::encodeName(fifo).constData(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(pipeFd, 0);
    ASSERT_TRUE(fillPipe(pipeFd));
    FakeServer server(zp::test::script({greeting(), reply("250 ok"), reply("250 ok"),
                                        reply("250 ok"), reply("354 go ahead")}),
                      20000ms);
    open();
    setServer(QStringLiteral("127.0.0.1"), server.port());
    addRecipient(kTaro, true);
    logTextInto(logs);
    attachFile(fifo);
    control<QAbstractButton>("btnSend")->click();
    // The encoding has begun once the pipe takes bytes again; then it is filled once more,
    // so the encoding has blocks to read after the close.
    QDeadlineTimer limit(20000);
    while (!fillPipe(pipeFd) && !limit.hasExpired())
        QTest::qWait(10);
    ASSERT_FALSE(limit.hasExpired()) << "the attachment was never read";
    // The pipe is kept full until the close has ended, so the encoding always has a block
    // to read when the cancel comes, however slowly either side runs.
    std::atomic<bool> closed{false};
    std::thread feeder([&] {
        while (!closed) {
            fillPipe(pipeFd);
            std::this_thread::sleep_for(1ms);
        }
    });
    window->close();
    closed = true;
    feeder.join();
    EXPECT_FALSE(op->sending());
    EXPECT_EQ(window->statusText(), QStringLiteral("メールを送信できませんでした"));
    EXPECT_TRUE(shown(MsgKind::Error).isEmpty());
    EXPECT_NE(onlyLog(logs).find(zp::toSjis(QStringLiteral("送信失敗"))), std::string::npos);
    const auto lines = server.transcript(5000ms);
    ::close(pipeFd);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), zp::test::kClosedMark);
}

// POP3 failures are shown by their events and the send goes on with SMTP.
TEST_F(SendWindow, Pop3ConnectionFailureThenSmtp) {
    SmtpServer smtp(false);
    open();
    setServer(QStringLiteral("127.0.0.1"), smtp.port);
    zp::MailPorts ports = window->mailPorts();
    ports.pop3 = zp::test::unusedPort();
    window->setMailPorts(ports);
    control<QAbstractButton>("chkPOPbSMTP")->setChecked(true);
    setText("edtPOP3Host", QStringLiteral("127.0.0.1"));
    setText("edtPOP3Pwd", QStringLiteral("pw"));
    addRecipient(kTaro, true);
    control<QAbstractButton>("chkMailAddrAutoClear")->setChecked(true);
    markStatus();
    ASSERT_TRUE(send());
    EXPECT_EQ(statusLines().mid(1, 3),
              (QStringList{QStringLiteral("送信先：taro@example.jp"),
                           QStringLiteral("POP3サーバに接続できませんでした"),
                           QStringLiteral("メールサーバと接続中です")}));
    EXPECT_EQ(shown(MsgKind::Error),
              QStringList{QStringLiteral("POP3サーバに接続できませんでした")});
    EXPECT_EQ(window->statusText(), QStringLiteral("メールを送信しました"));
    EXPECT_TRUE(QFile::exists(smtp.file("1.eml")));
    EXPECT_EQ(control<QListWidget>("chlAddr")->item(0)->checkState(), Qt::Unchecked);
}

// A POP3 server that refuses the QUIT: the error is dropped like a failed log-in, the mail
// still goes out and the window is whole again afterwards.
TEST_F(SendWindow, Pop3QuitRefusedIsDropped) {
    FakeServer pop3(zp::test::script({{serverLine("+OK ready")},
                                      reply("+OK user"),
                                      reply("+OK pass"),
                                      reply("+OK 0 0"),
                                      reply("-ERR cannot quit")}));
    SmtpServer smtp(false);
    open();
    setServer(QStringLiteral("127.0.0.1"), smtp.port);
    zp::MailPorts ports = window->mailPorts();
    ports.pop3 = pop3.port();
    window->setMailPorts(ports);
    control<QAbstractButton>("chkPOPbSMTP")->setChecked(true);
    setText("edtPOP3Host", QStringLiteral("127.0.0.1"));
    setText("edtPOP3Pwd", QStringLiteral("pw"));
    addRecipient(kTaro, true);
    ASSERT_TRUE(send());
    EXPECT_EQ(pop3.transcript(), (std::vector<std::string>{"USER alice", "PASS pw", "STAT", "QUIT",
                                                           zp::test::kClosedMark}));
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(window->statusText(), QStringLiteral("メールを送信しました"));
    EXPECT_TRUE(control<QWidget>("pnlMain")->isEnabled());
    EXPECT_FALSE(window->sendInProgress());
    EXPECT_TRUE(QFile::exists(smtp.file("1.eml")));
}

struct ReportCase {
    std::string error;
    QString report;
};

class SendErrorReport : public ::testing::TestWithParam<ReportCase> {};

TEST_P(SendErrorReport, AppendsTheLineOfItsCode) {
    EXPECT_EQ(zp::SendOperation::errorReport(GetParam().error), GetParam().report);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, SendErrorReport, ::testing::Values(
    ReportCase{" Socket Error # 11002\r\n ", QStringLiteral("Socket Error # 11002\r\nSMTPサーバが見つかりませんでした")},
    ReportCase{"Socket Error # 10064\r\nHost is down.", QStringLiteral("Socket Error # 10064\r\nHost is down.\r\nSMTPサーバからの反応がありません")},
    ReportCase{"Socket Error # 10039\r\nDestination address required.", QStringLiteral("Socket Error # 10039\r\nDestination address required.\r\n送信先アドレスが不正です")},
    ReportCase{"Socket Error # 10022\r\nInvalid argument.", QStringLiteral("Socket Error # 10022\r\nInvalid argument.\r\n無効な引数エラー(ファイアウォールの設定を確認してください)")},
    // Only the first 20 characters are compared, so what follows them does not matter.
    ReportCase{"Socket Error # 100611", QStringLiteral("Socket Error # 100611\r\nSMTPサーバとの接続に失敗しました")},
    ReportCase{"Socket Error # 1006", QStringLiteral("Socket Error # 1006")},
    ReportCase{"x Socket Error # 10061", QStringLiteral("x Socket Error # 10061")},
    ReportCase{"Socket Error # 10061 need fully-qualified address", QStringLiteral("Socket Error # 10061 need fully-qualified address\r\nSMTPサーバとの接続に失敗しました\r\nサーバ設定にて正しい利用者メールを設定してください")}),
    [](const auto& info) { return "row" + std::to_string(info.index); });
// clang-format on

struct PortCase {
    const char* value;
    int port;
    bool written;
};

class SendPorts : public SendWindow, public ::testing::WithParamInterface<PortCase> {};

TEST_P(SendPorts, ReadAndWrittenBackOnlyWhenPresent) {
    const PortCase& c = GetParam();
    open(c.value ? QStringLiteral("[pop3]\r\nport=%1\r\n").arg(QLatin1String(c.value))
                 : QStringLiteral("[pop3]\r\nhost=x\r\n"));
    EXPECT_EQ(window->mailPorts().pop3, c.port);
    EXPECT_EQ(window->mailPorts().smtp, 25);
    QFile::remove(dir.filePath(QStringLiteral("zoripost.ini")));
    window->close();
    const std::string ini = readFile(dir.filePath(QStringLiteral("zoripost.ini")));
    EXPECT_EQ(ini.find("port=") != std::string::npos, c.written) << ini;
}

INSTANTIATE_TEST_SUITE_P(Table, SendPorts,
                         ::testing::Values(PortCase{nullptr, 110, false}, PortCase{"1", 1, true},
                                           PortCase{"65535", 65535, true},
                                           PortCase{"0", 110, false}, PortCase{"65536", 110, false},
                                           PortCase{"abc", 110, false}),
                         [](const auto& info) { return "row" + std::to_string(info.index); });

} // namespace

// --- the firing sound --------------------------------------------------------------------------

using zp::test::PrintTo;

struct SoundCase {
    const char* name;
    bool option;    // chkSendCap
    bool fileThere; // edtSendSE names a file that exists
    bool played;
};

class SendSound : public SendWindow, public ::testing::WithParamInterface<SoundCase> {};

TEST_P(SendSound, PlayedOnlyWithTheOptionAndAnExistingFile) {
    const SoundCase& c = GetParam();
    open();
    const QString wav = dir.filePath(QStringLiteral("fire.wav"));
    if (c.fileThere) {
        QFile f(wav);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(
            QByteArray("RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\1\0\1\0\x40\x1f\0\0\x40\x1f\0\0\1\0\x08\0"
                       "data\0\0\0\0",
                       44));
    }
    auto* option = control<QAbstractButton>("chkSendCap");
    if (option->isChecked() != c.option)
        option->click();
    setText("edtSendSE", wav);
    setServer(QStringLiteral("127.0.0.1"), zp::test::unusedPort());
    addRecipient(QStringLiteral("Taro (taro@example.jp)"), true);
    ASSERT_TRUE(send());
    // The send went on (and failed on the closed port) whether or not the sound played.
    EXPECT_EQ(shown(MsgKind::Error), QStringList{kRefused});
    EXPECT_EQ(zp::soundPlayer().lastPath() == wav, c.played);
}

INSTANTIATE_TEST_SUITE_P(Table, SendSound,
                         ::testing::Values(SoundCase{"OptionAndFile", true, true, true},
                                           SoundCase{"OptionMissingFile", true, false, false},
                                           SoundCase{"FileWithoutOption", false, true, false}),
                         [](const auto& info) { return std::string(info.param.name); });
