// The real window of an installed copy: the settings come from and go to the user's
// configuration folder, the working JPEG lives in the private runtime folder, and the
// velmaclip paste reads the same settings file as the window.
#include "app/zoripost1.h"
#include "app_support.h"
#include "env_guard.h"
#include "platform/windowhost.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QTemporaryDir>

#include <memory>
#include <optional>

static ::testing::Environment* const kQt =
    ::testing::AddGlobalTestEnvironment(new zp::test::QtEnvironment);

namespace {

using zp::findControl;
using zp::test::EnvGuard;

bool writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class InstalledWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        config = std::make_unique<EnvGuard>("XDG_CONFIG_HOME", path("config"));
        runtime = std::make_unique<EnvGuard>("XDG_RUNTIME_DIR", path("run"));
        ASSERT_TRUE(QDir().mkpath(path("run")));
        ASSERT_TRUE(
            writeFile(path("usr/share/applications/zoripost.desktop"), "[Desktop Entry]\n"));
        exe = path("usr/bin/zoripost");
        ASSERT_TRUE(writeFile(exe, "program"));
        // A settings file beside the program that must not be read.
        ASSERT_TRUE(writeFile(path("usr/bin/zoripost.ini"), "[jpeg]\r\nquality=33\r\n"));
    }
    void TearDown() override {
        window.reset();
        runtime.reset();
        config.reset();
    }
    QString path(const char* rel) const { return dir.filePath(QString::fromUtf8(rel)); }
    QString userIni() const { return path("config/zoripost/zoripost.ini"); }
    template <class T> T* ctl(const char* name) { return findControl<T>(window.get(), name); }

    void open() {
        window = std::make_unique<TfrmMain>(exe);
        window->show();
        QCoreApplication::processEvents();
        dialogs.messages.clear();
    }

    QTemporaryDir dir;
    std::unique_ptr<EnvGuard> config;
    std::unique_ptr<EnvGuard> runtime;
    QString exe;
    zp::test::ScriptedDialogs dialogs;
    std::unique_ptr<TfrmMain> window;
};

TEST_F(InstalledWindow, ReadsAndWritesTheSettingsInTheUsersFolder) {
    ASSERT_TRUE(writeFile(userIni(), "[smtp]\r\nhost=h\r\nuser=u\r\naddr=a@b\r\n"
                                     "[jpeg]\r\nquality=77\r\n"));
    open();
    EXPECT_EQ(window->settingsFilePath(), userIni());
    EXPECT_EQ(window->workingJpegPath(), path("run/zoripost/zoripost.jpg"));
    EXPECT_EQ(ctl<QLineEdit>("edtQuality")->text(), QStringLiteral("77"));
    ctl<QLineEdit>("edtQuality")->setText(QStringLiteral("64"));
    window->close();
    EXPECT_TRUE(readFile(userIni()).contains("quality=64"));
    EXPECT_EQ(readFile(path("usr/bin/zoripost.ini")), QByteArray("[jpeg]\r\nquality=33\r\n"));
    EXPECT_FALSE(QFile::exists(path("usr/bin/zoripost.jpg")));
}

TEST_F(InstalledWindow, VelmaclipPasteReadsTheUsersSettingsFile) {
    ASSERT_TRUE(writeFile(userIni(), "[smtp]\r\nhost=h\r\nuser=u\r\naddr=a@b\r\n"));
    open();
    // Another program changes the settings file while the window runs.
    ASSERT_TRUE(
        writeFile(userIni(), "[jpeg]\r\nquality=70\r\n[size]\r\nwidth=480\r\nheight=640\r\n"));
    QImage picture(100, 80, QImage::Format_RGB32);
    picture.fill(qRgb(30, 120, 200));
    QGuiApplication::clipboard()->setImage(picture);
    ctl<QAbstractButton>("btnPasteFromVelmaclip")->click();
    EXPECT_EQ(ctl<QLineEdit>("edtQuality")->text(), QStringLiteral("70"));
    EXPECT_EQ(ctl<QLineEdit>("edtSizeW")->text(), QStringLiteral("480"));
    EXPECT_EQ(ctl<QLineEdit>("edtSizeH")->text(), QStringLiteral("640"));
    EXPECT_TRUE(QFile::exists(path("run/zoripost/zoripost.jpg")));
    window->close();
    EXPECT_FALSE(QFile::exists(path("run/zoripost/zoripost.jpg")));
}

} // namespace
