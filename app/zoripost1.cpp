#include "zoripost1.h"

#include "about.h"
#include "artwork.h"
#include "platform/controlevents.h"
#include "platform/dialogs.h"
#include "platform/filelocations.h"
#include "platform/fileversion.h"
#include "platform/updown.h"
#include "ui_zoripost1.h"
#include "windowlook.h"

#include "addressbook/ui/recipientlist.h"
#include "logtool/ui/logfolder.h"
#include "mail/ui/sendoperation.h"
#include "mail/ui/serversecurity.h"
#include "picture/ui/intake.h"
#include "picture/ui/picturepage.h"
#include "picture/ui/preview.h"
#include "settings/ui/settingsstore.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QStatusBar>
#include <QTimer>

#include <initializer_list>

TfrmMain::TfrmMain(const QString& executablePath, QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TfrmMain>()) {
    const zp::FileLocations files = zp::locateFiles(executablePath);
    m_settingsPath = files.settingsFile;
    m_jpegPath = files.workingJpeg;
    zp::applyWindowFont(this);
    ui->setupUi(this);
    // A fixed frame with the system menu and the minimise box only.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_AlwaysShowToolTips);
    bindUpDowns();
    buildMenus();
    zp::applyWindowLook(this, *ui, m_menus);
    // The input controls whose Enter key moves the focus on.
    QWidget* const enterMovesOn[] = {ui->chlAddr,
                                     ui->edtTitle,
                                     ui->edtQuality,
                                     ui->chkLimitSize,
                                     ui->edtLimitSize,
                                     ui->edtSizeW,
                                     ui->edtSizeH,
                                     ui->chkStretchMiniImg,
                                     ui->chkRot,
                                     ui->chkAllowCut,
                                     ui->chkFineQuality,
                                     ui->chkOutMadeGrp,
                                     ui->radLeftRot,
                                     ui->radRightRot,
                                     ui->chkAutoSend,
                                     ui->chkFileAutoClear,
                                     ui->chkMailAddrAutoClear,
                                     ui->edtSMTPHost,
                                     ui->edtSMTPUser,
                                     ui->edtSMTPAddr,
                                     ui->edtSMTPName,
                                     ui->edtReplyTo};
    for (QWidget* c : enterMovesOn)
        c->installEventFilter(this);
    connect(ui->btnExit, &QPushButton::clicked, this, &TfrmMain::btnExitClick);
    connect(ui->btnConfig, &QPushButton::clicked, this, &TfrmMain::btnConfigClick);
    createHandlers();
    connectHandlers();
    FormCreate();
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::bindUpDowns() {
    const std::pair<zp::UpDown*, QLineEdit*> pairs[] = {{ui->udQuality, ui->edtQuality},
                                                        {ui->udLimitSize, ui->edtLimitSize},
                                                        {ui->udSizeW, ui->edtSizeW},
                                                        {ui->udSizeH, ui->edtSizeH}};
    for (auto [updown, edit] : pairs)
        updown->setBuddy(edit);
}

void TfrmMain::buildMenus() {
    auto makeMenu = [this](const char* name) {
        auto* m = new QMenu(this);
        m->setObjectName(QLatin1String(name));
        return m;
    };
    auto item = [](QMenu* m, const char* name, const QString& text) {
        QAction* a = m->addAction(text);
        a->setObjectName(QLatin1String(name));
        return a;
    };
    MainMenus& m = m_menus;
    m.popAddr = makeMenu("popAddr");
    m.popAddr_Add = item(m.popAddr, "popAddr_Add", QStringLiteral("追加"));
    m.popAddr_Edit = item(m.popAddr, "popAddr_Edit", QStringLiteral("編集"));
    m.popAddr->addSeparator();
    m.popAddr_Del = item(m.popAddr, "popAddr_Del", QStringLiteral("削除"));
    m.popAddr->addSeparator();
    m.popAddr_SelectOrClear = item(m.popAddr, "popAddr_SelectOrClear", QStringLiteral("全選択"));
    m.popAddr->addSeparator();
    m.popAddr_Import = item(m.popAddr, "popAddr_Import", QStringLiteral("アドレス帳を読み込む…"));
    m.popAddr_Export = item(m.popAddr, "popAddr_Export", QStringLiteral("アドレス帳を書き出す…"));

    m.popImgEdit = makeMenu("popImgEdit");
    m.popImgEdit_Copy = item(m.popImgEdit, "popImgEdit_Copy", QStringLiteral("コピー"));
    m.popImgEdit_Paste = item(m.popImgEdit, "popImgEdit_Paste", QStringLiteral("貼り付け"));
    m.popImgEdit_Delete = item(m.popImgEdit, "popImgEdit_Delete", QStringLiteral("削除"));
    m.popImgEdit->addSeparator();
    m.popImgEdit_UD = item(m.popImgEdit, "popImgEdit_UD", QStringLiteral("上下反転"));
    m.popImgEdit_LR = item(m.popImgEdit, "popImgEdit_LR", QStringLiteral("左右反転"));
    m.popImgEdit_Rot180 = item(m.popImgEdit, "popImgEdit_Rot180", QStringLiteral("180°回転"));

    m.popWholeSize = makeMenu("popWholeSize");
    item(m.popWholeSize, "popWholeSize_Caption", QStringLiteral("プレビュー"))->setEnabled(false);
    m.popWholeSize->addSeparator();
    auto* group = new QActionGroup(m.popWholeSize);
    const char* sizes[] = {"popWholeSize_1", "popWholeSize_2", "popWholeSize_3"};
    const QString captions[] = {QStringLiteral("小"), QStringLiteral("中"), QStringLiteral("大")};
    for (int i = 0; i < 3; ++i) {
        QAction* a = item(m.popWholeSize, sizes[i], captions[i]);
        a->setCheckable(true);
        a->setChecked(i == 0);
        group->addAction(a);
        m.popWholeSize_n[i] = a;
    }
}

void TfrmMain::FormCreate() {
    // 1. State.
    m_closing = false;
    m_debug = false;
    m_send->setNoHeaderEncode(false);
    m_preview->setWholePreviewSize(1);
    m_sourcePath.clear();
    // 2. Caption, icon, product name and version.
    setWindowTitle(QStringLiteral("zoripost"));
    setWindowIcon(zp::programIcon());
    // The about page's large icon is drawn when the page is first shown.
    zp::onEvent(ui->imgProgramIcon, QEvent::Show, this, [this](QEvent*) {
        if (ui->imgProgramIcon->pixmap().isNull())
            ui->imgProgramIcon->setPixmap(zp::programIconPixmap(128));
        return false;
    });
    ui->lblProductName->setText(windowTitle());
    ui->lblVersion->setText(QStringLiteral("version ") + getFileVersion());
    // 3. Files dropped on the window are taken in by the intake's drop handling.
    setAcceptDrops(true);
    // 4. Settings; they decide whether the panel is shown, and place the window. The list's
    // caption counts the loaded check marks before the first paint, not after the welcome box.
    m_settings->loadSettings();
    m_recipients->chlAddrClickCheck();
    // 5. The picture area.
    ui->imgBG->setPixmap(zp::placeholderPicture(240, 320));
    ui->imgWhole->setPixmap(ui->imgBG->pixmap());
    m_picturePage->applyTargetSize();
    // 6. The non-picture attachment panel.
    ui->pnlAttach->setVisible(false);
    ui->memAttach->clear();
    QPalette pal = ui->memAttach->palette();
    pal.setColor(QPalette::Base, ui->pnlAttach->palette().color(QPalette::Window));
    ui->memAttach->setPalette(pal);
    // 7. Button captions, whatever the settings said about the send button.
    ui->btnPaste->setText(QStringLiteral("貼付(&V)"));
    ui->btnPasteFromVelmaclip->setText(QStringLiteral("velmaclip\nから貼付"));
    ui->btnSend->setText(QStringLiteral("送信(&S)"));
}

void TfrmMain::FormShow() {
    const bool unset = ui->edtSMTPHost->text().trimmed().isEmpty() ||
                       ui->edtSMTPUser->text().trimmed().isEmpty() ||
                       ui->edtSMTPAddr->text().trimmed().isEmpty();
    if (unset) {
        zp::dialogs().message(
            this, zp::MsgKind::Information,
            QStringLiteral("zoripostへようこそ!\nご利用前にメールに関する設定を行ってください。"));
        ui->pnlConfig->setVisible(false);
        btnConfigClick();
        ui->pgctlOption->setCurrentIndex(2);
    }
    // Closed while the welcome box was open (an end signal, a log-off): the settings are
    // saved and the working JPEG deleted already, so nothing more is taken in.
    if (m_closing)
        return;
    if (!m_commandLineFile.isEmpty()) {
        // A file dropped on the icon of a program that was not running is never sent.
        m_intake->openPictureFile(m_commandLineFile, false);
    }
    m_recipients->chlAddrClickCheck();
    ui->chlAddr->setFocus(Qt::OtherFocusReason);
}

void TfrmMain::FormClose() {
    if (m_closing)
        return;
    m_closing = true;
    // A send still running ends first, as a failure with its log, before the settings go.
    m_send->endSendForClose();
    m_send->disconnectSmtp();
    m_settings->saveSettings();
    emit settingsSaved();
    if (QFile::exists(m_jpegPath))
        QFile::remove(m_jpegPath);
}

void TfrmMain::btnExitClick() {
    close();
}

void TfrmMain::btnConfigClick() {
    if (!ui->pnlConfig->isHidden()) {
        ui->pnlConfig->setVisible(false);
        setOuterWidth(kOuterWidthNarrow);
        ui->btnConfig->setText(QStringLiteral("設定表示"));
    } else {
        ui->pnlConfig->setVisible(true);
        setOuterWidth(kOuterWidthWide);
        ui->btnConfig->setText(QStringLiteral("設定隠す"));
    }
}

void TfrmMain::setOuterWidth(int outer) {
    setFixedSize(outer - kFrameWidth, kClientHeight);
}

void TfrmMain::nextCtrlWhenEnter() {
    focusNextPrevChild(true);
    // The security button beside the SMTP server box is a Tab stop only: Enter goes on
    // from the box to the user name box.
    if (focusWidget() == ui->btnServerSecurity)
        focusNextPrevChild(true);
}

void TfrmMain::reportStatus(const QString& text, zp::MsgKind kind) {
    if (kind != zp::MsgKind::None)
        zp::dialogs().message(this, kind, text, zp::MsgButtons::Ok);
    if (text.isEmpty())
        statusBar()->clearMessage();
    else
        statusBar()->showMessage(text);
    ui->memoDebug->appendPlainText(text);
}

QString TfrmMain::statusText() {
    return statusBar()->currentMessage();
}

void TfrmMain::setDebugFlag(bool on) {
    m_debug = on;
    ui->memoDebug->setVisible(on);
}

bool TfrmMain::noHeaderEncode() const {
    return m_send->noHeaderEncode();
}

int TfrmMain::wholePreviewSize() const {
    return m_preview->wholePreviewSize();
}

zp::MailPorts TfrmMain::mailPorts() const {
    return m_send->mailPorts();
}

void TfrmMain::setMailPorts(const zp::MailPorts& ports) {
    m_send->mailPorts() = ports;
}

void TfrmMain::setSourceFileName(const QString& pathOrName) {
    ui->lblFileNameF->setText(zp::fileNamePart(pathOrName));
}

void TfrmMain::setControlsEnabled(bool enabled) {
    ui->pnlMain->setEnabled(enabled);
    ui->pnlConfig->setEnabled(enabled);
}

QString TfrmMain::getFileVersion() {
    return zp::executableFileVersion(QStringLiteral(ZP_VERSION_TEXT));
}

void TfrmMain::bringToFront() {
    if (isMinimized())
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

bool TfrmMain::event(QEvent* event) {
    // The status bar holds the reported text only; menu hints must not replace it.
    if (event->type() == QEvent::StatusTip)
        return true;
    return QMainWindow::event(event);
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // Enter moves on exactly as Tab would, and the control never sees the key.
            nextCtrlWhenEnter();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        // Run from the event loop, so that the welcome box and a request to end the
        // program (which closes that box) meet inside the running loop.
        QTimer::singleShot(0, this, &TfrmMain::FormShow);
    }
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}
