#pragma once
// The main window: owns every control (built from zoripost1.ui), the window state that
// no control holds, start-up and shutdown, the status reporting and the Enter-moves-on
// convention. The handlers of the subsystems live in small objects of the ui/ folders.
#include "mail/ui/mailports.h"
#include "platform/windowhost.h"

#include <QList>
#include <QMainWindow>
#include <QString>

#include <memory>

class QAction;
class QKeyEvent;
class QMenu;

namespace Ui {
class TfrmMain;
}

namespace zp {
class AboutPage;
class Intake;
class LogFolder;
class PicturePage;
class Preview;
class RecipientList;
class SendOperation;
class PasswordKeyring;
class ServerSecurity;
class SettingsStore;
struct SettingsHooks;
} // namespace zp

// The context menus, built in code; their items keep the components' names.
struct MainMenus {
    QMenu* popAddr;
    QAction* popAddr_Add;
    QAction* popAddr_Edit;
    QAction* popAddr_Del;
    QAction* popAddr_SelectOrClear;
    QAction* popAddr_Import;
    QAction* popAddr_Export;
    QMenu* popImgEdit;
    QAction* popImgEdit_Copy;
    QAction* popImgEdit_Paste;
    QAction* popImgEdit_Delete;
    QAction* popImgEdit_UD;
    QAction* popImgEdit_LR;
    QAction* popImgEdit_Rot180;
    QMenu* popWholeSize;
    QAction* popWholeSize_n[3];
};

class TfrmMain : public QMainWindow, public zp::WindowHost {
    Q_OBJECT
public:
    // Outer widths of the window with the settings panel hidden and shown, and the frame
    // those widths include; the client area is the width less the frame.
    static constexpr int kOuterWidthNarrow = 520;
    static constexpr int kOuterWidthWide = 796;
    static constexpr int kFrameWidth = 12;
    static constexpr int kClientHeight = 353;

    // executablePath names the settings file (suffix ".ini") and the working JPEG (".jpg"),
    // kept beside it or in the user's folders (platform/filelocations.h).
    explicit TfrmMain(const QString& executablePath, QWidget* parent = nullptr);
    ~TfrmMain() override;

    // The file to take in when the window is first shown (the first command-line argument).
    void setCommandLineFile(const QString& path) { m_commandLineFile = path; }
    // The outer width of the platform's window for the current client width.
    int outerWidth() const { return width() + kFrameWidth; }
    // The version compiled into the program, "X.Y.Z.W".
    static QString getFileVersion();
    // Brings the window to the front, restoring it when minimised (a second start asked).
    void bringToFront();

    // zp::WindowHost
    QWidget* window() override { return this; }
    void reportStatus(const QString& text, zp::MsgKind kind) override;
    QString settingsFilePath() const override { return m_settingsPath; }
    QString workingJpegPath() const override { return m_jpegPath; }
    QString statusText() override;
    void setControlsEnabled(bool enabled) override;
    void setSourceFileName(const QString& pathOrName) override;
    QString sourceFilePath() const override { return m_sourcePath; }
    void setSourceFilePath(const QString& path) override { m_sourcePath = path; }

    // The handler objects of the ui/ folders, created with the window and wired to each
    // other in wiring.cpp.
    zp::AboutPage* aboutPage() const { return m_about; }
    zp::PicturePage* picturePage() const { return m_picturePage; }
    zp::Intake* intake() const { return m_intake; }
    zp::Preview* preview() const { return m_preview; }
    zp::SendOperation* sendOperation() const { return m_send; }
    zp::ServerSecurity* serverSecurity() const { return m_serverSecurity; }
    zp::PasswordKeyring* passwordKeyring() const { return m_password; }
    zp::RecipientList* recipientList() const { return m_recipients; }
    zp::LogFolder* logFolder() const { return m_logFolder; }
    zp::SettingsStore& settingsStore() const { return *m_settings; }

    // Window state that no control holds, and the same held by its owners.
    bool debugFlag() const { return m_debug; }
    void setDebugFlag(bool on);
    bool noHeaderEncode() const;
    int wholePreviewSize() const;
    zp::MailPorts mailPorts() const;
    void setMailPorts(const zp::MailPorts& ports);

public slots:
    void FormCreate();
    void FormShow();
    void FormClose();
    void btnExitClick();
    void btnConfigClick();
    // Moves the focus to the next control in tab order, as Tab does.
    void nextCtrlWhenEnter();

signals:
    // Emitted after the settings have been written at close.
    void settingsSaved();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void createHandlers();
    void createPictureHandlers();
    void createPreview();
    void createMailHandlers();
    void createListHandlers();
    void createSettingsStore();
    void connectHandlers();
    zp::SettingsHooks settingsHooks();
    void bindUpDowns();
    void setOuterWidth(int outer);

    std::unique_ptr<Ui::TfrmMain> ui;
    MainMenus m_menus{};
    std::unique_ptr<zp::SettingsStore> m_settings;
    zp::AboutPage* m_about = nullptr;
    zp::PicturePage* m_picturePage = nullptr;
    zp::Intake* m_intake = nullptr;
    zp::Preview* m_preview = nullptr;
    zp::SendOperation* m_send = nullptr;
    zp::ServerSecurity* m_serverSecurity = nullptr;
    zp::PasswordKeyring* m_password = nullptr;
    zp::RecipientList* m_recipients = nullptr;
    zp::LogFolder* m_logFolder = nullptr;
    QString m_settingsPath;
    QString m_jpegPath;
    QString m_commandLineFile;
    QString m_sourcePath;
    bool m_closing = false;
    bool m_shown = false;
    bool m_debug = false;
};
