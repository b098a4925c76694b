#include "settingsstore.h"

#include "platform/radiogroup.h"
#include "platform/textcodec.h"
#include "platform/updown.h"
#include "picture/sizepresets.h"
#include "settings/profile.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTextEdit>
#include <QtDebug>

#include <algorithm>
#include <string>

namespace zp {
namespace {

struct Context {
    WindowHost& host;
    ProfileFile& file;
    QWidget* window() const { return host.window(); }
};

enum class Kind {
    Check,         // a check box or radio button; bool
    CheckInverted, // a check box stored as its opposite; bool
    Spin,          // an up-down with its edit box; integer clamped to the spin range
    Text,          // an edit box; string
    RadioIndex,    // a radio group's item index; integer
    Special,       // its own load and save steps
};

// One row per setting, in the order in which they are read. Saving writes the rows
// marked saveFirst, then all others in this order; rows without a save step (the
// hand-set debug keys, the send-button caption) are never written.
struct Setting {
    const char* section;
    const char* key;
    Kind kind;
    int def = 0;                      // Check, Spin, RadioIndex: default when missing
    const char* control = nullptr;    // the control's object name (Spin: the up-down)
    const char* edit = nullptr;       // Spin: the edit box
    int fallback = 0;                 // Spin: written when the box holds no number
    const char* handler = nullptr;    // run once the value is in its control
    void (*load)(Context&) = nullptr; // Special
    void (*save)(Context&) = nullptr; // Special
    bool saveFirst = false;
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
    c.host.setDebugFlag(c.file.readBool("debug", "win", false));
    findControl<QWidget>(c.window(), "memoDebug")->setVisible(c.host.debugFlag());
    c.host.setNoHeaderEncode(c.file.readBool("debug", "NoHeaderEncode", false));
}

// Like the debug keys, set by hand (a server on another port, the tests' servers); a key
// outside 1..65535 counts as missing.
void loadPorts(Context& c) {
    WindowHost::MailPorts ports;
    auto read = [&](const char* section, int& port, bool& inFile) {
        const int value = c.file.readInt(section, "port", 0);
        inFile = value >= 1 && value <= 65535;
        if (inFile)
            port = value;
    };
    read("smtp", ports.smtp, ports.smtpInFile);
    read("pop3", ports.pop3, ports.pop3InFile);
    auto readSecurity = [&](const char* section, int& security, bool& inFile) {
        const int value = c.file.readInt(section, "security", -1);
        inFile = value >= 0 && value <= 2;
        security = inFile ? value : 0;
    };
    readSecurity("smtp", ports.smtpSecurity, ports.smtpSecurityInFile);
    readSecurity("pop3", ports.pop3Security, ports.pop3SecurityInFile);
    ports.caFile = fromSjis(c.file.readString("smtp", "cafile", ""));
    c.host.setMailPorts(ports);
}

void savePorts(Context& c) {
    const WindowHost::MailPorts ports = c.host.mailPorts();
    if (ports.smtpInFile)
        c.file.writeInt("smtp", "port", ports.smtp);
    if (ports.pop3InFile)
        c.file.writeInt("pop3", "port", ports.pop3);
    if (ports.smtpSecurityInFile)
        c.file.writeInt("smtp", "security", ports.smtpSecurity);
    if (ports.pop3SecurityInFile)
        c.file.writeInt("pop3", "security", ports.pop3Security);
    if (!ports.caFile.isEmpty())
        c.file.writeString("smtp", "cafile", toSjis(ports.caFile));
}

QWidget* configPanel(Context& c) {
    return findControl<QWidget>(c.window(), "pnlConfig");
}

// The panel is set to the opposite and then toggled by its own handler, which also
// sets the window width and the button caption.
void loadShowConfig(Context& c) {
    configPanel(c)->setVisible(!c.file.readBool("general", "showConfig", false));
    c.host.runHandler("btnConfigClick");
}

void saveShowConfig(Context& c) {
    // Whether the panel is shown in the window, even while the window itself is hidden.
    c.file.writeBool("general", "showConfig", !configPanel(c)->isHidden());
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
    const int w = findControl<UpDown>(c.window(), "udSizeW")->position();
    const int h = findControl<UpDown>(c.window(), "udSizeH")->position();
    findControl<QComboBox>(c.window(), "cmbSize")->setCurrentIndex(findSizePreset(w, h));
    c.host.runHandler("cmbSizeChange");
}

// The memo's lines are the lines the user typed, however the memo wraps them for
// display; an empty memo has no lines.
QStringList memoLines(QWidget* memo) {
    QString text;
    if (auto* plain = qobject_cast<QPlainTextEdit*>(memo))
        text = plain->toPlainText();
    else if (auto* rich = qobject_cast<QTextEdit*>(memo))
        text = rich->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

void setMemoLines(QWidget* memo, const QStringList& lines) {
    const QString text = lines.join(QLatin1Char('\n'));
    if (auto* plain = qobject_cast<QPlainTextEdit*>(memo))
        plain->setPlainText(text);
    else if (auto* rich = qobject_cast<QTextEdit*>(memo))
        rich->setPlainText(text);
}

void loadBody(Context& c) {
    const int count =
        std::min(c.file.readInt("mail", "bodycount", 0), SettingsStore::kMaxBodyLines);
    QStringList lines;
    for (int i = 1; i <= count; ++i)
        lines << fromSjis(c.file.readString("mail", numbered("body", i), ""));
    setMemoLines(findControl<QWidget>(c.window(), "memoBody"), lines);
}

// Lines left over from a longer body are deleted up to the first gap in the numbers.
void saveBody(Context& c) {
    const QStringList lines = memoLines(findControl<QWidget>(c.window(), "memoBody"));
    const int count = static_cast<int>(lines.size());
    c.file.writeInt("mail", "bodycount", count);
    for (int i = 1; i <= count; ++i)
        c.file.writeString("mail", numbered("body", i), toSjis(lines[i - 1]));
    for (int k = count + 1; c.file.keyExists("mail", numbered("body", k)); ++k)
        c.file.deleteKey("mail", numbered("body", k));
}

void loadRecipients(Context& c) {
    auto* list = findControl<QListWidget>(c.window(), "chlAddr");
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
    auto* list = findControl<QListWidget>(c.window(), "chlAddr");
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
    c.host.setWholePreviewSize(size);
    const std::string action = numbered("popWholeSize_", size);
    findControl<QAction>(c.window(), action.c_str())->setChecked(true);
}

void saveWholeSize(Context& c) {
    c.file.writeInt("general", "wholesize", c.host.wholePreviewSize());
}

// Set by hand only; the button's caption at this moment is the default.
void loadSendCaption(Context& c) {
    auto* button = findControl<QAbstractButton>(c.window(), "btnSend");
    button->setText(fromSjis(c.file.readString("general", "sendcaption", toSjis(button->text()))));
}

// clang-format off
const Setting kSettings[] = {
    {"debug", "win", Kind::Special, 0, nullptr, nullptr, 0, nullptr, loadDebug, nullptr},
    {"smtp", "port", Kind::Special, 0, nullptr, nullptr, 0, nullptr, loadPorts, savePorts},
    {"general", "showConfig", Kind::Special, 0, nullptr, nullptr, 0, nullptr, loadShowConfig, saveShowConfig},
    {"WinPosition", "x", Kind::Special, 0, nullptr, nullptr, 0, nullptr, loadPlacement, savePlacement, true},
    {"jpeg", "quality", Kind::Spin, 90, "udQuality", "edtQuality", 95},
    {"jpeg", "maxsize", Kind::Spin, 100, "udLimitSize", "edtLimitSize", 100},
    {"jpeg", "limit", Kind::Check, 0, "chkLimitSize", nullptr, 0, "chkLimitSizeClick"},
    {"size", "width", Kind::Spin, 132, "udSizeW", "edtSizeW", 240},
    {"size", "height", Kind::Spin, 176, "udSizeH", "edtSizeH", 320},
    {"size", "preset", Kind::Special, 0, nullptr, nullptr, 0, nullptr, loadSizePreset, nullptr},
    {"size", "stretchminiimg", Kind::Check, 1, "chkStretchMiniImg"},
    {"rot", "left", Kind::Check, 1, "radLeftRot"},
    {"rot", "right", Kind::Check, 0, "radRightRot"},
    {"rot", "none", Kind::CheckInverted, 0, "chkRot", nullptr, 0, "chkRotClick"},
    {"cut", "enabled", Kind::Check, 0, "chkAllowCut"},
    {"out", "enabled", Kind::Check, 0, "chkOutMadeGrp", nullptr, 0, "chkOutMadeGrpClick"},
    {"out", "dir", Kind::Text, 0, "edtOutDir", nullptr, 0, "edtOutDirEnter"},
    {"general", "autoSend", Kind::Check, 0, "chkAutoSend"},
    {"general", "fileAutoClear", Kind::Check, 0, "chkFileAutoClear"},
    {"general", "mailAddrAutoClear", Kind::Check, 0, "chkMailAddrAutoClear"},
    {"log", "mode", Kind::RadioIndex, 0, "radLogSave", nullptr, 0, "radLogSaveClick"},
    {"log", "dir", Kind::Text, 0, "edtSaveDir", nullptr, 0, "edtSaveDirEnter"},
    {"log", "namedir", Kind::Check, 1, "chkMakeNameDir"},
    {"smtp", "host", Kind::Text, 0, "edtSMTPHost"},
    {"smtp", "user", Kind::Text, 0, "edtSMTPUser"},
    {"smtp", "addr", Kind::Text, 0, "edtSMTPAddr"},
    {"smtp", "name", Kind::Text, 0, "edtSMTPName"},
    {"general", "userpbs", Kind::Check, 0, "chkPOPbSMTP"},
    {"pop3", "host", Kind::Text, 0, "edtPOP3Host"},
    {"pop3", "name", Kind::Text, 0, "edtPOP3Pwd", nullptr, 0, "chkPOPbSMTPClick"},
    {"general", "reply_to", Kind::Text, 0, "edtReplyTo"},
    {"mail", "title", Kind::Text, 0, "edtTitle"},
    {"mail", "bodycount", Kind::Special, 0, nullptr, nullptr, 0, nullptr, loadBody, saveBody},
    {"mail", "addrcount", Kind::Special, 0, nullptr, nullptr, 0, nullptr, loadRecipients, saveRecipients},
    {"general", "wholesize", Kind::Special, 0, nullptr, nullptr, 0, nullptr, loadWholeSize, saveWholeSize},
    {"general", "sendcaptionchange", Kind::Check, 0, "chkSendCap", nullptr, 0, "chkSendCapClick"},
    {"general", "sendcaption", Kind::Special, 0, nullptr, nullptr, 0, nullptr, loadSendCaption, nullptr},
    {"general", "sendSE", Kind::Text, 0, "edtSendSE"},
};
// clang-format on

void loadOne(Context& c, const Setting& s) {
    QWidget* w = c.window();
    switch (s.kind) {
    case Kind::Check:
        setChecked(findControl<QAbstractButton>(w, s.control),
                   c.file.readBool(s.section, s.key, s.def));
        break;
    case Kind::CheckInverted:
        setChecked(findControl<QAbstractButton>(w, s.control),
                   !c.file.readBool(s.section, s.key, s.def));
        break;
    case Kind::Spin:
        findControl<UpDown>(w, s.control)->setPosition(c.file.readInt(s.section, s.key, s.def));
        break;
    case Kind::Text:
        findControl<QLineEdit>(w, s.control)
            ->setText(fromSjis(c.file.readString(s.section, s.key, "")));
        break;
    case Kind::RadioIndex:
        findControl<RadioGroup>(w, s.control)
            ->setItemIndex(c.file.readInt(s.section, s.key, s.def));
        break;
    case Kind::Special:
        s.load(c);
        break;
    }
    if (s.handler)
        c.host.runHandler(s.handler);
}

void saveOne(Context& c, const Setting& s) {
    QWidget* w = c.window();
    switch (s.kind) {
    case Kind::Check:
        c.file.writeBool(s.section, s.key, findControl<QAbstractButton>(w, s.control)->isChecked());
        break;
    case Kind::CheckInverted:
        c.file.writeBool(s.section, s.key,
                         !findControl<QAbstractButton>(w, s.control)->isChecked());
        break;
    case Kind::Spin:
        c.file.writeInt(s.section, s.key,
                        numberOr(findControl<QLineEdit>(w, s.edit)->text(), s.fallback));
        break;
    case Kind::Text:
        c.file.writeString(s.section, s.key, toSjis(findControl<QLineEdit>(w, s.control)->text()));
        break;
    case Kind::RadioIndex:
        c.file.writeInt(s.section, s.key, findControl<RadioGroup>(w, s.control)->itemIndex());
        break;
    case Kind::Special:
        if (s.save)
            s.save(c);
        break;
    }
}

std::string fileName(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

} // namespace

SettingsStore::SettingsStore(WindowHost& host) : m_host(host) {}

void SettingsStore::loadSettings() {
    ProfileFile file(fileName(m_host.settingsFilePath()));
    if (!file.load())
        qWarning("settings not read, defaults used: %s", file.error().c_str());
    Context c{m_host, file};
    for (const Setting& s : kSettings)
        loadOne(c, s);
}

void SettingsStore::saveSettings() {
    const QString path = m_host.settingsFilePath();
    ProfileFile file(fileName(path));
    file.load(); // keeps the lines of keys this program does not know
    Context c{m_host, file};
    for (bool first : {true, false})
        for (const Setting& s : kSettings)
            if (s.saveFirst == first)
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
