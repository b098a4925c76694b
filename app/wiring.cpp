// How the window's parts talk: the handler objects of the ui/ folders are created here
// with the controls they use, and every request of one part to another is connected
// here, checked by the compiler.
#include "zoripost1.h"

#include "about.h"
#include "ui_zoripost1.h"

#include "addressbook/ui/recipientlist.h"
#include "logtool/ui/logfolder.h"
#include "mail/ui/passwordkeyring.h"
#include "mail/ui/sendoperation.h"
#include "mail/ui/serversecurity.h"
#include "picture/ui/intake.h"
#include "picture/ui/picturepage.h"
#include "picture/ui/preview.h"
#include "platform/keyring.h"
#include "settings/ui/settingsstore.h"

#include <QMenu>
#include <QPushButton>
#include <QToolButton>

// In this order: each part installs its event hooks on the controls as it is made.
void TfrmMain::createHandlers() {
    m_about = new zp::AboutPage(*this, *ui, this);
    createPictureHandlers();
    createPreview();
    createMailHandlers();
    createListHandlers();
    createSettingsStore();
}

void TfrmMain::createPictureHandlers() {
    const MainMenus& m = m_menus;
    m_picturePage = new zp::PicturePage(*this,
                                        {
                                            .edtQuality = ui->edtQuality,
                                            .udQuality = ui->udQuality,
                                            .chkLimitSize = ui->chkLimitSize,
                                            .edtLimitSize = ui->edtLimitSize,
                                            .udLimitSize = ui->udLimitSize,
                                            .cmbSize = ui->cmbSize,
                                            .edtSizeW = ui->edtSizeW,
                                            .udSizeW = ui->udSizeW,
                                            .edtSizeH = ui->edtSizeH,
                                            .udSizeH = ui->udSizeH,
                                            .chkStretchMiniImg = ui->chkStretchMiniImg,
                                            .chkRot = ui->chkRot,
                                            .radLeftRot = ui->radLeftRot,
                                            .radRightRot = ui->radRightRot,
                                            .chkAllowCut = ui->chkAllowCut,
                                            .chkFineQuality = ui->chkFineQuality,
                                            .btnMakeJpeg = ui->btnMakeJpeg,
                                            .chkOutMadeGrp = ui->chkOutMadeGrp,
                                            .edtOutDir = ui->edtOutDir,
                                            .lblFileNameF = ui->lblFileNameF,
                                            .imgBG = ui->imgBG,
                                            .imgQVGA = ui->imgQVGA,
                                            .imgJPEGnized = ui->imgJPEGnized,
                                            .pnlWhole = ui->pnlWhole,
                                            .pnlAttach = ui->pnlAttach,
                                            .memAttach = ui->memAttach,
                                        },
                                        this);
    m_intake = new zp::Intake(*this,
                              {
                                  .btnPaste = ui->btnPaste,
                                  .btnPasteFromVelmaclip = ui->btnPasteFromVelmaclip,
                                  .btnClear = ui->btnClear,
                                  .popImgEdit_Paste = m.popImgEdit_Paste,
                                  .popImgEdit_Delete = m.popImgEdit_Delete,
                                  .chkAutoSend = ui->chkAutoSend,
                                  .edtQuality = ui->edtQuality,
                                  .udQuality = ui->udQuality,
                                  .cmbSize = ui->cmbSize,
                                  .edtSizeW = ui->edtSizeW,
                                  .udSizeW = ui->udSizeW,
                                  .edtSizeH = ui->edtSizeH,
                                  .udSizeH = ui->udSizeH,
                                  .pnlAttach = ui->pnlAttach,
                                  .memAttach = ui->memAttach,
                                  .pnlWhole = ui->pnlWhole,
                                  .imgBG = ui->imgBG,
                                  .imgQVGA = ui->imgQVGA,
                                  .imgJPEGnized = ui->imgJPEGnized,
                                  .imgWhole = ui->imgWhole,
                              },
                              *m_picturePage, this);
}

void TfrmMain::createPreview() {
    const MainMenus& m = m_menus;
    m_preview = new zp::Preview(
        *this,
        {
            .sbImageScroll = ui->sbImageScroll,
            .imgBG = ui->imgBG,
            .imgQVGA = ui->imgQVGA,
            .imgJPEGnized = ui->imgJPEGnized,
            .pnlWhole = ui->pnlWhole,
            .imgWhole = ui->imgWhole,
            .pnlAttach = ui->pnlAttach,
            .edtSizeW = ui->edtSizeW,
            .udSizeW = ui->udSizeW,
            .edtSizeH = ui->edtSizeH,
            .udSizeH = ui->udSizeH,
            .cmbSize = ui->cmbSize,
            .lblAutoSendCaution = ui->lblAutoSendCaution,
            .chkOutMadeGrp = ui->chkOutMadeGrp,
            .edtOutDir = ui->edtOutDir,
            .btnOutDirSelect = ui->btnOutDirSelect,
            .btnOutFolderOpen = ui->btnOutFolderOpen,
            .popImgEdit = m.popImgEdit,
            .popImgEdit_Copy = m.popImgEdit_Copy,
            .popImgEdit_Paste = m.popImgEdit_Paste,
            .popImgEdit_Delete = m.popImgEdit_Delete,
            .popImgEdit_UD = m.popImgEdit_UD,
            .popImgEdit_LR = m.popImgEdit_LR,
            .popImgEdit_Rot180 = m.popImgEdit_Rot180,
            .popWholeSize = m.popWholeSize,
            .popWholeSize_n = {m.popWholeSize_n[0], m.popWholeSize_n[1], m.popWholeSize_n[2]},
        },
        *m_picturePage, this);
}

void TfrmMain::createMailHandlers() {
    m_send = new zp::SendOperation(*this,
                                   {
                                       .btnSend = ui->btnSend,
                                       .edtSMTPHost = ui->edtSMTPHost,
                                       .edtSMTPUser = ui->edtSMTPUser,
                                       .edtSMTPAddr = ui->edtSMTPAddr,
                                       .edtSMTPName = ui->edtSMTPName,
                                       .edtReplyTo = ui->edtReplyTo,
                                       .chkPOPbSMTP = ui->chkPOPbSMTP,
                                       .edtPOP3Host = ui->edtPOP3Host,
                                       .edtPOP3Pwd = ui->edtPOP3Pwd,
                                       .lblVersion = ui->lblVersion,
                                       .chkSendCap = ui->chkSendCap,
                                       .edtSendSE = ui->edtSendSE,
                                       .chkFileAutoClear = ui->chkFileAutoClear,
                                       .chkMailAddrAutoClear = ui->chkMailAddrAutoClear,
                                       .cmbCharset = ui->cmbCharset,
                                       .snapshot =
                                           {
                                               .btnSend = ui->btnSend,
                                               .chlAddr = ui->chlAddr,
                                               .lstSelectedAddr = ui->lstSelectedAddr,
                                               .edtTitle = ui->edtTitle,
                                               .memoBody = ui->memoBody,
                                               .pnlAttach = ui->pnlAttach,
                                               .memAttach = ui->memAttach,
                                           },
                                       .log =
                                           {
                                               .radLogSave = ui->radLogSave,
                                               .edtSaveDir = ui->edtSaveDir,
                                               .chkMakeNameDir = ui->chkMakeNameDir,
                                           },
                                   },
                                   this);
    m_serverSecurity =
        new zp::ServerSecurity(*this, ui->btnServerSecurity, m_send->mailPorts(), this);
    m_password = new zp::PasswordKeyring(*this,
                                         {
                                             .chkKeyring = ui->chkKeyring,
                                             .edtPOP3Pwd = ui->edtPOP3Pwd,
                                             .edtSMTPUser = ui->edtSMTPUser,
                                             .edtSMTPHost = ui->edtSMTPHost,
                                         },
                                         zp::keyring(), this);
}

void TfrmMain::createListHandlers() {
    const MainMenus& m = m_menus;
    m_recipients = new zp::RecipientList(*this,
                                         {
                                             .lblChecked = ui->lblChecked,
                                             .btnAddrMenu = ui->btnAddrMenu,
                                             .chlAddr = ui->chlAddr,
                                             .pnlSelectedAddr = ui->pnlSelectedAddr,
                                             .lstSelectedAddr = ui->lstSelectedAddr,
                                             .Label3 = ui->Label3,
                                             .popAddr = m.popAddr,
                                             .popAddr_Add = m.popAddr_Add,
                                             .popAddr_Edit = m.popAddr_Edit,
                                             .popAddr_Del = m.popAddr_Del,
                                             .popAddr_SelectOrClear = m.popAddr_SelectOrClear,
                                             .popAddr_Import = m.popAddr_Import,
                                             .popAddr_Export = m.popAddr_Export,
                                         },
                                         this);
    m_logFolder = new zp::LogFolder(*this,
                                    {
                                        .radLogSave = ui->radLogSave,
                                        .edtSaveDir = ui->edtSaveDir,
                                        .btnDirSelect = ui->btnDirSelect,
                                        .btnFolderOpen = ui->btnFolderOpen,
                                        .chkMakeNameDir = ui->chkMakeNameDir,
                                        .btnAutoAlloc = ui->btnAutoAlloc,
                                    },
                                    this);
}

void TfrmMain::createSettingsStore() {
    const MainMenus& m = m_menus;
    const zp::SettingsControls controls{
        .pnlConfig = ui->pnlConfig,
        .udQuality = ui->udQuality,
        .edtQuality = ui->edtQuality,
        .udLimitSize = ui->udLimitSize,
        .edtLimitSize = ui->edtLimitSize,
        .chkLimitSize = ui->chkLimitSize,
        .udSizeW = ui->udSizeW,
        .edtSizeW = ui->edtSizeW,
        .udSizeH = ui->udSizeH,
        .edtSizeH = ui->edtSizeH,
        .cmbSize = ui->cmbSize,
        .chkStretchMiniImg = ui->chkStretchMiniImg,
        .radLeftRot = ui->radLeftRot,
        .radRightRot = ui->radRightRot,
        .chkRot = ui->chkRot,
        .chkAllowCut = ui->chkAllowCut,
        .chkFineQuality = ui->chkFineQuality,
        .chkOutMadeGrp = ui->chkOutMadeGrp,
        .edtOutDir = ui->edtOutDir,
        .chkAutoSend = ui->chkAutoSend,
        .chkFileAutoClear = ui->chkFileAutoClear,
        .chkMailAddrAutoClear = ui->chkMailAddrAutoClear,
        .radLogSave = ui->radLogSave,
        .edtSaveDir = ui->edtSaveDir,
        .chkMakeNameDir = ui->chkMakeNameDir,
        .edtSMTPHost = ui->edtSMTPHost,
        .edtSMTPUser = ui->edtSMTPUser,
        .edtSMTPAddr = ui->edtSMTPAddr,
        .edtSMTPName = ui->edtSMTPName,
        .chkPOPbSMTP = ui->chkPOPbSMTP,
        .edtPOP3Host = ui->edtPOP3Host,
        .edtPOP3Pwd = ui->edtPOP3Pwd,
        .edtReplyTo = ui->edtReplyTo,
        .edtTitle = ui->edtTitle,
        .cmbCharset = ui->cmbCharset,
        .memoBody = ui->memoBody,
        .chlAddr = ui->chlAddr,
        .popWholeSize = {m.popWholeSize_n[0], m.popWholeSize_n[1], m.popWholeSize_n[2]},
        .chkSendCap = ui->chkSendCap,
        .btnSend = ui->btnSend,
        .edtSendSE = ui->edtSendSE,
    };
    m_settings = std::make_unique<zp::SettingsStore>(*this, controls, settingsHooks());
}

zp::SettingsHooks TfrmMain::settingsHooks() {
    using zp::ProfileFile;
    return {
        .setDebugFlag = [this](bool on) { setDebugFlag(on); },
        .setNoHeaderEncode = [this](bool on) { m_send->setNoHeaderEncode(on); },
        .loadMailPorts =
            [this](const ProfileFile& f) { m_send->mailPorts() = zp::readMailPorts(f); },
        .saveMailPorts = [this](ProfileFile& f) { zp::writeMailPorts(f, m_send->mailPorts()); },
        .loadPasswordPlace = [this](const ProfileFile& f) { m_password->loadSettings(f); },
        .savePasswordPlace = [this](ProfileFile& f) { m_password->saveSettings(f); },
        .wholePreviewSize = [this] { return m_preview->wholePreviewSize(); },
        .setWholePreviewSize = [this](int size) { m_preview->setWholePreviewSize(size); },
        .btnConfigClick = [this] { btnConfigClick(); },
        .cmbSizeChange = [this] { m_picturePage->cmbSizeChange(); },
        .chkLimitSizeClick = [this] { m_picturePage->chkLimitSizeClick(); },
        .chkRotClick = [this] { m_picturePage->chkRotClick(); },
        .chkOutMadeGrpClick = [this] { m_preview->chkOutMadeGrpClick(); },
        .edtOutDirEnter = [this] { m_preview->edtOutDirEnter(); },
        .radLogSaveClick = [this] { m_logFolder->radLogSaveClick(); },
        .edtSaveDirEnter = [this] { m_logFolder->edtSaveDirEnter(); },
        .chkPOPbSMTPClick = [this] { m_send->chkPOPbSMTPClick(); },
        .chkSendCapClick = [this] { m_about->chkSendCapClick(); },
    };
}

void TfrmMain::connectHandlers() {
    using zp::Intake, zp::LogFolder, zp::PicturePage, zp::Preview, zp::RecipientList,
        zp::SendOperation;
    // The picture page lays out the panes; the preview lays out the rest.
    connect(m_picturePage, &PicturePage::targetSizeApplied, m_preview, &Preview::layoutPreview);
    connect(m_picturePage, &PicturePage::wholePreviewOutdated, m_preview,
            &Preview::updateWholePreview);
    // Enter in a folder box moves on as in the other boxes, then the box checks its text.
    connect(m_preview, &Preview::moveFocusOn, this, &TfrmMain::nextCtrlWhenEnter);
    connect(m_logFolder, &LogFolder::moveFocusOn, this, &TfrmMain::nextCtrlWhenEnter);
    // A paste or a drop with automatic sending on sends at once.
    m_intake->setSend([this] { m_send->btnSendClick(); });
    // The send attaches the working JPEG when a picture is being prepared.
    m_send->setPicturePresent([this] { return m_picturePage->source().present(); });
    // A password kept in the keyring is fetched before the send starts.
    m_send->setPasswordGate([this](std::function<void()> ready) {
        return m_password->ensurePassword(std::move(ready));
    });
    // After a send: the attachment detached (when asked), the recipients counted again and
    // the list collapsed to the chosen ones, in this order.
    connect(m_send, &SendOperation::detachRequested, m_intake, &Intake::btnClearClick);
    connect(m_send, &SendOperation::recipientsRecountRequested, m_recipients,
            &RecipientList::chlAddrClickCheck);
    connect(m_send, &SendOperation::recipientsCollapseRequested, m_recipients,
            &RecipientList::chlAddrExit);
}
