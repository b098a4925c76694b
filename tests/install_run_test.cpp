// The program run as the user runs it: installed under a prefix (started directly or by the
// desktop entry, as a launcher or a file manager's "Open with" does), copied into a
// read-only folder, or as a portable copy. Each start takes a picture in from its command
// line, under settings read from where that kind of copy keeps them, and is then ended by
// SIGTERM, which saves the settings and deletes the working JPEG.
#include "install_support.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using zp::test::describe;
using zp::test::filesBelow;
using zp::test::InstalledTree;
using zp::test::runCommand;

// 240 x 320 without turning: a 400 x 300 picture becomes 240 x 180. The defaults (132 x 176,
// turning left) would give 132 x 176, so the size shows which settings file was read.
constexpr char kSettings[] = "[smtp]\r\nhost=smtp.example.jp\r\nuser=u\r\naddr=u@example.jp\r\n"
                             "[size]\r\nwidth=240\r\nheight=320\r\n[rot]\r\nnone=1\r\n";

mode_t modeOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_mode & 0777;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QString jpegSize(const QString& path) {
    const auto r = runCommand(QStringLiteral("identify"),
                              {QStringLiteral("-format"), QStringLiteral("%m %wx%h"), path});
    return QString::fromLatin1(r.out).trimmed();
}

class Run : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "install_run_test";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
    }

    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(QDir().mkpath(path("run")));
        ASSERT_EQ(::chmod(QFile::encodeName(path("run")).constData(), 0700), 0);
        env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HOME"), path("home"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), path("config"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path("run"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), path("cache"));
        picture = path("pictures/photo 1.png");
        ASSERT_TRUE(QDir().mkpath(path("pictures")));
        const auto r = runCommand(QStringLiteral("convert"),
                                  {QStringLiteral("-size"), QStringLiteral("400x300"),
                                   QStringLiteral("gradient:red-blue"), picture});
        ASSERT_EQ(r.code, 0) << qPrintable(describe(r));
    }

    void TearDown() override {
        if (process && process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(5000);
        }
        if (launchedPid > 0 && pidRunning(launchedPid))
            ::kill(launchedPid, SIGKILL);
    }

    QString path(const char* rel) const { return home.filePath(QString::fromUtf8(rel)); }
    QString userIni() const { return path("config/zoripost/zoripost.ini"); }
    QString userJpeg() const { return path("run/zoripost/zoripost.jpg"); }

    void start(const QString& program, const QStringList& args) {
        process = std::make_unique<QProcess>();
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(program, args);
        ASSERT_TRUE(process->waitForStarted(10000));
    }

    // Runs the event loop until ready() holds or ms pass, looking every 50 ms.
    static bool waitUntil(const std::function<bool()>& ready, int ms) {
        if (ready())
            return true;
        QEventLoop loop;
        QTimer look;
        QDeadlineTimer deadline(ms);
        QObject::connect(&look, &QTimer::timeout, &loop, [&] {
            if (ready() || deadline.hasExpired())
                loop.quit();
        });
        look.start(50);
        loop.exec();
        return ready();
    }

    // Waits until the file is there, or the program has ended, or 30 s have passed.
    bool waitForFile(const QString& file) {
        waitUntil([&] { return QFile::exists(file) || !running(); }, 30000);
        return QFile::exists(file);
    }

    bool running() const {
        if (process)
            return process->state() != QProcess::NotRunning;
        return launchedPid > 0 && pidRunning(launchedPid);
    }

    // A process not of ours may stay a zombie for a while when nobody reaps it.
    static bool pidRunning(pid_t pid) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            return false;
        const QByteArray text = stat.readAll();
        const qsizetype close = text.lastIndexOf(')');
        return close > 0 && close + 2 < text.size() && text.at(close + 2) != 'Z';
    }

    // Ends the program as a log-off would and checks that it saved and cleaned up.
    void endAndExpectSaved(const QString& ini, const QString& jpeg,
                           const char* width = "width=240") {
        ASSERT_TRUE(process);
        ::kill(static_cast<pid_t>(process->processId()), SIGTERM);
        ASSERT_TRUE(process->waitForFinished(20000)) << "the program did not end on SIGTERM";
        EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
        expectSavedAt(ini, jpeg, width);
    }

    static void expectSavedAt(const QString& ini, const QString& jpeg,
                              const char* width = "width=240") {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << qPrintable(ini);
        const QByteArray text = f.readAll();
        EXPECT_TRUE(text.contains("[WinPosition]"))
            << "the close did not save: " << text.constData();
        EXPECT_TRUE(text.contains(width)) << text.constData();
        EXPECT_FALSE(QFile::exists(jpeg)) << "the working JPEG is deleted at close";
    }

    QTemporaryDir home;
    QProcessEnvironment env;
    QString picture;
    std::unique_ptr<QProcess> process;
    pid_t launchedPid = 0;
};

// Installed into a prefix that this user may write to (the temporary DESTDIR; as root, even
// /usr/bin is writable): still an installed copy, whose files go to the user's folders.
TEST_F(Run, InstalledCopyKeepsItsFilesInTheUsersFolders) {
    InstalledTree& tree = InstalledTree::get();
    ASSERT_TRUE(tree.ok()) << qPrintable(tree.log());
    ASSERT_TRUE(writeFile(userIni(), kSettings));
    const QString bin = tree.path(QStringLiteral("usr/bin"));
    const QStringList before = filesBelow(bin);

    start(bin + QStringLiteral("/zoripost"), {picture});
    ASSERT_TRUE(waitForFile(userJpeg())) << "no working JPEG in the runtime folder";
    EXPECT_EQ(jpegSize(userJpeg()), QStringLiteral("JPEG 240x180"));
    EXPECT_EQ(modeOf(path("run/zoripost")), 0700u);
    EXPECT_EQ(modeOf(path("config/zoripost")), 0700u);
    EXPECT_EQ(filesBelow(bin), before) << "nothing is written beside the installed program";
    endAndExpectSaved(userIni(), userJpeg());
    EXPECT_EQ(filesBelow(bin), before);
}

// A copy without its desktop entry in a folder nobody may write to: the folder decides.
TEST_F(Run, CopyInAReadOnlyFolderKeepsItsFilesInTheUsersFolders) {
    const QString prefix = path("readonly");
    ASSERT_TRUE(QDir().mkpath(prefix));
    ASSERT_TRUE(QFile::copy(QStringLiteral(ZORIPOST_EXE), prefix + QStringLiteral("/zoripost")));
    ASSERT_TRUE(writeFile(userIni(), kSettings));
    // No settings file yet in the config folder's place would also work; this one shows
    // that the program reads the user's file and not one beside it.
    ASSERT_TRUE(writeFile(prefix + QStringLiteral("/zoripost.ini"), "[size]\r\nwidth=480\r\n"));
    ASSERT_EQ(::chmod(QFile::encodeName(prefix).constData(), 0555), 0);
    const QStringList before = filesBelow(prefix);
    if (::geteuid() == 0) {
        // Root writes through permission bits: the folder is mounted read-only instead, in a
        // mount namespace of this one process.
        const auto probe =
            runCommand(QStringLiteral("unshare"), {QStringLiteral("-m"), QStringLiteral("true")});
        if (probe.code != 0)
            GTEST_SKIP() << "root without mount namespaces cannot make a read-only folder";
        start(QStringLiteral("unshare"),
              {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
               QStringLiteral("mount --bind -o ro \"$0\" \"$0\" && exec \"$0/zoripost\" \"$1\""),
               prefix, picture});
    } else {
        start(prefix + QStringLiteral("/zoripost"), {picture});
    }
    ASSERT_TRUE(waitForFile(userJpeg())) << "no working JPEG in the runtime folder";
    EXPECT_EQ(jpegSize(userJpeg()), QStringLiteral("JPEG 240x180"));
    endAndExpectSaved(userIni(), userJpeg());
    ::chmod(QFile::encodeName(prefix).constData(), 0755);
    EXPECT_EQ(filesBelow(prefix), before);
}

// The first start opens the welcome box before it takes its file in; an end signal then
// closes the box and the window, and the file is no longer taken in: no working JPEG is
// left behind in the runtime folder.
TEST_F(Run, EndWhileTheWelcomeBoxIsOpenLeavesNoWorkingJpeg) {
    InstalledTree& tree = InstalledTree::get();
    ASSERT_TRUE(tree.ok()) << qPrintable(tree.log());
    const QString socket = path("run/zoripost/zoripost.instance");
    start(tree.path(QStringLiteral("usr/bin/zoripost")), {picture});
    // The socket is made before the window, whose first showing opens the box; the signal
    // is handled only once an event loop runs, which is the box's.
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(socket) || !running(); }, 30000));
    endAndExpectSaved(userIni(), userJpeg(), "width=132"); // no settings file: the defaults
    EXPECT_TRUE(QDir(path("run/zoripost")).entryList({QStringLiteral("*.jpg")}).isEmpty());
}

TEST_F(Run, PortableCopyKeepsItsFilesBesideItself) {
    const QString folder = path("portable");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString exe = folder + QStringLiteral("/zoripost");
    ASSERT_TRUE(QFile::copy(QStringLiteral(ZORIPOST_EXE), exe));
    ASSERT_TRUE(writeFile(folder + QStringLiteral("/zoripost.ini"), kSettings));
    start(exe, {picture});
    ASSERT_TRUE(waitForFile(folder + QStringLiteral("/zoripost.jpg")));
    EXPECT_EQ(jpegSize(folder + QStringLiteral("/zoripost.jpg")), QStringLiteral("JPEG 240x180"));
    endAndExpectSaved(folder + QStringLiteral("/zoripost.ini"),
                      folder + QStringLiteral("/zoripost.jpg"));
    EXPECT_FALSE(QFileInfo::exists(path("config/zoripost"))) << "the user's folders stay untouched";
    EXPECT_FALSE(QFileInfo::exists(path("run/zoripost/zoripost.jpg")));
}

// The installed copy and a portable copy of the same name share the running-copy rule:
// the second start, from the other place, brings the first forward and ends.
TEST_F(Run, ASecondStartFromTheOtherPlaceDefersToTheRunningCopy) {
    InstalledTree& tree = InstalledTree::get();
    ASSERT_TRUE(tree.ok()) << qPrintable(tree.log());
    ASSERT_TRUE(writeFile(userIni(), kSettings));
    start(tree.path(QStringLiteral("usr/bin/zoripost")), {picture});
    ASSERT_TRUE(waitForFile(userJpeg()));

    const QString folder = path("portable");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QFile::copy(QStringLiteral(ZORIPOST_EXE), folder + QStringLiteral("/zoripost")));
    const auto second = runCommand(folder + QStringLiteral("/zoripost"), {picture}, env, 20000);
    EXPECT_TRUE(second.finished);
    EXPECT_EQ(second.code, 0) << qPrintable(describe(second));
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/zoripost.jpg")))
        << "the second start took its file in";
    EXPECT_EQ(process->state(), QProcess::Running);
    endAndExpectSaved(userIni(), userJpeg());
}

// The installed desktop entry, started by GLib's launcher with a file as a file manager's
// "Open with" or a drop on a launcher does, opens the picture in the installed program.
TEST_F(Run, DesktopEntryStartsTheProgramWithThePicture) {
    InstalledTree& tree = InstalledTree::get();
    ASSERT_TRUE(tree.ok()) << qPrintable(tree.log());
    ASSERT_TRUE(writeFile(userIni(), kSettings));
    const QString bin = tree.path(QStringLiteral("usr/bin"));
    env.insert(QStringLiteral("PATH"), bin + QLatin1Char(':') + env.value(QStringLiteral("PATH")));
    const auto r =
        runCommand(QStringLiteral("gio"),
                   {QStringLiteral("launch"),
                    tree.path(QStringLiteral("usr/share/applications/zoripost.desktop")), picture},
                   env, 20000);
    ASSERT_EQ(r.code, 0) << qPrintable(describe(r));
    // The launcher does not wait for the program; find it by its executable.
    const QString exe = QFileInfo(bin + QStringLiteral("/zoripost")).canonicalFilePath();
    waitUntil(
        [&] {
            for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
                bool numeric = false;
                const int n = pid.toInt(&numeric);
                if (numeric && pidRunning(n) &&
                    QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid)) == exe) {
                    launchedPid = n;
                    return true;
                }
            }
            return false;
        },
        20000);
    ASSERT_GT(launchedPid, 0) << "the launched program was not found";
    ASSERT_TRUE(waitForFile(userJpeg())) << "the launched program did not take the picture in";
    EXPECT_EQ(jpegSize(userJpeg()), QStringLiteral("JPEG 240x180"));
    ASSERT_EQ(::kill(launchedPid, SIGTERM), 0);
    EXPECT_TRUE(waitUntil([&] { return !pidRunning(launchedPid); }, 20000))
        << "the launched program did not end";
    launchedPid = 0;
    expectSavedAt(userIni(), userJpeg());
}

} // namespace
