// Where the settings file, the working JPEG and the running-copy socket live: beside a
// portable copy, in the user's folders for an installed or read-only one.
#include "env_guard.h"
#include "platform/filelocations.h"
#include "platform/singleinstance.h"
#include "support/rows.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using zp::test::PrintTo;

using zp::test::EnvGuard;

// --- the choice ----------------------------------------------------------------------------

struct ChoiceCase {
    const char* name;
    const char* executable;
    bool writable;
    bool installed;
    const char* settings;
    const char* jpeg;
};

class Choice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(Choice, PicksTheFolderAndKeepsTheExecutablesName) {
    const ChoiceCase& c = GetParam();
    zp::LocationInputs in;
    in.executable = QString::fromUtf8(c.executable);
    in.folderWritable = c.writable;
    in.installed = c.installed;
    in.configFolder = QStringLiteral("/home/u/.config/zoripost");
    in.userFolder = QStringLiteral("/run/user/1000/zoripost");
    const zp::FileLocations out = zp::chooseLocations(in);
    EXPECT_EQ(out.settingsFile, QString::fromUtf8(c.settings));
    EXPECT_EQ(out.workingJpeg, QString::fromUtf8(c.jpeg));
    EXPECT_EQ(out.besideExecutable, c.writable && !c.installed);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Choice,
    ::testing::Values(
        ChoiceCase{"build_folder", "/src/build/app/zoripost", true, false,
                   "/src/build/app/zoripost.ini", "/src/build/app/zoripost.jpg"},
        ChoiceCase{"portable_with_extension", "/media/stick/zp/zoripost.exe", true, false,
                   "/media/stick/zp/zoripost.ini", "/media/stick/zp/zoripost.jpg"},
        ChoiceCase{"read_only_folder", "/opt/zp/zoripost", false, false,
                   "/home/u/.config/zoripost/zoripost.ini", "/run/user/1000/zoripost/zoripost.jpg"},
        // Root may write to /usr/bin, and a prefix in the home folder is writable: an
        // installed copy still keeps its files in the user's folders.
        ChoiceCase{"installed_writable_prefix", "/usr/bin/zoripost", true, true,
                   "/home/u/.config/zoripost/zoripost.ini", "/run/user/1000/zoripost/zoripost.jpg"},
        ChoiceCase{"installed_read_only", "/usr/bin/zoripost", false, true,
                   "/home/u/.config/zoripost/zoripost.ini", "/run/user/1000/zoripost/zoripost.jpg"},
        ChoiceCase{"link_with_its_own_name", "/usr/local/bin/zp2", false, false,
                   "/home/u/.config/zoripost/zp2.ini", "/run/user/1000/zoripost/zp2.jpg"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- the file system -------------------------------------------------------------------------

mode_t modeOf(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_mode & 07777;
}

bool touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly);
}

class Folders : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path(const char* rel) const { return dir.filePath(QString::fromUtf8(rel)); }
    QTemporaryDir dir;
};

struct InstalledCase {
    const char* name;
    const char* executable;
    const char* entry; // created when not empty
    bool installed;
};

class Installed : public Folders, public ::testing::WithParamInterface<InstalledCase> {};

TEST_P(Installed, IsToldByTheDesktopEntryOfTheBinFoldersPrefix) {
    const InstalledCase& c = GetParam();
    if (*c.entry) {
        ASSERT_TRUE(touch(path(c.entry)));
    }
    ASSERT_TRUE(touch(path(c.executable)));
    EXPECT_EQ(zp::isInstalledCopy(path(c.executable)), c.installed);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Installed,
    ::testing::Values(InstalledCase{"prefix_with_entry", "usr/bin/zoripost",
                                    "usr/share/applications/zoripost.desktop", true},
                      InstalledCase{"prefix_without_entry", "usr/bin/zoripost", "", false},
                      InstalledCase{"other_entry_only", "usr/bin/zoripost",
                                    "usr/share/applications/other.desktop", false},
                      InstalledCase{"not_a_bin_folder", "usr/lib/zoripost",
                                    "usr/share/applications/zoripost.desktop", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Folders, NewFoldersAndTheirMissingParentsAreMadePrivate) {
    const QString target = path("home/.config/zoripost");
    ASSERT_TRUE(zp::makePrivateFolder(target));
    EXPECT_EQ(modeOf(target) & 0777, 0700u);
    EXPECT_EQ(modeOf(path("home/.config")) & 0777, 0700u);
    // A second call accepts what the first made.
    EXPECT_TRUE(zp::makePrivateFolder(target));
}

TEST_F(Folders, AnOpenFolderOfTheUserIsClosedToOthers) {
    const QString target = path("open");
    ASSERT_TRUE(QDir().mkdir(target));
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0755), 0);
    ASSERT_TRUE(zp::makePrivateFolder(target));
    EXPECT_EQ(modeOf(target), 0700u);
}

TEST_F(Folders, ALinkOrAFileInThePlaceIsRefused) {
    ASSERT_TRUE(QDir().mkdir(path("elsewhere")));
    ASSERT_TRUE(QFile::link(path("elsewhere"), path("link")));
    EXPECT_FALSE(zp::makePrivateFolder(path("link")));
    ASSERT_TRUE(touch(path("file")));
    EXPECT_FALSE(zp::makePrivateFolder(path("file")));
    EXPECT_FALSE(zp::makePrivateFolder(path("file/below")));
}

TEST_F(Folders, AFolderOfAnotherUserIsRefused) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give a folder to another user";
    ASSERT_TRUE(QDir().mkdir(path("theirs")));
    ASSERT_EQ(::chown(QFile::encodeName(path("theirs")).constData(), 65534, 65534), 0);
    EXPECT_FALSE(zp::makePrivateFolder(path("theirs")));
}

struct RuntimeCase {
    const char* name;
    const char* runtime;  // "" unset; "own" a folder of ours; "relative"; "missing"
    const char* expected; // below the temporary folder
};

class Runtime : public Folders, public ::testing::WithParamInterface<RuntimeCase> {};

TEST_P(Runtime, TakesTheRuntimeFolderOrFallsBackToTheCache) {
    const RuntimeCase& c = GetParam();
    const QString which = QString::fromUtf8(c.runtime);
    QString runtime;
    if (which == QLatin1String("own")) {
        runtime = path("run");
        ASSERT_TRUE(QDir().mkdir(runtime));
    } else if (which == QLatin1String("relative")) {
        runtime = QStringLiteral("run");
    } else if (which == QLatin1String("missing")) {
        runtime = path("no-such-folder");
    }
    EnvGuard r("XDG_RUNTIME_DIR", runtime);
    EnvGuard cache("XDG_CACHE_HOME", path("cache"));
    const QString folder = zp::userRuntimeFolder();
    EXPECT_EQ(folder, path(c.expected));
    EXPECT_EQ(modeOf(folder), 0700u);
}

INSTANTIATE_TEST_SUITE_P(Rows, Runtime,
                         ::testing::Values(RuntimeCase{"own_runtime_folder", "own", "run/zoripost"},
                                           RuntimeCase{"unset", "", "cache/zoripost"},
                                           RuntimeCase{"relative", "relative", "cache/zoripost"},
                                           RuntimeCase{"missing", "missing", "cache/zoripost"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Folders, TheCacheFolderDefaultsToTheHomeFolders) {
    EnvGuard r("XDG_RUNTIME_DIR", QString());
    EnvGuard cache("XDG_CACHE_HOME", QString());
    EnvGuard home("HOME", path("home"));
    EXPECT_EQ(zp::userRuntimeFolder(), path("home/.cache/zoripost"));
}

struct ConfigCase {
    const char* name;
    const char* value; // nullptr: unset
    const char* expected;
};

class Config : public Folders, public ::testing::WithParamInterface<ConfigCase> {};

TEST_P(Config, FollowsXdgConfigHomeWhenItIsAbsolute) {
    const ConfigCase& c = GetParam();
    QString value;
    if (c.value)
        value = *c.value == '/' ? path(c.value + 1) : QString::fromUtf8(c.value);
    EnvGuard cfg("XDG_CONFIG_HOME", value);
    EnvGuard home("HOME", path("home"));
    EXPECT_EQ(zp::userConfigFolder(), path(c.expected));
}

INSTANTIATE_TEST_SUITE_P(Rows, Config,
                         ::testing::Values(ConfigCase{"absolute", "/cfg", "cfg/zoripost"},
                                           ConfigCase{"unset", nullptr, "home/.config/zoripost"},
                                           ConfigCase{"empty", "", "home/.config/zoripost"},
                                           ConfigCase{"relative", "cfg", "home/.config/zoripost"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Folders, ReadOnlyCopyGetsPrivateFoldersMade) {
    EnvGuard cfg("XDG_CONFIG_HOME", path("cfg"));
    EnvGuard r("XDG_RUNTIME_DIR", QString());
    EnvGuard cache("XDG_CACHE_HOME", path("cache"));
    ASSERT_TRUE(touch(path("usr/bin/zoripost")));
    ASSERT_TRUE(touch(path("usr/share/applications/zoripost.desktop")));
    const zp::FileLocations files = zp::locateFiles(path("usr/bin/zoripost"));
    EXPECT_FALSE(files.besideExecutable);
    EXPECT_EQ(files.settingsFile, path("cfg/zoripost/zoripost.ini"));
    EXPECT_EQ(files.workingJpeg, path("cache/zoripost/zoripost.jpg"));
    EXPECT_EQ(modeOf(path("cfg/zoripost")), 0700u) << "the settings hold the POP3 password";
    EXPECT_EQ(modeOf(path("cache/zoripost")), 0700u);
}

// --- the running-copy socket -------------------------------------------------------------------

TEST_F(Folders, EveryCopyOfOneNameMeetsAtOneSocketInTheUsersFolder) {
    EnvGuard r("XDG_RUNTIME_DIR", QString());
    EnvGuard cache("XDG_CACHE_HOME", path("cache"));
    const QString installed =
        zp::SingleInstance::serverNameFor(QStringLiteral("/usr/bin/zoripost"));
    const QString portable = zp::SingleInstance::serverNameFor(path("portable/zoripost"));
    EXPECT_EQ(installed, path("cache/zoripost/zoripost.instance"));
    EXPECT_EQ(portable, installed);
    EXPECT_NE(zp::SingleInstance::serverNameFor(QStringLiteral("/usr/bin/zp2")), installed);

    // One copy claims it; a copy started from the other place defers to it.
    static int argc = 1;
    static char name[] = "install_locations_test";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
    zp::SingleInstance first(installed);
    ASSERT_TRUE(first.claim(2000));
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(installed).constData(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    bool raised = false;
    QObject::connect(&first, &zp::SingleInstance::raiseRequested, [&] { raised = true; });
    // The first copy cannot answer while this thread waits in the second one's claim, so
    // that claim gives up waiting for the answer after its time-out and still defers.
    zp::SingleInstance second(portable);
    EXPECT_FALSE(second.claim(300));
    for (int i = 0; i < 50 && !raised; ++i)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    EXPECT_TRUE(raised);
}

TEST_F(Folders, AFolderTooDeepForASocketFallsBackToTheTemporaryFolder) {
    EnvGuard r("XDG_RUNTIME_DIR", QString());
    EnvGuard cache("XDG_CACHE_HOME", path(QByteArray(110, 'd').constData()));
    const QString name = zp::SingleInstance::serverNameFor(QStringLiteral("/usr/bin/zoripost"));
    EXPECT_FALSE(name.contains(QLatin1Char('/')));
    EXPECT_TRUE(name.startsWith(QLatin1String("zoripost-")));
}

} // namespace
