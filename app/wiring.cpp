// How the window's parts talk: the handler objects of the ui/ folders are created here
// with the controls they use, and every request of one part to another is connected
// here, checked by the compiler.
#include "zoripost1.h"

#include "about.h"
#include "ui_zoripost1.h"

#include "addressbook/ui/recipientlist.h"
#include "logtool/ui/logfolder.h"
#include "mail/ui/sendoperation.h"
#include "mail/ui/serversecurity.h"
#include "picture/ui/intake.h"
#include "picture/ui/picturepage.h"
#include "picture/ui/preview.h"
#include "settings/ui/settingsstore.h"

#include <QMenu>

namespace {

QAction* menuItem(QWidget* window, const char* name) {
    return zp::findControl<QAction>(window, name);
}

} // namespace

void TfrmMain::createHandlers() {
    m_about = new zp::AboutPage(*this, this);
    m_picturePage = new zp::PicturePage(*this, this);
    m_intake = new zp::Intake(*this, *m_picturePage, this);
    m_preview = new zp::Preview(*this, *m_picturePage, this);
    m_send = new zp::SendOperation(*this, this);
    m_serverSecurity = new zp::ServerSecurity(*this, m_send->mailPorts(), this);
    m_recipients = new zp::RecipientList(*this, this);
    m_logFolder = new zp::LogFolder(*this, this);
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
        .memoBody = ui->memoBody,
        .chlAddr = ui->chlAddr,
        .popWholeSize = {menuItem(this, "popWholeSize_1"), menuItem(this, "popWholeSize_2"),
                         menuItem(this, "popWholeSize_3")},
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
    // After a send: the attachment detached (when asked), the recipients counted again and
    // the list collapsed to the chosen ones, in this order.
    connect(m_send, &SendOperation::detachRequested, m_intake, &Intake::btnClearClick);
    connect(m_send, &SendOperation::recipientsRecountRequested, m_recipients,
            &RecipientList::chlAddrClickCheck);
    connect(m_send, &SendOperation::recipientsCollapseRequested, m_recipients,
            &RecipientList::chlAddrExit);
}
