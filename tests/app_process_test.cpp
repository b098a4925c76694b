// The running program as separate processes: the one-running-copy rule and the end
// signals. Each test runs the real executable under its own link name in a fresh folder,
// so that its settings file and its running-copy name are its own.
#include "platform/singleinstance.h"
#include "support/rows.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <sys/mount.h>

namespace {

using zp::test::PrintTo;

class ProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "app_process_test";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
        ASSERT_TRUE(dir.isValid());
        QString test =
            QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name());
        test.replace(QLatin1Char('/'), QLatin1Char('_'));
        link = dir.filePath(QStringLiteral("zp%1").arg(QCoreApplication::applicationPid()) + test);
        ASSERT_TRUE(QFile::link(QStringLiteral(ZORIPOST_EXE), link));
        server = zp::SingleInstance::serverNameFor(link);
        // Server settings present: no welcome box on start.
        QFile ini(dir.filePath(QFileInfo(link).completeBaseName() + QStringLiteral(".ini")));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[smtp]\r\nhost=smtp.example.jp\r\nuser=u\r\naddr=u@example.jp\r\n");
    }
    void TearDown() override {
        for (auto& p : processes) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
        QLocalServer::removeServer(server);
    }

    QProcess* start(const QStringList& args = {}) {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        p->setProcessEnvironment(env);
        p->setWorkingDirectory(dir.path());
        p->start(link, args);
        EXPECT_TRUE(p->waitForStarted(10000));
        processes.push_back(std::move(p));
        return processes.back().get();
    }

    // Waits until a copy answers on the running-copy socket (or the deadline passes).
    bool waitUntilListening(QProcess* p, int ms = 20000) {
        QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired() && p->state() == QProcess::Running) {
            QLocalSocket probe;
            probe.connectToServer(server);
            if (probe.waitForConnected(200)) {
                probe.disconnectFromServer();
                return true;
            }
            p->waitForReadyRead(100); // lets the child run; also collects its output
        }
        return false;
    }

    bool waitForOutput(QProcess* p, const QByteArray& text, int ms = 10000) {
        QByteArray seen;
        QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired()) {
            seen += p->readAllStandardError();
            if (seen.contains(text))
                return true;
            if (!p->waitForReadyRead(static_cast<int>(deadline.remainingTime())))
                break;
        }
        seen += p->readAllStandardError();
        return seen.contains(text);
    }

    QString iniPath() const {
        return dir.filePath(QFileInfo(link).completeBaseName() + QStringLiteral(".ini"));
    }

    QTemporaryDir dir;
    QString link;
    QString server;
    std::vector<std::unique_ptr<QProcess>> processes;
};

TEST_F(ProcessTest, SecondStartRaisesTheFirstAndEnds) {
    QProcess* first = start();
    first->setReadChannel(QProcess::StandardError);
    ASSERT_TRUE(waitUntilListening(first));

    QProcess* second = start({dir.filePath(QStringLiteral("picture.jpg"))});
    ASSERT_TRUE(second->waitForFinished(10000)) << "the second start did not end";
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_TRUE(waitForOutput(first, "raise request from a second start"));
    EXPECT_EQ(first->state(), QProcess::Running);
    // The running-copy socket is served without Qt Network and the libraries behind it.
    QFile maps(QStringLiteral("/proc/%1/maps").arg(first->processId()));
    ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
    const QByteArray mapped = maps.readAll();
    EXPECT_TRUE(mapped.contains("libQt6Widgets"));
    EXPECT_FALSE(mapped.contains("libQt6Network"));
}

TEST_F(ProcessTest, StaleSocketOfACrashedCopyDoesNotBlock) {
    QProcess* crashed = start();
    ASSERT_TRUE(waitUntilListening(crashed));
    crashed->kill(); // SIGKILL: no clean-up of the socket file
    ASSERT_TRUE(crashed->waitForFinished(10000));
    ASSERT_TRUE(QFile::exists(QDir(QDir::tempPath()).filePath(server)))
        << "expected the crashed copy's socket file to stay behind";

    QProcess* next = start();
    ASSERT_TRUE(waitUntilListening(next)) << "the next start did not take over";
    EXPECT_EQ(next->state(), QProcess::Running);
}

struct SignalCase {
    int signal;
    const char* name;
};

class EndSignal : public ProcessTest, public ::testing::WithParamInterface<SignalCase> {};

TEST_P(EndSignal, ClosesTheWindowAndSavesTheSettings) {
    QFile::remove(iniPath());
    QProcess* p = start();
    ASSERT_TRUE(waitUntilListening(p));
    ASSERT_FALSE(QFile::exists(iniPath()));
    ASSERT_EQ(::kill(static_cast<pid_t>(p->processId()), GetParam().signal), 0);
    ASSERT_TRUE(p->waitForFinished(15000)) << GetParam().name << " did not end the program";
    EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p->exitCode(), 0);
    QFile ini(iniPath());
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly)) << "settings not saved on " << GetParam().name;
    EXPECT_TRUE(ini.readAll().contains("[WinPosition]"));
}

INSTANTIATE_TEST_SUITE_P(Signals, EndSignal,
                         ::testing::Values(SignalCase{SIGTERM, "SIGTERM"},
                                           SignalCase{SIGHUP, "SIGHUP"},
                                           SignalCase{SIGINT, "SIGINT"}),
                         [](const auto& info) { return std::string(info.param.name); });

// The program's folder on a full file system: the save at the end fails. Nobody can answer
// a box after a signal, so the failure goes to standard error, the program ends (within
// the wait below) and the old settings file stays whole.
TEST_F(ProcessTest, EndSignalOnAFullDiskReportsOnStandardErrorAndEnds) {
    const QString disk = dir.filePath(QStringLiteral("disk"));
    ASSERT_TRUE(QDir().mkpath(disk));
    if (::mount("zp_full", QFile::encodeName(disk).constData(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    struct Unmount {
        QByteArray path;
        ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
    } unmount{QFile::encodeName(disk)};
    QLocalServer::removeServer(server);
    link = disk + QStringLiteral("/zp") + QString::number(QCoreApplication::applicationPid());
    ASSERT_TRUE(QFile::link(QStringLiteral(ZORIPOST_EXE), link));
    server = zp::SingleInstance::serverNameFor(link);
    const QByteArray old = "[smtp]\r\nhost=smtp.example.jp\r\nuser=u\r\naddr=u@example.jp\r\n";
    {
        QFile ini(iniPath());
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(old);
    }
    QProcess* p = start();
    p->setReadChannel(QProcess::StandardError);
    ASSERT_TRUE(waitUntilListening(p));
    QFile filler(disk + QStringLiteral("/filler"));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    const QByteArray block(4096, 'f');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
    filler.close();
    ASSERT_EQ(::kill(static_cast<pid_t>(p->processId()), SIGTERM), 0);
    EXPECT_TRUE(waitForOutput(p, QStringLiteral(" の保存が出来ませんでした。").toUtf8(), 5000));
    ASSERT_TRUE(p->waitForFinished(5000)) << "a box kept the program running";
    EXPECT_EQ(p->exitCode(), 0);
    QFile ini(iniPath());
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_EQ(ini.readAll(), old);
}

TEST_F(ProcessTest, EndSignalDuringTheWelcomeBoxStillSaves) {
    QFile::remove(iniPath()); // no settings: the welcome box is open
    QProcess* p = start();
    ASSERT_TRUE(waitUntilListening(p));
    p->terminate();
    ASSERT_TRUE(p->waitForFinished(15000)) << "the open box kept the program running";
    EXPECT_EQ(p->exitCode(), 0);
    EXPECT_TRUE(QFile::exists(iniPath()));
}

} // namespace
