// The platform layer's Windows means, under Wine: the installed-copy rule and the profile's
// folders, the running-copy mutex and its window, the version resource, the Credential
// Manager.
#include "app_support.h"
#include "platform/filelocations.h"
#include "platform/fileversion.h"
#include "platform/keyring.h"
#include "platform/singleinstance.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <windows.h>

namespace {

const auto* const kQt = ::testing::AddGlobalTestEnvironment(new zp::test::QtEnvironment);

struct LocationCase {
    const char* name;
    bool uninstaller; // the installer's uninstall.exe beside the program
    bool besideProgram;
};

class Locations : public ::testing::TestWithParam<LocationCase> {};

TEST_P(Locations, InstalledCopiesUseTheProfilesFolders) {
    const LocationCase& c = GetParam();
    QTemporaryDir root;
    const QString program = root.filePath(QStringLiteral("Program Files/zoripost"));
    ASSERT_TRUE(QDir().mkpath(program));
    if (c.uninstaller) {
        QFile u(program + QStringLiteral("/uninstall.exe"));
        ASSERT_TRUE(u.open(QIODevice::WriteOnly));
    }
    qputenv("APPDATA", QDir::toNativeSeparators(root.filePath(QStringLiteral("Roaming"))).toUtf8());
    qputenv("LOCALAPPDATA",
            QDir::toNativeSeparators(root.filePath(QStringLiteral("Local"))).toUtf8());
    const zp::FileLocations at = zp::locateFiles(program + QStringLiteral("/zoripost.exe"));
    EXPECT_EQ(at.besideExecutable, c.besideProgram);
    const QString settings =
        c.besideProgram ? program : root.filePath(QStringLiteral("Roaming/zoripost"));
    const QString jpeg =
        c.besideProgram ? program : root.filePath(QStringLiteral("Local/zoripost"));
    EXPECT_EQ(at.settingsFile, settings + QStringLiteral("/zoripost.ini"));
    EXPECT_EQ(at.workingJpeg, jpeg + QStringLiteral("/zoripost.jpg"));
    // The profile's folders are made for the files that go there.
    EXPECT_TRUE(QFileInfo(at.settingsFile).dir().exists());
    EXPECT_TRUE(QFileInfo(at.workingJpeg).dir().exists());
}

INSTANTIATE_TEST_SUITE_P(Rows, Locations,
                         ::testing::Values(LocationCase{"installed", true, false},
                                           LocationCase{"carried", false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RunningCopy, ASecondStartRaisesTheFirstAndEnds) {
    const QString name = QStringLiteral("zoripost-test-%1.exe").arg(GetCurrentProcessId());
    zp::SingleInstance first(name);
    ASSERT_TRUE(first.claim());
    EXPECT_NE(FindWindowExW(HWND_MESSAGE, nullptr, L"TfrmMain", nullptr), nullptr);
    QSignalSpy raised(&first, &zp::SingleInstance::raiseRequested);
    {
        zp::SingleInstance second(name);
        EXPECT_FALSE(second.claim(2000));
    }
    EXPECT_TRUE(raised.count() == 1 || raised.wait(2000));
    // Another program's name is another mutex.
    zp::SingleInstance other(QStringLiteral("other-%1.exe").arg(GetCurrentProcessId()));
    EXPECT_TRUE(other.claim());
}

TEST(FileVersion, AProgramWithoutAVersionResourceShowsNone) {
    // The test program carries no version resource; zoripost.exe's is checked with the package.
    EXPECT_EQ(zp::executableFileVersion(QStringLiteral("9.9.9.9")), QString());
}

TEST(CredentialManager, KeepsReplacesAndRemovesThePassword) {
    zp::Keyring keyring;
    const QString account = QStringLiteral("user%1@127.0.0.1").arg(GetCurrentProcessId());
    const QString secret = QStringLiteral("pä$$ 日本 📷");
    ASSERT_EQ(keyring.writeAndWait(account, secret).status, zp::KeyringStatus::Ok);
    EXPECT_EQ(keyring.readAndWait(account).secret, secret);
    ASSERT_EQ(keyring.writeAndWait(account, QStringLiteral("second")).status,
              zp::KeyringStatus::Ok);
    EXPECT_EQ(keyring.readAndWait(account).secret, QStringLiteral("second"));
    EXPECT_EQ(keyring.removeAndWait(account).status, zp::KeyringStatus::Ok);
    EXPECT_EQ(keyring.readAndWait(account).status, zp::KeyringStatus::NotFound);
}

} // namespace
