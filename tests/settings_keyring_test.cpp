// The password in the desktop's keyring, from the real window against a real Secret Service:
// gnome-keyring-daemon, started unlocked in the private D-Bus session this binary runs in,
// with secret-tool as the independent reader. The NoStore tests run in a second process that
// has no session bus at all, as on a desktop without a keyring.
#include "mail/ui/passwordkeyring.h"
#include "mail_send_ui_support.h"
#include "platform/keyring.h"
#include "settings/profile.h"

#include <QLibrary>

static ::testing::Environment* const kQt =
    ::testing::AddGlobalTestEnvironment(new zp::test::QtEnvironment);

namespace {

using namespace sendtest;
using zp::test::runShell;
using zp::test::shellQuote;

// Where secret-tool finds what QtKeychain stores: its schema's "server" is the service and
// its "user" the account.
std::string lookupCommand(const QString& account) {
    return "secret-tool lookup server zoripost user " + shellQuote(account.toStdString());
}

// The password secret-tool reads for the account, or "<none>".
QString stored(const QString& account) {
    const auto r = runShell(lookupCommand(account) + " 2>/dev/null");
    return r.status == 0 ? QString::fromStdString(r.output) : QStringLiteral("<none>");
}

void store(const QString& account, const QString& password) {
    const std::string command = "printf %s " + shellQuote(password.toStdString()) +
                                " | secret-tool store --label=zoripost server zoripost user " +
                                shellQuote(account.toStdString()) + " type plaintext";
    ASSERT_EQ(runShell(command + " 2>&1").status, 0) << command;
}

const char kKeyringPassword[] = "unlock-me";
const char kLogin[] = "/org/freedesktop/secrets/collection/login";

bool lockLogin() {
    return runShell(std::string("gdbus call --session --dest org.freedesktop.secrets "
                                "--object-path /org/freedesktop/secrets --method "
                                "org.freedesktop.Secret.Service.Lock \"['") +
                    kLogin + "']\" >/dev/null 2>&1")
               .status == 0;
}

bool unlockLogin() {
    return runShell(std::string(ZP_SYSTEM_PYTHON) + " " ZP_TEST_SCRIPTS "/unlock_keyring.py " +
                    kLogin + " " + kKeyringPassword + " 2>&1")
               .status == 0;
}

// A fresh daemon, unlocked with the login keyring's password, which creates the keyring.
bool startDaemon() {
    static QTemporaryDir home;
    const QByteArray root = home.path().toLocal8Bit();
    for (const char* sub : {"/data", "/config", "/run"})
        QDir().mkpath(QString::fromLocal8Bit(root + sub));
    QFile::setPermissions(QString::fromLocal8Bit(root + "/run"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("HOME", root);
    qputenv("XDG_DATA_HOME", root + "/data");
    qputenv("XDG_CONFIG_HOME", root + "/config");
    qputenv("XDG_RUNTIME_DIR", root + "/run");
    const auto r = runShell(std::string("printf %s ") + kKeyringPassword +
                            " | gnome-keyring-daemon --unlock --components=secrets "
                            ">/dev/null 2>&1");
    if (r.status != 0)
        return false;
    // Ready once the store answers a write and a read.
    store(QStringLiteral("probe@ready"), QStringLiteral("x"));
    return stored(QStringLiteral("probe@ready")) == QStringLiteral("x");
}

const QString kAccount = QStringLiteral("alice@127.0.0.1");

class KeyringWindow : public SendWindow {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(startDaemon()) << "gnome-keyring-daemon"; }
    void TearDown() override {
        runShell("secret-tool clear server zoripost user " + shellQuote(kAccount.toStdString()) +
                 " 2>/dev/null");
    }
    zp::PasswordKeyring* keyring() { return window->passwordKeyring(); }
    QAbstractButton* box() { return control<QAbstractButton>("chkKeyring"); }
    // Waits (bounded) until no request to the store is under way.
    bool settled() {
        return QTest::qWaitFor([this] { return !keyring()->busy(); }, 20000);
    }
    void showServerPage() {
        window->btnConfigClick();
        control<QTabWidget>("pgctlOption")->setCurrentIndex(2);
        QTest::qWait(1);
        ASSERT_TRUE(settled());
    }
    zp::ProfileFile iniFile() {
        zp::ProfileFile f(
            QFile::encodeName(dir.filePath(QStringLiteral("zoripost.ini"))).toStdString());
        EXPECT_TRUE(f.load());
        return f;
    }
    QString iniText() { return QString::fromStdString(readFile(dir.filePath("zoripost.ini"))); }
    static QString ini(const QString& pop3) {
        return QStringLiteral("[smtp]\r\nhost=127.0.0.1\r\nuser=alice\r\naddr=me@example.jp\r\n"
                              "[pop3]\r\n") +
               pop3;
    }
};

// A new user: the page shows the box on, the typed password goes to the store at close
// and never into the file.
TEST_F(KeyringWindow, NewUsersPasswordGoesToTheStoreOnly) {
    open(ini(QString()));
    showServerPage();
    EXPECT_TRUE(box()->isChecked());
    control<QAbstractButton>("chkPOPbSMTP")->click(); // the password box takes typing
    control<QLineEdit>("edtPOP3Pwd")->setFocus();
    QTest::keyClicks(control<QLineEdit>("edtPOP3Pwd"), QStringLiteral("n3w-pass"));
    window->FormClose();
    EXPECT_EQ(stored(kAccount), QStringLiteral("n3w-pass"));
    EXPECT_EQ(iniFile().readString("pop3", "name", "<none>"), "");
    EXPECT_EQ(iniFile().readString("pop3", "keyring", "<none>"), "1");
    EXPECT_FALSE(iniText().contains(QStringLiteral("n3w-pass")));
}

// A send takes the password from the store, read when the send starts; the server's AUTH
// LOGIN accepts it, and a password Shift-JIS cannot hold goes through whole.
struct SendCase {
    const char* name;
    const char* password;
};

class KeyringSend : public KeyringWindow, public ::testing::WithParamInterface<SendCase> {};

TEST_P(KeyringSend, UsesThePasswordFromTheStore) {
    const QString password = QString::fromUtf8(GetParam().password);
    SmtpServer smtp(true, password.toStdString());
    store(kAccount, password);
    open(ini(QStringLiteral("name=\r\nkeyring=1\r\n")));
    EXPECT_TRUE(control<QLineEdit>("edtPOP3Pwd")->text().isEmpty());
    setServer(QStringLiteral("127.0.0.1"), smtp.port);
    addRecipient(kTaro, true);
    ASSERT_TRUE(send());
    EXPECT_EQ(shown(MsgKind::Error), QStringList());
    EXPECT_TRUE(statusLines().contains(QStringLiteral("送信に成功しました")));
    EXPECT_TRUE(QFile::exists(smtp.file("1.eml")));
    // The password came from the store only: the file never held it.
    EXPECT_EQ(iniFile().readString("pop3", "name", "<none>"), "");
}

INSTANTIATE_TEST_SUITE_P(Table, KeyringSend,
                         ::testing::Values(SendCase{"Ascii", "s3cret"},
                                           SendCase{"NotInShiftJis", "pä€😀ss"}),
                         [](const auto& info) { return std::string(info.param.name); });

// Switching the box on moves the password in and out of the file, and back.
TEST_F(KeyringWindow, SwitchingMovesThePasswordBetweenFileAndStore) {
    open(ini(QStringLiteral("name=old-pass\r\n")));
    showServerPage();
    // A file that holds a password keeps it there until the user says otherwise.
    EXPECT_FALSE(box()->isChecked());
    box()->click();
    ASSERT_TRUE(settled());
    EXPECT_TRUE(box()->isChecked());
    EXPECT_EQ(stored(kAccount), QStringLiteral("old-pass"));
    EXPECT_EQ(iniFile().readString("pop3", "name", "<none>"), "");
    EXPECT_EQ(iniFile().readString("pop3", "keyring", "<none>"), "1");
    box()->click();
    ASSERT_TRUE(settled());
    EXPECT_FALSE(box()->isChecked());
    EXPECT_EQ(iniFile().readString("pop3", "name", "<none>"), "old-pass");
    EXPECT_EQ(iniFile().readString("pop3", "keyring", "<none>"), "0");
    EXPECT_TRUE(QTest::qWaitFor([] { return stored(kAccount) == QStringLiteral("<none>"); }));
    EXPECT_EQ(shown(MsgKind::Warning), QStringList());
}

// Switched off after a restart: the password comes out of the store into the file. One that
// Shift-JIS cannot hold stays in the store, with a message.
TEST_F(KeyringWindow, SwitchingOffReadsTheStoreAndKeepsWhatTheFileCannotHold) {
    store(kAccount, QStringLiteral("pä€😀ss"));
    open(ini(QStringLiteral("name=\r\nkeyring=1\r\n")));
    showServerPage();
    ASSERT_TRUE(box()->isChecked());
    // The page shows the stored password in its box, as dots.
    EXPECT_EQ(control<QLineEdit>("edtPOP3Pwd")->text(), QStringLiteral("pä€😀ss"));
    box()->click();
    ASSERT_TRUE(settled());
    EXPECT_TRUE(box()->isChecked());
    ASSERT_EQ(shown(MsgKind::Warning).size(), 1);
    EXPECT_TRUE(shown(MsgKind::Warning)[0].contains(QStringLiteral("Shift-JIS")));
    EXPECT_EQ(stored(kAccount), QStringLiteral("pä€😀ss"));
    EXPECT_EQ(iniFile().readString("pop3", "name", "<none>"), "");
    window->FormClose();
    EXPECT_EQ(stored(kAccount), QStringLiteral("pä€😀ss"));
}

// A locked keyring whose unlock prompt nobody can answer: the send does not start and says
// what to do; switching on leaves the password in the file and says so.
TEST_F(KeyringWindow, LockedStoreStopsTheSendAndKeepsThePasswordInTheFile) {
    store(kAccount, QStringLiteral("s3cret"));
    FakeServer server({});
    open(ini(QStringLiteral("name=\r\nkeyring=1\r\n")));
    setServer(QStringLiteral("127.0.0.1"), server.port());
    addRecipient(kTaro, true);
    ASSERT_TRUE(lockLogin());
    control<QAbstractButton>("btnSend")->click();
    ASSERT_TRUE(settled());
    ASSERT_EQ(shown(MsgKind::Error).size(), 1);
    const QString message = shown(MsgKind::Error)[0];
    EXPECT_TRUE(message.contains(QStringLiteral("ロックされている"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("ロックを解除")));
    EXPECT_TRUE(message.contains(QStringLiteral("メールは送信していません")));
    EXPECT_FALSE(window->sendInProgress());
    EXPECT_FALSE(server.accepted());
    window->close();
    window.reset();
    dialogs.messages.clear();

    open(ini(QStringLiteral("name=file-pass\r\n")));
    showServerPage();
    box()->click();
    ASSERT_TRUE(settled());
    EXPECT_FALSE(box()->isChecked());
    ASSERT_EQ(shown(MsgKind::Warning).size(), 1);
    EXPECT_TRUE(shown(MsgKind::Warning)[0].contains(QStringLiteral("設定ファイルに保存されます")));
    EXPECT_EQ(control<QLineEdit>("edtPOP3Pwd")->text(), QStringLiteral("file-pass"));
    window->FormClose();
    EXPECT_EQ(iniFile().readString("pop3", "name", "<none>"), "file-pass");
    ASSERT_TRUE(unlockLogin());
}

// A store that does not answer in time (an unlock prompt left open) holds neither the window
// nor the send: the send says so and does not start.
TEST_F(KeyringWindow, StoreThatDoesNotAnswerInTimeStopsTheSend) {
    store(kAccount, QStringLiteral("s3cret"));
    FakeServer server({});
    open(ini(QStringLiteral("name=\r\nkeyring=1\r\n")));
    setServer(QStringLiteral("127.0.0.1"), server.port());
    addRecipient(kTaro, true);
    zp::keyring().setTimeLimit(0ms);
    control<QAbstractButton>("btnSend")->click();
    const bool answered = settled();
    zp::keyring().setTimeLimit(60s);
    ASSERT_TRUE(answered);
    ASSERT_EQ(shown(MsgKind::Error).size(), 1);
    EXPECT_TRUE(shown(MsgKind::Error)[0].contains(QStringLiteral("応答がありません")));
    EXPECT_FALSE(window->sendInProgress());
    EXPECT_FALSE(server.accepted());
}

// No session bus: the box stays off and says why, and the password lives in the file as it
// always did.
class NoStore : public SendWindow {};

bool mapped(const char* library) {
    return QString::fromStdString(readFile(QStringLiteral("/proc/self/maps")))
        .contains(QLatin1String(library));
}

// The window starts without the store: neither the module nor QtKeychain is loaded until the
// password is needed. (First in this process, before any test has asked the store.)
TEST_F(NoStore, StartLoadsNoKeyring) {
    open(QStringLiteral("[smtp]\r\nhost=127.0.0.1\r\nuser=alice\r\naddr=me@example.jp\r\n"
                        "[pop3]\r\nname=\r\nkeyring=1\r\n"));
    QTest::qWait(50);
    EXPECT_FALSE(zp::keyringModuleLoaded());
    EXPECT_FALSE(mapped("libzp_keyring"));
    EXPECT_FALSE(mapped("libqt6keychain"));
}

TEST_F(NoStore, BoxStaysOffAndThePasswordStaysInTheFile) {
    open(QString()); // unset settings: the welcome box shows the server page
    auto* box = control<QAbstractButton>("chkKeyring");
    ASSERT_TRUE(QTest::qWaitFor([&] { return box->toolTip().contains(QStringLiteral("使えない")); },
                                20000));
    EXPECT_FALSE(box->isChecked());
    setText("edtSMTPHost", QStringLiteral("127.0.0.1"));
    setText("edtSMTPUser", QStringLiteral("alice"));
    box->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return box->isEnabled(); }, 20000));
    EXPECT_FALSE(box->isChecked());
    ASSERT_EQ(shown(MsgKind::Warning).size(), 1);
    EXPECT_TRUE(shown(MsgKind::Warning)[0].contains(QStringLiteral("見つかりません")))
        << shown(MsgKind::Warning)[0].toStdString();
    setText("edtPOP3Pwd", QStringLiteral("plain-pass"));
    window->FormClose();
    zp::ProfileFile f(QFile::encodeName(dir.filePath("zoripost.ini")).toStdString());
    ASSERT_TRUE(f.load());
    EXPECT_EQ(f.readString("pop3", "name", "<none>"), "plain-pass");
    // The box was never on: the file stays as an older copy wrote it.
    EXPECT_EQ(f.readString("pop3", "keyring", "<none>"), "<none>");
}

// A file that keeps the password in a keyring this desktop lacks: switching off still works
// and asks for the password again.
TEST_F(NoStore, SwitchingOffWithoutAStoreAsksForThePasswordAgain) {
    open(QStringLiteral("[smtp]\r\nhost=127.0.0.1\r\nuser=alice\r\naddr=me@example.jp\r\n"
                        "[pop3]\r\nname=\r\nkeyring=1\r\n"));
    window->btnConfigClick();
    control<QTabWidget>("pgctlOption")->setCurrentIndex(2);
    auto* box = control<QAbstractButton>("chkKeyring");
    ASSERT_TRUE(box->isChecked());
    box->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->passwordKeyring()->busy(); }, 20000));
    EXPECT_FALSE(box->isChecked());
    ASSERT_EQ(shown(MsgKind::Warning).size(), 1);
    EXPECT_TRUE(shown(MsgKind::Warning)[0].contains(QStringLiteral("入力し直して")));
    zp::ProfileFile f(QFile::encodeName(dir.filePath("zoripost.ini")).toStdString());
    ASSERT_TRUE(f.load());
    EXPECT_EQ(f.readString("pop3", "keyring", "<none>"), "0");
}

// A file that asks for the keyring on a desktop without one: the send says why it cannot
// start instead of sending without the password.
TEST_F(NoStore, SendWithTheBoxOnSaysWhyAndDoesNotStart) {
    FakeServer server({});
    open(QStringLiteral("[smtp]\r\nhost=127.0.0.1\r\nuser=alice\r\naddr=me@example.jp\r\n"
                        "[pop3]\r\nname=\r\nkeyring=1\r\n"));
    setServer(QStringLiteral("127.0.0.1"), server.port());
    addRecipient(kTaro, true);
    control<QAbstractButton>("btnSend")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !shown(MsgKind::Error).isEmpty(); }, 20000));
    EXPECT_TRUE(shown(MsgKind::Error)[0].contains(QStringLiteral("オフにしてください")));
    EXPECT_FALSE(window->sendInProgress());
    EXPECT_FALSE(server.accepted());
}

// The module answers only the version of its table that the program was built with. (After
// the NoStore tests: loading it here would load it for the rest of the process.)
TEST(KeyringModule, EntryRefusesAnotherVersion) {
    QLibrary module(QStringLiteral(ZP_KEYRING_MODULE_PATH));
    auto entry = reinterpret_cast<zp::KeyringModuleEntry>(module.resolve(ZP_KEYRING_ENTRY_NAME));
    ASSERT_NE(entry, nullptr) << module.errorString().toStdString();
    const zp::KeyringModuleApi* api = entry(zp::kKeyringModuleVersion);
    ASSERT_NE(api, nullptr);
    EXPECT_EQ(api->version, zp::kKeyringModuleVersion);
    EXPECT_EQ(entry(zp::kKeyringModuleVersion + 1), nullptr);
    EXPECT_EQ(entry(0), nullptr);
}

} // namespace
