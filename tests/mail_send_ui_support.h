#pragma once
// The real window (offscreen) with its send operation, the servers it talks to on 127.0.0.1
// and the helpers shared by the send tests.
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

// One test binary includes this header in one file, so its functions are defined once.
namespace sendtest {

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

// One aiosmtpd process saving every mail into its own folder; with AUTH LOGIN it takes
// kUser and the password.
struct SmtpServer {
    explicit SmtpServer(bool offerAuth, const std::string& password = kPassword) {
        std::vector<std::string> argv = {ZP_SYSTEM_PYTHON, ZP_TEST_SCRIPTS "/smtp_server.py",
                                         dir.path().toStdString()};
        if (offerAuth) {
            argv.push_back("--auth");
            argv.push_back(std::string(kUser) + ":" + password);
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

// --- the scripted server -------------------------------------------------------------------

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

const QString kTaro = QStringLiteral("Taro (taro@example.jp)");

const QString kRefused = QStringLiteral("Socket Error # 10061\r\nConnection refused.\r\n"
                                        "SMTPサーバとの接続に失敗しました");

} // namespace sendtest
