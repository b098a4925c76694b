#include "settingsstore.h"

#include "platform/fspath.h"
#include "platform/radiogroup.h"
#include "platform/textcodec.h"
#include "platform/updown.h"
#include "settings/profile.h"
#include "settings/sizepresets.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScreen>
#include <QtDebug>

#include <algorithm>
#include <functional>
#include <string>

namespace zp {
namespace {

struct Context {
    WindowHost& host;
    const SettingsControls& ctl;
    const SettingsHooks& hooks;
    ProfileFile& file;
    QWidget* window() const { return host.window(); }
};

using C = SettingsControls;
using H = SettingsHooks;

enum class Kind {
    Check,         // a check box or radio button; bool
    CheckWhenSet,  // a check box written only when the file has the key or the box is on
    CheckInverted, // a check box stored as its opposite; bool
    Spin,          // an up-down with its edit box; integer clamped to the spin range
    Text,          // an edit box; string
    TypedText,     // an edit box of typed text; string keeping every character (escapes)
    RadioIndex,    // a radio group's item index; integer
    Special,       // its own load and save steps
};

// One row per setting, in the order in which they are read. Saving writes the rows
// marked saveFirst, then all others in this order; rows without a save step (the
// hand-set debug keys, the send-button caption) are never written.
// The controls and steps of one setting; only those its kind needs are given.
struct Binding {
    QAbstractButton* C::*button = nullptr;    // Check, CheckWhenSet, CheckInverted
    UpDown* C::*spin = nullptr;               // Spin
    QLineEdit* C::*edit = nullptr;            // Spin, Text
    RadioGroup* C::*radio = nullptr;          // RadioIndex
    int fallback = 0;                         // Spin: written when the box holds no number
    std::function<void()> H::*hook = nullptr; // run once the value is in its control
    void (*load)(Context&) = nullptr;         // Special
    void (*save)(Context&) = nullptr;         // Special
    bool saveFirst = false;
};

struct Setting {
    const char* section;
    const char* key;
    Kind kind;
    int def; // Check, Spin, RadioIndex: default when missing
    Binding b;
};

// A radio button that is checked cannot be unchecked while it is auto-exclusive;
// stored settings may choose neither direction.
void setChecked(QAbstractButton* b, bool on) {
    if (!on && b->isChecked() && b->autoExclusive()) {
        b->setAutoExclusive(false);
        b->setChecked(false);
        b->setAutoExclusive(true);
        return;
    }
    b->setChecked(on);
}

int numberOr(const QString& text, int fallback) {
    int value = fallback;
    return parseProfileInt(toSjis(text), value) ? value : fallback;
}

std::string numbered(const char* prefix, int i) {
    return prefix + std::to_string(i);
}

// --- special steps -------------------------------------------------------------------

void loadDebug(Context& c) {
    c.hooks.setDebugFlag(c.file.readBool("debug", "win", false));
    c.hooks.setNoHeaderEncode(c.file.readBool("debug", "NoHeaderEncode", false));
}

// Like the debug keys, set by hand; their owner reads and writes them.
void loadPorts(Context& c) {
    c.hooks.loadMailPorts(c.file);
}

void savePorts(Context& c) {
    c.hooks.saveMailPorts(c.file);
}

// The password box holds [pop3] name by now; its owner decides whether the password lives
// in the keyring instead, and empties [pop3] name when it does.
void loadPasswordPlace(Context& c) {
    if (c.hooks.loadPasswordPlace)
        c.hooks.loadPasswordPlace(c.file);
}

void savePasswordPlace(Context& c) {
    if (c.hooks.savePasswordPlace)
        c.hooks.savePasswordPlace(c.file);
}

// The panel is set to the opposite and then toggled by its own handler, which also
// sets the window width and the button caption.
void loadShowConfig(Context& c) {
    c.ctl.pnlConfig->setVisible(!c.file.readBool("general", "showConfig", false));
    c.hooks.btnConfigClick();
}

void saveShowConfig(Context& c) {
    // Whether the panel is shown in the window, even while the window itself is hidden.
    c.file.writeBool("general", "showConfig", !c.ctl.pnlConfig->isHidden());
}

// At least 96 pixels of the window stay on the screen at the left, and its top-left
// corner stays 32 pixels from the right and 64 from the bottom edge.
void loadPlacement(Context& c) {
    QWidget* w = c.window();
    const QRect frame = w->frameGeometry();
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize screenSize = screen ? screen->geometry().size() : QSize(1024, 768);
    int left = c.file.readInt("WinPosition", "x", (screenSize.width() - frame.width()) / 2);
    int top = c.file.readInt("WinPosition", "y", (screenSize.height() - frame.height()) / 2);
    if (left + frame.width() < 96)
        left = 96 - frame.width();
    if (left > screenSize.width() - 32)
        left = screenSize.width() - 32;
    if (top < 0)
        top = 0;
    if (top > screenSize.height() - 64)
        top = screenSize.height() - 64;
    w->move(left, top);
}

void savePlacement(Context& c) {
    c.file.writeInt("WinPosition", "x", c.window()->x());
    c.file.writeInt("WinPosition", "y", c.window()->y());
}

void loadSizePreset(Context& c) {
    const int w = c.ctl.udSizeW->position();
    const int h = c.ctl.udSizeH->position();
    c.ctl.cmbSize->setCurrentIndex(findSizePreset(w, h));
    c.hooks.cmbSizeChange();
}

// The memo's lines are the lines the user typed, however the memo wraps them for
// display; an empty memo has no lines.
QStringList memoLines(const QPlainTextEdit* memo) {
    const QString text = memo->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

void loadBody(Context& c) {
    const int count =
        std::min(c.file.readInt("mail", "bodycount", 0), SettingsStore::kMaxBodyLines);
    QStringList lines;
    for (int i = 1; i <= count; ++i)
        lines << QString::fromStdString(c.file.readText("mail", numbered("body", i), ""));
    c.ctl.memoBody->setPlainText(lines.join(QLatin1Char('\n')));
}

// Lines left over from a longer body are deleted up to the first gap in the numbers.
void saveBody(Context& c) {
    const QStringList lines = memoLines(c.ctl.memoBody);
    const int count = static_cast<int>(lines.size());
    c.file.writeInt("mail", "bodycount", count);
    for (int i = 1; i <= count; ++i)
        c.file.writeText("mail", numbered("body", i), lines[i - 1].toStdString());
    for (int k = count + 1; c.file.keyExists("mail", numbered("body", k)); ++k)
        c.file.deleteKey("mail", numbered("body", k));
}

void loadRecipients(Context& c) {
    QListWidget* list = c.ctl.chlAddr;
    const int count =
        std::min(c.file.readInt("mail", "addrcount", 0), SettingsStore::kMaxRecipients);
    for (int i = 1; i <= count; ++i) {
        auto* item =
            new QListWidgetItem(fromSjis(c.file.readString("mail", numbered("addr", i), "")));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        const bool checked = c.file.readBool("mail", numbered("addrChecked", i), false);
        item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
        list->addItem(item);
    }
}

// Entries numbered above the count, left by an earlier, longer list, are deleted as the
// body lines are: a person removed from the address book must not stay in the file.
void saveRecipients(Context& c) {
    const QListWidget* list = c.ctl.chlAddr;
    c.file.writeInt("mail", "addrcount", list->count());
    for (int i = 1; i <= list->count(); ++i) {
        const QListWidgetItem* item = list->item(i - 1);
        c.file.writeString("mail", numbered("addr", i), toSjis(item->text()));
        c.file.writeBool("mail", numbered("addrChecked", i), item->checkState() == Qt::Checked);
    }
    for (int k = list->count() + 1; c.file.keyExists("mail", numbered("addr", k)) ||
                                    c.file.keyExists("mail", numbered("addrChecked", k));
         ++k) {
        c.file.deleteKey("mail", numbered("addr", k));
        c.file.deleteKey("mail", numbered("addrChecked", k));
    }
}

void loadWholeSize(Context& c) {
    int size = c.file.readInt("general", "wholesize", 1);
    if (size < 1 || size > 3)
        size = 1;
    c.hooks.setWholePreviewSize(size);
    c.ctl.popWholeSize[size - 1]->setChecked(true);
}

void saveWholeSize(Context& c) {
    c.file.writeInt("general", "wholesize", c.hooks.wholePreviewSize());
}

// Written back only when the file has it or the choice differs from the default, as the
// hand-set port keys are, so that a file without it stays as it was; a value outside 0..2
// counts as missing.
bool readCharset(const ProfileFile& file, int& charset) {
    charset = file.readInt("mail", "charset", -1);
    return charset >= 0 && charset <= 2;
}

void loadCharset(Context& c) {
    int charset = 0;
    c.ctl.cmbCharset->setCurrentIndex(readCharset(c.file, charset) ? charset : 0);
}

void saveCharset(Context& c) {
    int inFile = 0;
    const int chosen = c.ctl.cmbCharset->currentIndex();
    if (readCharset(c.file, inFile) || chosen != 0)
        c.file.writeInt("mail", "charset", chosen);
}

// Set by hand only; the button's caption at this moment is the default.
void loadSendCaption(Context& c) {
    QAbstractButton* button = c.ctl.btnSend;
    button->setText(fromSjis(c.file.readString("general", "sendcaption", toSjis(button->text()))));
}

// clang-format off
const Setting kSettings[] = {
    {"debug", "win", Kind::Special, 0, {.load = loadDebug}},
    {"smtp", "port", Kind::Special, 0, {.load = loadPorts, .save = savePorts}},
    {"general", "showConfig", Kind::Special, 0, {.load = loadShowConfig, .save = saveShowConfig}},
    {"WinPosition", "x", Kind::Special, 0, {.load = loadPlacement, .save = savePlacement, .saveFirst = true}},
    {"jpeg", "quality", Kind::Spin, 90, {.spin = &C::udQuality, .edit = &C::edtQuality, .fallback = 95}},
    {"jpeg", "maxsize", Kind::Spin, 100, {.spin = &C::udLimitSize, .edit = &C::edtLimitSize, .fallback = 100}},
    {"jpeg", "limit", Kind::Check, 0, {.button = &C::chkLimitSize, .hook = &H::chkLimitSizeClick}},
    {"jpeg", "fine", Kind::CheckWhenSet, 0, {.button = &C::chkFineQuality}},
    {"size", "width", Kind::Spin, 132, {.spin = &C::udSizeW, .edit = &C::edtSizeW, .fallback = 240}},
    {"size", "height", Kind::Spin, 176, {.spin = &C::udSizeH, .edit = &C::edtSizeH, .fallback = 320}},
    {"size", "preset", Kind::Special, 0, {.load = loadSizePreset}},
    {"size", "stretchminiimg", Kind::Check, 1, {.button = &C::chkStretchMiniImg}},
    {"rot", "left", Kind::Check, 1, {.button = &C::radLeftRot}},
    {"rot", "right", Kind::Check, 0, {.button = &C::radRightRot}},
    {"rot", "none", Kind::CheckInverted, 0, {.button = &C::chkRot, .hook = &H::chkRotClick}},
    {"cut", "enabled", Kind::Check, 0, {.button = &C::chkAllowCut}},
    {"out", "enabled", Kind::Check, 0, {.button = &C::chkOutMadeGrp, .hook = &H::chkOutMadeGrpClick}},
    {"out", "dir", Kind::Text, 0, {.edit = &C::edtOutDir, .hook = &H::edtOutDirEnter}},
    {"general", "autoSend", Kind::Check, 0, {.button = &C::chkAutoSend}},
    {"general", "fileAutoClear", Kind::Check, 0, {.button = &C::chkFileAutoClear}},
    {"general", "mailAddrAutoClear", Kind::Check, 0, {.button = &C::chkMailAddrAutoClear}},
    {"log", "mode", Kind::RadioIndex, 0, {.radio = &C::radLogSave, .hook = &H::radLogSaveClick}},
    {"log", "dir", Kind::Text, 0, {.edit = &C::edtSaveDir, .hook = &H::edtSaveDirEnter}},
    {"log", "namedir", Kind::Check, 1, {.button = &C::chkMakeNameDir}},
    {"smtp", "host", Kind::Text, 0, {.edit = &C::edtSMTPHost}},
    {"smtp", "user", Kind::Text, 0, {.edit = &C::edtSMTPUser}},
    {"smtp", "addr", Kind::Text, 0, {.edit = &C::edtSMTPAddr}},
    {"smtp", "name", Kind::TypedText, 0, {.edit = &C::edtSMTPName}},
    {"general", "userpbs", Kind::Check, 0, {.button = &C::chkPOPbSMTP}},
    {"pop3", "host", Kind::Text, 0, {.edit = &C::edtPOP3Host}},
    {"pop3", "name", Kind::Text, 0, {.edit = &C::edtPOP3Pwd, .hook = &H::chkPOPbSMTPClick}},
    {"pop3", "keyring", Kind::Special, 0, {.load = loadPasswordPlace, .save = savePasswordPlace}},
    {"general", "reply_to", Kind::Text, 0, {.edit = &C::edtReplyTo}},
    {"mail", "title", Kind::TypedText, 0, {.edit = &C::edtTitle}},
    {"mail", "charset", Kind::Special, 0, {.load = loadCharset, .save = saveCharset}},
    {"mail", "bodycount", Kind::Special, 0, {.load = loadBody, .save = saveBody}},
    {"mail", "addrcount", Kind::Special, 0, {.load = loadRecipients, .save = saveRecipients}},
    {"general", "wholesize", Kind::Special, 0, {.load = loadWholeSize, .save = saveWholeSize}},
    {"general", "sendcaptionchange", Kind::Check, 0, {.button = &C::chkSendCap, .hook = &H::chkSendCapClick}},
    {"general", "sendcaption", Kind::Special, 0, {.load = loadSendCaption}},
    {"general", "sendSE", Kind::Text, 0, {.edit = &C::edtSendSE}},
};
// clang-format on

void loadOne(Context& c, const Setting& s) {
    switch (s.kind) {
    case Kind::Check:
    case Kind::CheckWhenSet:
        setChecked(c.ctl.*s.b.button, c.file.readBool(s.section, s.key, s.def));
        break;
    case Kind::CheckInverted:
        setChecked(c.ctl.*s.b.button, !c.file.readBool(s.section, s.key, s.def));
        break;
    case Kind::Spin:
        (c.ctl.*s.b.spin)->setPosition(c.file.readInt(s.section, s.key, s.def));
        break;
    case Kind::Text:
        (c.ctl.*s.b.edit)->setText(fromSjis(c.file.readString(s.section, s.key, "")));
        break;
    case Kind::TypedText:
        (c.ctl.*s.b.edit)->setText(QString::fromStdString(c.file.readText(s.section, s.key, "")));
        break;
    case Kind::RadioIndex:
        (c.ctl.*s.b.radio)->setItemIndex(c.file.readInt(s.section, s.key, s.def));
        break;
    case Kind::Special:
        s.b.load(c);
        break;
    }
    if (s.b.hook)
        (c.hooks.*s.b.hook)();
}

void saveOne(Context& c, const Setting& s) {
    switch (s.kind) {
    case Kind::Check:
        c.file.writeBool(s.section, s.key, (c.ctl.*s.b.button)->isChecked());
        break;
    case Kind::CheckWhenSet:
        // A file that never had the key keeps its lines as they were while the box is off.
        if ((c.ctl.*s.b.button)->isChecked() || c.file.keyExists(s.section, s.key))
            c.file.writeBool(s.section, s.key, (c.ctl.*s.b.button)->isChecked());
        break;
    case Kind::CheckInverted:
        c.file.writeBool(s.section, s.key, !(c.ctl.*s.b.button)->isChecked());
        break;
    case Kind::Spin:
        c.file.writeInt(s.section, s.key, numberOr((c.ctl.*s.b.edit)->text(), s.b.fallback));
        break;
    case Kind::Text:
        c.file.writeString(s.section, s.key, toSjis((c.ctl.*s.b.edit)->text()));
        break;
    case Kind::TypedText:
        c.file.writeText(s.section, s.key, (c.ctl.*s.b.edit)->text().toStdString());
        break;
    case Kind::RadioIndex:
        c.file.writeInt(s.section, s.key, (c.ctl.*s.b.radio)->itemIndex());
        break;
    case Kind::Special:
        if (s.b.save)
            s.b.save(c);
        break;
    }
}

std::string fileName(const QString& path) {
    return toPathText(path);
}

} // namespace

SettingsStore::SettingsStore(WindowHost& host, const SettingsControls& controls,
                             SettingsHooks hooks)
    : m_host(host), m_controls(controls), m_hooks(std::move(hooks)) {}

void SettingsStore::loadSettings() {
    ProfileFile file(fileName(m_host.settingsFilePath()));
    if (!file.load())
        qWarning("settings not read, defaults used: %s", file.error().c_str());
    Context c{m_host, m_controls, m_hooks, file};
    for (const Setting& s : kSettings)
        loadOne(c, s);
}

void SettingsStore::saveSettings() {
    const QString path = m_host.settingsFilePath();
    ProfileFile file(fileName(path));
    file.load(); // keeps the lines of keys this program does not know
    Context c{m_host, m_controls, m_hooks, file};
    for (bool first : {true, false})
        for (const Setting& s : kSettings)
            if (s.b.saveFirst == first)
                saveOne(c, s);
    if (file.save())
        return;
    qWarning("settings not saved: %s", file.error().c_str());
    QWidget* parent = m_host.window();
    dialogs().message(parent, MsgKind::Information,
                      QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()) +
                          QStringLiteral(" の保存が出来ませんでした。"));
    dialogs().message(parent, MsgKind::Information,
                      QStringLiteral("設定の保存時にエラーが発生しました。"));
}

} // namespace zp
