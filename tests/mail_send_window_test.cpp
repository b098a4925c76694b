// The window while a send runs and around it: closing during a send, POP before SMTP
// failures, the reports of error codes, the server ports and the send sound.
#include "mail/tls.h"
#include "mail_send_ui_support.h"

static ::testing::Environment* const kQt =
    ::testing::AddGlobalTestEnvironment(new zp::test::QtEnvironment);

namespace {

using namespace sendtest;
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
    ReportCase{"TLS Error\r\nThe server's certificate has expired.", QStringLiteral("TLS Error\r\nThe server's certificate has expired.\r\n暗号化通信(TLS)を開始できませんでした。サーバ設定の接続方式とポート番号を確認してください")},
    // The module is missing or of another build: no setting can help, the installation can.
    ReportCase{"TLS Error\r\nThe TLS module libzp_tls.so cannot be loaded (x).", QStringLiteral("TLS Error\r\nThe TLS module libzp_tls.so cannot be loaded (x).\r\n暗号化通信(TLS)のモジュール %1 がないか、このプログラムと版が合いません。zoripostをインストールし直してください").arg(QString::fromStdString(zp::tlsModuleName()))},
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
