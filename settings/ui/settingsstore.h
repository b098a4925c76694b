#pragma once
// Loading the settings file into the main window's controls once at start, and writing
// the controls back once at close. The controls are the only copy of the settings.
#include "platform/windowhost.h"

#include <functional>

class QAbstractButton;
class QAction;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;

namespace zp {

class ProfileFile;
class RadioGroup;
class UpDown;

// The controls that hold a setting, and the window's controls the loading steps set.
struct SettingsControls {
    QWidget* pnlConfig;
    UpDown* udQuality;
    QLineEdit* edtQuality;
    UpDown* udLimitSize;
    QLineEdit* edtLimitSize;
    QAbstractButton* chkLimitSize;
    UpDown* udSizeW;
    QLineEdit* edtSizeW;
    UpDown* udSizeH;
    QLineEdit* edtSizeH;
    QComboBox* cmbSize;
    QAbstractButton* chkStretchMiniImg;
    QAbstractButton* radLeftRot;
    QAbstractButton* radRightRot;
    QAbstractButton* chkRot;
    QAbstractButton* chkAllowCut;
    QAbstractButton* chkFineQuality;
    QAbstractButton* chkOutMadeGrp;
    QLineEdit* edtOutDir;
    QAbstractButton* chkAutoSend;
    QAbstractButton* chkFileAutoClear;
    QAbstractButton* chkMailAddrAutoClear;
    RadioGroup* radLogSave;
    QLineEdit* edtSaveDir;
    QAbstractButton* chkMakeNameDir;
    QLineEdit* edtSMTPHost;
    QLineEdit* edtSMTPUser;
    QLineEdit* edtSMTPAddr;
    QLineEdit* edtSMTPName;
    QAbstractButton* chkPOPbSMTP;
    QLineEdit* edtPOP3Host;
    QLineEdit* edtPOP3Pwd;
    QLineEdit* edtReplyTo;
    QLineEdit* edtTitle;
    QComboBox* cmbCharset;
    QPlainTextEdit* memoBody;
    QListWidget* chlAddr;
    QAction* popWholeSize[3];
    QAbstractButton* chkSendCap;
    QAbstractButton* btnSend;
    QLineEdit* edtSendSE;
};

// What loading and saving hand to the other parts of the window: state that no control
// holds, and the controls' own handlers, run once a value is in its control.
struct SettingsHooks {
    std::function<void(bool)> setDebugFlag;
    std::function<void(bool)> setNoHeaderEncode;
    std::function<void(const ProfileFile&)> loadMailPorts;
    std::function<void(ProfileFile&)> saveMailPorts;
    // Where the password lives ([pop3] keyring), after [pop3] name is read and written.
    std::function<void(const ProfileFile&)> loadPasswordPlace;
    std::function<void(ProfileFile&)> savePasswordPlace;
    std::function<int()> wholePreviewSize;
    std::function<void(int)> setWholePreviewSize;
    std::function<void()> btnConfigClick;
    std::function<void()> cmbSizeChange;
    std::function<void()> chkLimitSizeClick;
    std::function<void()> chkRotClick;
    std::function<void()> chkOutMadeGrpClick;
    std::function<void()> edtOutDirEnter;
    std::function<void()> radLogSaveClick;
    std::function<void()> edtSaveDirEnter;
    std::function<void()> chkPOPbSMTPClick;
    std::function<void()> chkSendCapClick;
};

class SettingsStore {
public:
    SettingsStore(WindowHost& host, const SettingsControls& controls, SettingsHooks hooks);

    // Never fails: a missing file, key or a malformed number gives the defaults. Runs
    // the controls' own handlers (through the hooks) in the order they need.
    void loadSettings();
    // Writes every setting and replaces the file in one step. A refused write shows the
    // two information messages and returns normally, leaving the old file whole.
    void saveSettings();

    // Hand-edited counts beyond these are read as these, so a typing slip in the file
    // cannot make the start hang or fill the memory.
    static constexpr int kMaxBodyLines = 10000;
    static constexpr int kMaxRecipients = 10000;

private:
    WindowHost& m_host;
    SettingsControls m_controls;
    SettingsHooks m_hooks;
};

} // namespace zp
