// Protected sending from the real window (offscreen): the port and security chosen in the
// server page's dialog, a mail through STARTTLS and through TLS to aiosmtpd with a
// certificate of the test CA, a refused certificate reported with our Japanese line, and
// the choice kept in the settings file.
#include "app/zoripost1.h"
#include "app_support.h"
#include "mail/ui/sendoperation.h"
#include "mail/ui/serversecurity.h"
#include "platform/textcodec.h"
#include "support/rows.h"
#include "tls_support.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

using zp::findControl;
using zp::MsgKind;

static ::testing::Environment* const kQt =
    ::testing::AddGlobalTestEnvironment(new zp::test::QtEnvironment);

namespace {

using zp::test::PrintTo;

using namespace std::chrono_literals;
using zp::test::certFile;
using zp::test::TlsSmtpServer;

struct WindowCase {
    const char* name;
    int security; // index in the dialog's SMTP box
    int usualPort;
    const char* mode;
    const char* cert;
    const char* host;
    QString error; // empty: sent
};

void PrintTo(const WindowCase& c, std::ostream* os) {
    *os << c.name;
}

// The window and the server page's dialog, as the user has them.
class TlsWindowBase : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<TfrmMain>(dir.filePath(QStringLiteral("zoripost")));
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        dialogs.messages.clear();
        op = window->findChild<zp::SendOperation*>();
        ASSERT_NE(op, nullptr);
        op->setTimeLimits(5000ms, 10000ms, 10000ms);
    }
    template <class T> T* control(const char* name) { return findControl<T>(window.get(), name); }
    // Opens the server page's dialog and makes the choice there, as the user would.
    void chooseInDialog(int security, int port, const QString& caFile, int& shownPort) {
        control<QAbstractButton>("btnServerSecurity")->click();
        auto* dialog =
            window->findChild<zp::ServerSecurityDialog*>(QStringLiteral("dlgServerSecurity"));
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(dialog->isVisible());
        dialog->findChild<QComboBox*>(QStringLiteral("cmbSMTPSecurity"))->setCurrentIndex(security);
        auto* portBox = dialog->findChild<QSpinBox*>(QStringLiteral("spnSMTPPort"));
        shownPort = portBox->value();
        portBox->setValue(port);
        dialog->findChild<QLineEdit*>(QStringLiteral("edtCAFile"))->setText(caFile);
        dialog->findChild<QDialogButtonBox*>(QStringLiteral("btnsServerSecurity"))
            ->button(QDialogButtonBox::Ok)
            ->click();
    }
    bool send() {
        QSignalSpy finished(op, &zp::SendOperation::sendFinished);
        control<QAbstractButton>("btnSend")->click();
        return finished.count() > 0 || finished.wait(30000);
    }

    zp::test::ScriptedDialogs dialogs;
    QTemporaryDir dir;
    std::unique_ptr<TfrmMain> window;
    zp::SendOperation* op = nullptr;
};

class TlsWindow : public TlsWindowBase, public ::testing::WithParamInterface<WindowCase> {};

TEST_P(TlsWindow, SendsWithTheDialogsChoice) {
    const WindowCase& c = GetParam();
    TlsSmtpServer server(c.cert, c.mode, false);
    control<QLineEdit>("edtSMTPHost")->setText(QString::fromLatin1(c.host));
    control<QLineEdit>("edtSMTPUser")->setText(QString::fromLatin1(zp::test::kUser));
    control<QLineEdit>("edtSMTPAddr")->setText(QStringLiteral("me@example.jp"));
    control<QLineEdit>("edtPOP3Pwd")->setText(QString::fromLatin1(zp::test::kPassword));
    control<QAbstractButton>("chkPOPbSMTP")->setChecked(false);
    auto* item = new QListWidgetItem(QStringLiteral("taro@example.jp"));
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Checked);
    control<QListWidget>("chlAddr")->addItem(item);
    const QString caFile = QString::fromStdString(certFile("ca.pem"));
    int shownPort = 0;
    chooseInDialog(c.security, server.port, caFile, shownPort);
    EXPECT_EQ(shownPort, c.usualPort);
    EXPECT_EQ(window->mailPorts().smtp, server.port);
    EXPECT_EQ(window->mailPorts().smtpSecurity, c.security);

    ASSERT_TRUE(send());
    QStringList errors;
    for (const auto& m : dialogs.messages)
        if (m.kind == MsgKind::Error)
            errors << m.text;
    if (c.error.isEmpty()) {
        EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('|')).toStdString();
        EXPECT_TRUE(std::filesystem::exists(server.dir / "1.eml"));
    } else {
        EXPECT_EQ(errors, QStringList{c.error});
        EXPECT_FALSE(std::filesystem::exists(server.dir / "1.eml"));
    }
    // The choice stays in the settings file for the next start.
    window->close();
    QFile ini(dir.filePath(QStringLiteral("zoripost.ini")));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QString text = zp::fromSjis(ini.readAll().toStdString());
    EXPECT_TRUE(text.contains(QStringLiteral("security=%1").arg(c.security))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("port=%1").arg(server.port)));
    EXPECT_TRUE(text.contains(QStringLiteral("cafile=") + caFile));
}

const QString kJapaneseLine =
    QStringLiteral("暗号化通信(TLS)を開始できませんでした。サーバ設定の接続方式とポート番号を"
                   "確認してください");

INSTANTIATE_TEST_SUITE_P(
    Table, TlsWindow,
    ::testing::Values(WindowCase{"starttls", 1, 587, "starttls", "good", "localhost", {}},
                      WindowCase{"tls", 2, 465, "tls", "good", "127.0.0.1", {}},
                      WindowCase{
                          "expired_certificate", 2, 465, "tls", "expired", "localhost",
                          QStringLiteral("TLS Error\r\nThe server's certificate has expired.\r\n") +
                              kJapaneseLine}),
    [](const auto& info) { return std::string(info.param.name); });

// The CA file chosen in the dialog is what the next start finds: a new one replaces the
// old, an emptied box removes it.
struct CaFileCase {
    const char* name;
    QString chosen;
};

void PrintTo(const CaFileCase& c, std::ostream* os) {
    *os << c.name;
}

class TlsCaFile : public TlsWindowBase, public ::testing::WithParamInterface<CaFileCase> {};

TEST_P(TlsCaFile, KeptAsChosenForTheNextStart) {
    window.reset();
    QFile ini(dir.filePath(QStringLiteral("zoripost.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(QByteArray::fromStdString(zp::toSjis(
        QStringLiteral("[smtp]\r\nhost=mail.example.jp\r\ncafile=/etc/ca/会社.pem\r\n"))));
    ini.close();
    window = std::make_unique<TfrmMain>(dir.filePath(QStringLiteral("zoripost")));
    window->show();
    ASSERT_EQ(window->mailPorts().caFile, QStringLiteral("/etc/ca/会社.pem"));
    int shownPort = 0;
    chooseInDialog(0, 25, GetParam().chosen, shownPort);
    window->close();
    window = std::make_unique<TfrmMain>(dir.filePath(QStringLiteral("zoripost")));
    const CaFileCase& c = GetParam();
    EXPECT_EQ(window->mailPorts().caFile, c.chosen);
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_EQ(ini.readAll().contains("cafile="), !c.chosen.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Table, TlsCaFile,
                         ::testing::Values(CaFileCase{"another", QStringLiteral("/etc/ca/new.pem")},
                                           CaFileCase{"emptied", QString()}),
                         [](const auto& info) { return std::string(info.param.name); });

// [smtp] security and [pop3] security as read from the file: 0..2 taken, anything else
// counts as missing (plain, and not written back).
struct KeyCase {
    const char* value; // nullptr: no key
    int security;
    bool inFile;
};

class TlsSettingsKeys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(TlsSettingsKeys, ReadAsPlainUnlessZeroToTwo) {
    const KeyCase& c = GetParam();
    zp::test::ScriptedDialogs dialogs;
    QTemporaryDir dir;
    QString text = QStringLiteral("[smtp]\r\nhost=mail.example.jp\r\ncafile=/etc/ca/会社.pem\r\n");
    if (c.value) {
        text +=
            QStringLiteral("security=%1\r\n[pop3]\r\nsecurity=%1\r\n").arg(QLatin1String(c.value));
    }
    QFile ini(dir.filePath(QStringLiteral("zoripost.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(QByteArray::fromStdString(zp::toSjis(text)));
    ini.close();
    auto window = std::make_unique<TfrmMain>(dir.filePath(QStringLiteral("zoripost")));
    const zp::MailPorts ports = window->mailPorts();
    EXPECT_EQ(ports.smtpSecurity, c.security);
    EXPECT_EQ(ports.pop3Security, c.security);
    EXPECT_EQ(ports.smtpSecurityInFile, c.inFile);
    EXPECT_EQ(ports.pop3SecurityInFile, c.inFile);
    EXPECT_EQ(ports.caFile, QStringLiteral("/etc/ca/会社.pem"));
    EXPECT_EQ(ports.smtp, 25);
    EXPECT_EQ(ports.pop3, 110);
}

INSTANTIATE_TEST_SUITE_P(Table, TlsSettingsKeys,
                         ::testing::Values(KeyCase{nullptr, 0, false}, KeyCase{"0", 0, true},
                                           KeyCase{"1", 1, true}, KeyCase{"2", 2, true},
                                           KeyCase{"3", 0, false}, KeyCase{"-1", 0, false},
                                           KeyCase{"x", 0, false}));

} // namespace
