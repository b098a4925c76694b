// The platform layer: the Shift-JIS boundary, the real message boxes, the up-down control,
// the radio group and the folder dialog routine.
#include "app/zoripost1.h"
#include "app_support.h"
#include "platform/controlevents.h"
#include "platform/dialogs.h"
#include "platform/folderdialog.h"
#include "platform/inputcontext.h"
#include "platform/radiogroup.h"
#include "platform/shellopen.h"
#include "platform/soundplayer.h"
#include "platform/textcodec.h"
#include "platform/updown.h"
#include "support/command.h"
#include "support/rows.h"
#include "support/urlcatcher.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QFile>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QWheelEvent>
#include <QWindow>

#include <cstdio>
#include <memory>
#include <string>

using zp::MsgAnswer;
using zp::MsgButtons;
using zp::MsgKind;

static ::testing::Environment* const kQt =
    ::testing::AddGlobalTestEnvironment(new zp::test::QtEnvironment);

namespace {

using zp::test::PrintTo;

struct CodecCase {
    QString text;
    std::string sjis;
    bool roundTrip;
};

class TextCodec : public ::testing::TestWithParam<CodecCase> {};

TEST_P(TextCodec, ConvertsToCp932WithQuestionMarks) {
    const CodecCase c = GetParam();
    EXPECT_EQ(zp::toSjis(c.text), c.sjis);
    if (c.roundTrip) {
        EXPECT_EQ(zp::fromSjis(c.sjis), c.text);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Characters, TextCodec,
    ::testing::Values(
        CodecCase{QStringLiteral("abc"), "abc", true}, CodecCase{QString(), "", true},
        CodecCase{QStringLiteral("日本"), "\x93\xfa\x96\x7b", true},
        CodecCase{QStringLiteral("ｱ"), "\xb1", true},
        // NEC special and IBM extension characters of code page 932.
        CodecCase{QStringLiteral("①"), "\x87\x40", true},
        CodecCase{QStringLiteral("髙"), "\xfb\xfc", true},
        // Characters the code page holds twice take the code Windows writes.
        CodecCase{QStringLiteral("ⅰ∵Ⅰ￢＂"), "\xfa\x40\x81\xe6\x87\x54\x81\xca\xfa\x57", true},
        // Control characters stay at their own bytes.
        CodecCase{QStringLiteral("\x1a\x1c\x7f"), "\x1a\x1c\x7f", true},
        // The full-width tilde and minus of code page 932 (not JIS X 0208's mapping).
        CodecCase{QStringLiteral("～－"), "\x81\x60\x81\x7c", true},
        // The same characters typed as JIS X 0208's mapping (wave dash, double
        // vertical line, minus, cent, pound, not, em dash, broken bar, yen,
        // overline) take code page 932's form, not "?".
        CodecCase{QStringLiteral("\u301C\u2016\u2212\u00A2\u00A3\u00AC"),
                  "\x81\x60\x81\x61\x81\x7c\x81\x91\x81\x92\x81\xca", false},
        CodecCase{QStringLiteral("\u2014\u00A6\u00A5\u203E"), "\x81\x5c\xfa\x55\x81\x8f\x81\x50",
                  false},
        CodecCase{QStringLiteral("a\u00e9b"), "a?b", false},
        CodecCase{QStringLiteral("x\U0001F600y"), "x?y", false},
        CodecCase{QStringLiteral("\u20ac"), "?", false},
        CodecCase{QStringLiteral("件名\r\n本文"), "\x8c\x8f\x96\xbc\r\n\x96\x7b\x95\xb6", true}));

TEST(TextCodecDecode, BrokenBytesDoNotStopTheRest) {
    // A lead byte with nothing behind it.
    const QString s = zp::fromSjis(std::string("ab\x82", 3));
    EXPECT_TRUE(s.startsWith(QStringLiteral("ab")));
    // A byte that is no character, then the NEC-selected copy of an IBM character.
    EXPECT_EQ(zp::fromSjis("\x80"
                           "a\xee\xe0"),
              QStringLiteral("\uFFFDa髙"));
    EXPECT_EQ(zp::toSjis(QString(QChar(0xD800))), "?") << "a lone surrogate";
}

struct BoxCase {
    MsgKind kind;
    MsgButtons buttons;
    const char* press; // caption of the button the user presses
    QString title;
    QMessageBox::Icon icon;
    QStringList captions;
    MsgAnswer answer;
};

class RealMessageBox : public ::testing::TestWithParam<BoxCase> {};

TEST_P(RealMessageBox, TitleIconButtonsAndAnswer) {
    const BoxCase c = GetParam();
    QString seenTitle;
    QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
    QStringList seenCaptions;
    bool found = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        found = true;
        seenTitle = box->windowTitle();
        seenIcon = box->icon();
        for (QAbstractButton* b : box->buttons())
            seenCaptions << b->text();
        for (QAbstractButton* b : box->buttons())
            if (b->text() == QString::fromUtf8(c.press))
                b->click();
        if (box->isVisible())
            box->reject();
    });
    const MsgAnswer answer =
        zp::dialogs().message(nullptr, c.kind, QStringLiteral("本文"), c.buttons);
    ASSERT_TRUE(found);
    EXPECT_EQ(seenTitle, c.title);
    EXPECT_EQ(seenIcon, c.icon);
    seenCaptions.sort();
    QStringList expected = c.captions;
    expected.sort();
    EXPECT_EQ(seenCaptions, expected);
    EXPECT_EQ(answer, c.answer);
}

const QStringList kOk = {QStringLiteral("OK")};
const QStringList kYesNo = {QStringLiteral("はい(&Y)"), QStringLiteral("いいえ(&N)")};

INSTANTIATE_TEST_SUITE_P(
    Kinds, RealMessageBox,
    ::testing::Values(BoxCase{MsgKind::Warning, MsgButtons::Ok, "OK", QStringLiteral("警告"),
                              QMessageBox::Warning, kOk, MsgAnswer::Ok},
                      BoxCase{MsgKind::Error, MsgButtons::Ok, "OK", QStringLiteral("エラー"),
                              QMessageBox::Critical, kOk, MsgAnswer::Ok},
                      BoxCase{MsgKind::Information, MsgButtons::Ok, "OK", QStringLiteral("情報"),
                              QMessageBox::Information, kOk, MsgAnswer::Ok},
                      BoxCase{MsgKind::Confirmation, MsgButtons::YesNo, "はい(&Y)",
                              QStringLiteral("確認"), QMessageBox::Question, kYesNo,
                              MsgAnswer::Yes},
                      BoxCase{MsgKind::Confirmation, MsgButtons::YesNo, "いいえ(&N)",
                              QStringLiteral("確認"), QMessageBox::Question, kYesNo, MsgAnswer::No},
                      // Closed by its close box: not a yes.
                      BoxCase{MsgKind::Confirmation, MsgButtons::YesNo, "", QStringLiteral("確認"),
                              QMessageBox::Question, kYesNo, MsgAnswer::No}));

struct StepCase {
    int min, max;
    bool wrap;
    int start;
    QString typed; // text in the box before the step (empty: leave the position's text)
    int delta;
    bool byKey;
    int expected;
};

class UpDownStep : public ::testing::TestWithParam<StepCase> {};

TEST_P(UpDownStep, TakesTypedNumberStepsClampsAndWritesBack) {
    const StepCase c = GetParam();
    QWidget parent;
    auto* edit = new QLineEdit(&parent);
    auto* ud = new zp::UpDown(&parent);
    ud->setRange(c.min, c.max);
    ud->setWrap(c.wrap);
    ud->setBuddy(edit);
    ud->setPosition(c.start);
    ASSERT_EQ(edit->text(), QString::number(ud->position()));
    if (!c.typed.isEmpty())
        edit->setText(c.typed);
    QSignalSpy changed(ud, &zp::UpDown::positionChanged);
    if (c.byKey) {
        QTest::keyClick(edit, c.delta > 0 ? Qt::Key_Up : Qt::Key_Down);
    } else {
        const auto arrows = ud->findChildren<QToolButton*>();
        QTest::mouseClick(arrows.at(c.delta > 0 ? 0 : 1), Qt::LeftButton);
    }
    EXPECT_EQ(ud->position(), c.expected);
    EXPECT_EQ(edit->text(), QString::number(c.expected));
    if (c.expected != c.start) {
        EXPECT_GE(changed.count(), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, UpDownStep,
    ::testing::Values(StepCase{1, 100, false, 50, {}, +1, false, 51},
                      StepCase{1, 100, false, 100, {}, +1, false, 100},
                      StepCase{1, 100, false, 1, {}, -1, false, 1},
                      StepCase{1, 100, false, 50, QStringLiteral("70"), +1, false, 71},
                      StepCase{1, 100, false, 50, QStringLiteral(" 70 "), -1, true, 69},
                      StepCase{1, 100, false, 50, QStringLiteral("abc"), +1, false, 51},
                      StepCase{5, 100, false, 10, QStringLiteral("1"), -1, false, 5},
                      StepCase{24, 1920, false, 240, QStringLiteral("5000"), -1, true, 1919},
                      StepCase{1, 3, true, 3, {}, +1, false, 1},
                      StepCase{1, 3, true, 1, {}, -1, true, 3}));

TEST(UpDown, BoxKeepsFreeTextUntilStepped) {
    QWidget parent;
    auto* edit = new QLineEdit(&parent);
    auto* ud = new zp::UpDown(&parent);
    ud->setRange(1, 100);
    ud->setBuddy(edit);
    ud->setPosition(500);
    EXPECT_EQ(edit->text(), QStringLiteral("100"));
    edit->setText(QStringLiteral("9x"));
    EXPECT_EQ(edit->text(), QStringLiteral("9x"));
    EXPECT_EQ(ud->position(), 100);
}

TEST(RadioGroup, IndexNoneAndUserClicks) {
    zp::RadioGroup group;
    group.setObjectName(QStringLiteral("radLogSave"));
    group.setItems({QStringLiteral("しない"), QStringLiteral("テキスト"), QStringLiteral("HTML")});
    EXPECT_EQ(group.itemIndex(), -1);
    QSignalSpy clicked(&group, &zp::RadioGroup::clicked);
    group.setItemIndex(2);
    EXPECT_EQ(group.itemIndex(), 2);
    group.setItemIndex(-1);
    EXPECT_EQ(group.itemIndex(), -1);
    group.setItemIndex(7);
    EXPECT_EQ(group.itemIndex(), -1);
    EXPECT_EQ(clicked.count(), 0) << "setting the index is not a click";
    group.show();
    auto* second = group.findChild<QRadioButton*>(QStringLiteral("radLogSave_1"));
    ASSERT_NE(second, nullptr);
    QTest::mouseClick(second, Qt::LeftButton);
    EXPECT_EQ(group.itemIndex(), 1);
    EXPECT_EQ(clicked.count(), 1);
}

TEST(SelectFolder, CancelKeepsTheTextAndTheTitleIsShared) {
    zp::test::ScriptedDialogs dialogs;
    QString folder = QStringLiteral("/var/log/zp");
    dialogs.folderAnswer.clear();
    EXPECT_FALSE(zp::selectFolder(nullptr, folder));
    EXPECT_EQ(folder, QStringLiteral("/var/log/zp"));
    dialogs.folderAnswer = QStringLiteral("/home/u/logs");
    EXPECT_TRUE(zp::selectFolder(nullptr, folder));
    EXPECT_EQ(folder, QStringLiteral("/home/u/logs"));
    ASSERT_EQ(dialogs.folderRequests.size(), 2);
    EXPECT_EQ(dialogs.folderRequests[0],
              QStringLiteral("ログを保存するフォルダを選択してください。|/var/log/zp"));
}

struct OpenCase {
    QString target;
    QString scheme;
    QString expected;
};

class ShellOpen : public ::testing::TestWithParam<OpenCase> {};

TEST_P(ShellOpen, WebAddressesAndFoldersGoToTheDesktop) {
    const OpenCase c = GetParam();
    zp::test::UrlCatcher catcher(c.scheme);
    EXPECT_TRUE(zp::shellOpen(c.target));
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls[0].toString(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Targets, ShellOpen,
    ::testing::Values(OpenCase{QStringLiteral("https://zoripost.example.com/"),
                               QStringLiteral("https"),
                               QStringLiteral("https://zoripost.example.com/")},
                      OpenCase{QStringLiteral(" http://example.jp/a?b=1 "), QStringLiteral("http"),
                               QStringLiteral("http://example.jp/a?b=1")},
                      OpenCase{QStringLiteral("/home/u/送信ログ"), QStringLiteral("file"),
                               QStringLiteral("file:///home/u/送信ログ")}));

// The about page's link is reached by Tab and opened by Enter or Space, through the same
// handler as a click.
TEST(AboutLink, OpensFromTheKeyboard) {
    zp::test::ScriptedDialogs dialogs;
    QTemporaryDir dir;
    TfrmMain window(dir.filePath(QStringLiteral("zoripost")));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();
    zp::findControl<QTabWidget>(&window, "pgctlOption")->setCurrentIndex(3);
    auto* link = zp::findControl<QWidget>(&window, "lblUrl");
    zp::test::UrlCatcher catcher(QStringLiteral("https"));
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Space, Qt::Key_A}) {
        link->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(link->hasFocus());
        QTest::keyClick(link, key);
    }
    EXPECT_EQ(catcher.urls, (QList<QUrl>{QUrl(QStringLiteral("https://zoripost.example.com/")),
                                         QUrl(QStringLiteral("https://zoripost.example.com/"))}));
}

TEST(ShellOpenEmpty, NothingToOpen) {
    EXPECT_FALSE(zp::shellOpen(QStringLiteral("  ")));
}

struct ContextCase {
    const char* name;
    QStringList env; // "NAME=value"
    QStringList installed;
    QString expected;
    QString notice = {}; // the line on standard error
};

void PrintTo(const ContextCase& c, std::ostream* os) {
    *os << c.name;
}

class InputContext : public ::testing::TestWithParam<ContextCase> {};

TEST_P(InputContext, ChosenFromTheDesktopsVariables) {
    const ContextCase c = GetParam();
    QProcessEnvironment env;
    for (const QString& v : c.env)
        env.insert(v.section(QLatin1Char('='), 0, 0), v.section(QLatin1Char('='), 1));
    const QString chosen = zp::chooseInputContext(env, c.installed);
    EXPECT_EQ(chosen, c.expected);
    EXPECT_EQ(zp::inputContextNotice(env, c.installed, chosen), c.notice);
}

const QStringList kBoth = {QStringLiteral("ibus"), QStringLiteral("fcitx")};
// Debian 12 with ibus and fcitx5's Qt 6 module: the keys their plugins give.
const QStringList kDebian = {QStringLiteral("compose"), QStringLiteral("xim"),
                             QStringLiteral("ibus"), QStringLiteral("fcitx"),
                             QStringLiteral("fcitx5")};
const char* const kUsing = "zoripost: QT_IM_MODULE=%1 has no Qt 6 input module; using %2 from "
                           "the desktop's settings";
const char* const kNone = "zoripost: QT_IM_MODULE=%1 has no Qt 6 input module; Japanese input "
                          "needs ibus or fcitx5 with their Qt 6 module";

INSTANTIATE_TEST_SUITE_P(
    Environments, InputContext,
    ::testing::Values(
        ContextCase{"xmodifiers_ibus", {"XMODIFIERS=@im=ibus"}, kBoth, "ibus"},
        ContextCase{"xmodifiers_fcitx", {"XMODIFIERS=@im=fcitx"}, kBoth, "fcitx"},
        ContextCase{"xmodifiers_fcitx5_more", {"XMODIFIERS=@im=fcitx5@other=x"}, kBoth, "fcitx"},
        ContextCase{"gtk_only", {"GTK_IM_MODULE=ibus"}, kBoth, "ibus"},
        ContextCase{"gtk_list", {"GTK_IM_MODULE=fcitx:xim"}, kBoth, "fcitx"},
        ContextCase{
            "xmodifiers_first", {"XMODIFIERS=@im=fcitx", "GTK_IM_MODULE=ibus"}, kBoth, "fcitx"},
        ContextCase{"qt_set_wins", {"QT_IM_MODULE=ibus", "XMODIFIERS=@im=fcitx"}, kDebian, ""},
        ContextCase{"qt_fcitx5_wins", {"QT_IM_MODULE=fcitx5", "XMODIFIERS=@im=ibus"}, kDebian, ""},
        ContextCase{
            "qt_compose_on_purpose", {"QT_IM_MODULE=compose", "XMODIFIERS=@im=ibus"}, kDebian, ""},
        ContextCase{"qt_uim_falls_back",
                    {"QT_IM_MODULE=uim", "XMODIFIERS=@im=fcitx", "GTK_IM_MODULE=uim"},
                    kDebian,
                    "fcitx",
                    QString::fromLatin1(kUsing).arg("uim", "fcitx")},
        ContextCase{"qt_xim_falls_back",
                    {"QT_IM_MODULE=xim", "XMODIFIERS=@im=ibus"},
                    kDebian,
                    "ibus",
                    QString::fromLatin1(kUsing).arg("xim", "ibus")},
        ContextCase{"qt_ibus_without_plugin",
                    {"QT_IM_MODULE=ibus", "XMODIFIERS=@im=fcitx"},
                    {"compose", "xim", "fcitx"},
                    "fcitx",
                    QString::fromLatin1(kUsing).arg("ibus", "fcitx")},
        ContextCase{"qt_uim_nothing_to_fall_back_to",
                    {"QT_IM_MODULE=uim", "XMODIFIERS=@im=uim", "GTK_IM_MODULE=uim"},
                    kDebian,
                    "",
                    QString::fromLatin1(kNone).arg("uim")},
        ContextCase{"qt_empty", {"QT_IM_MODULE=", "XMODIFIERS=@im=ibus"}, kBoth, "ibus"},
        ContextCase{"no_plugin_falls_to_gtk",
                    {"XMODIFIERS=@im=fcitx", "GTK_IM_MODULE=ibus"},
                    {"ibus"},
                    "ibus"},
        ContextCase{"no_plugin", {"XMODIFIERS=@im=fcitx"}, {"ibus"}, ""},
        ContextCase{"uim", {"XMODIFIERS=@im=uim", "GTK_IM_MODULE=uim"}, kBoth, ""},
        ContextCase{"nothing", {}, kBoth, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// The keys are read from the plugins' metadata; Qt's own compose plugin is always there.
TEST(InputContextPlugins, KeysComeFromThePluginsThemselves) {
    const QStringList installed = zp::installedInputContexts();
    EXPECT_TRUE(installed.contains(QStringLiteral("compose"))) << installed.join(' ').toStdString();
    EXPECT_TRUE(installed.contains(QStringLiteral("xim"))) << "compose answers to xim too";
}

// A 16-bit mono PCM file of the given length in seconds.
QByteArray silenceWav(int seconds) {
    const quint32 rate = 8000, bytes = rate * 2 * static_cast<quint32>(seconds);
    QByteArray wav;
    auto u32 = [&](quint32 v) { wav.append(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](quint16 v) { wav.append(reinterpret_cast<const char*>(&v), 2); };
    wav += "RIFF";
    u32(36 + bytes);
    wav += "WAVEfmt ";
    u32(16);
    u16(1);
    u16(1);
    u32(rate);
    u32(rate * 2);
    u16(2);
    u16(16);
    wav += "data";
    u32(bytes);
    wav.append(QByteArray(static_cast<int>(bytes), '\0'));
    return wav;
}

TEST(SoundPlayer, ReturnsAtOnceWhileTheSoundPlays) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fire.wav"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(silenceWav(3));
    f.close();
    zp::SoundPlayer player;
    // Qt Multimedia comes with the first sound, from the sound module found beside the program.
    const auto multimediaLoaded = [] {
        QFile maps(QStringLiteral("/proc/self/maps"));
        return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6Multimedia");
    };
    EXPECT_FALSE(multimediaLoaded());
    QElapsedTimer t;
    t.start();
    player.playWav(path);
    player.playWav(dir.filePath(QStringLiteral("missing.wav")));
    EXPECT_LT(t.elapsed(), 1000) << "playing a three-second sound blocked the caller";
    EXPECT_EQ(player.lastPath(), dir.filePath(QStringLiteral("missing.wav")));
    EXPECT_TRUE(multimediaLoaded());
}

// Run only in the copy made below, far from the sound module: two sounds, and what each
// call said.
TEST(SoundPlayer, WithoutTheModuleInACopy) {
    if (!qEnvironmentVariableIsSet("ZP_SOUND_IN_A_COPY"))
        GTEST_SKIP() << "run by AMissingModuleIsToldOnce in a copy of this program";
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fire.wav"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(silenceWav(1));
    f.close();
    zp::SoundPlayer player;
    const QString first = player.playWav(path);
    const QString second = player.playWav(path);
    std::printf("first: [%s]\nsecond: [%s]\n", first.toUtf8().constData(),
                second.toUtf8().constData());
}

// A copy of this program with no sound module where it looks: the first sound says why
// none can play, for the status line, and only the first.
TEST(SoundPlayer, AMissingModuleIsToldOnce) {
    if (qEnvironmentVariableIsSet("ZP_SOUND_IN_A_COPY"))
        GTEST_SKIP();
    QTemporaryDir dir;
    const std::string copy = dir.filePath(QStringLiteral("app_platform_test")).toStdString();
    ASSERT_TRUE(QFile::copy(QStringLiteral("/proc/self/exe"), QString::fromStdString(copy)));
    QFile::setPermissions(QString::fromStdString(copy), QFile::ReadOwner | QFile::ExeOwner);
    const std::string out =
        zp::test::runShell("ZP_SOUND_IN_A_COPY=1 QT_QPA_PLATFORM=offscreen " +
                           zp::test::shellQuote(copy) +
                           " --gtest_filter=SoundPlayer.WithoutTheModuleInACopy 2>/dev/null")
            .output;
    EXPECT_NE(out.find(QStringLiteral("first: [サウンドモジュールを読み込めないため、"
                                      "効果音を鳴らせません（")
                           .toStdString()),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("second: []"), std::string::npos) << out;
}

// A widget that lists the events it was given after the event filters had their say.
class Recorder : public QWidget {
public:
    using QWidget::QWidget;
    QList<QEvent::Type> seen;

protected:
    bool event(QEvent* e) override {
        seen.append(e->type());
        return QWidget::event(e);
    }
};

enum class Send {
    LeftPress,
    LeftRelease,
    RightRelease,
    Key,
    Wheel,
    DoubleClick,
    FocusIn,
    TabOut,
    PopupOut
};

// Sends one event of that kind to w, as the platform would deliver it.
void send(QWidget* w, Send kind) {
    const QPointF at(5, 5);
    const QPointF global = w->mapToGlobal(at);
    auto mouse = [&](QEvent::Type type, Qt::MouseButton button) {
        QMouseEvent e(type, at, global, button,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : button, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &e);
    };
    switch (kind) {
    case Send::LeftPress:
        return mouse(QEvent::MouseButtonPress, Qt::LeftButton);
    case Send::LeftRelease:
        return mouse(QEvent::MouseButtonRelease, Qt::LeftButton);
    case Send::RightRelease:
        return mouse(QEvent::MouseButtonRelease, Qt::RightButton);
    case Send::DoubleClick:
        return mouse(QEvent::MouseButtonDblClick, Qt::LeftButton);
    case Send::Key: {
        QKeyEvent e(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &e);
        return;
    }
    case Send::Wheel: {
        QWheelEvent e(at, global, QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(w, &e);
        return;
    }
    case Send::FocusIn:
    case Send::TabOut:
    case Send::PopupOut: {
        QFocusEvent e(kind == Send::FocusIn ? QEvent::FocusIn : QEvent::FocusOut,
                      kind == Send::PopupOut ? Qt::PopupFocusReason : Qt::TabFocusReason);
        QCoreApplication::sendEvent(w, &e);
        return;
    }
    }
}

QEvent::Type typeOf(Send kind) {
    switch (kind) {
    case Send::LeftPress:
        return QEvent::MouseButtonPress;
    case Send::LeftRelease:
    case Send::RightRelease:
        return QEvent::MouseButtonRelease;
    case Send::DoubleClick:
        return QEvent::MouseButtonDblClick;
    case Send::Key:
        return QEvent::KeyPress;
    case Send::Wheel:
        return QEvent::Wheel;
    case Send::FocusIn:
        return QEvent::FocusIn;
    case Send::TabOut:
    case Send::PopupOut:
        return QEvent::FocusOut;
    }
    return QEvent::None;
}

struct HookCase {
    QEvent::Type hooked;
    Send sent;
    bool consume;
    int calls;
};

class EventHook : public ::testing::TestWithParam<HookCase> {};

// The handler gets its own event type only, and what it consumes never reaches the widget.
TEST_P(EventHook, CallsForItsTypeAndCanConsume) {
    const HookCase c = GetParam();
    QWidget parent;
    auto* hooked = new Recorder(&parent);
    auto* other = new Recorder(&parent);
    QObject context;
    int calls = 0;
    zp::onEvent(hooked, c.hooked, &context, [&](QEvent* e) {
        EXPECT_EQ(e->type(), c.hooked);
        ++calls;
        return c.consume;
    });
    send(other, c.sent);
    EXPECT_EQ(calls, 0) << "a widget without the hook";
    EXPECT_EQ(other->seen.count(typeOf(c.sent)), 1);
    send(hooked, c.sent);
    EXPECT_EQ(calls, c.calls);
    EXPECT_EQ(hooked->seen.count(typeOf(c.sent)), c.calls == 1 && c.consume ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Events, EventHook,
    ::testing::Values(HookCase{QEvent::MouseButtonPress, Send::LeftPress, false, 1},
                      HookCase{QEvent::MouseButtonPress, Send::LeftPress, true, 1},
                      HookCase{QEvent::MouseButtonPress, Send::LeftRelease, true, 0},
                      HookCase{QEvent::MouseButtonRelease, Send::LeftPress, true, 0},
                      HookCase{QEvent::KeyPress, Send::Key, true, 1},
                      HookCase{QEvent::KeyPress, Send::Wheel, true, 0},
                      HookCase{QEvent::Wheel, Send::Wheel, true, 1},
                      HookCase{QEvent::Wheel, Send::Wheel, false, 1}));

TEST(EventHookLifetime, EndsWithTheContext) {
    Recorder w;
    int calls = 0;
    auto context = std::make_unique<QObject>();
    zp::onEvent(&w, QEvent::KeyPress, context.get(), [&](QEvent*) { return ++calls > 0; });
    send(&w, Send::Key);
    context.reset();
    send(&w, Send::Key);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(w.seen.count(QEvent::KeyPress), 1) << "only the second key reaches the widget";
}

struct ControlCase {
    zp::ControlEvent hooked;
    Send sent;
    int calls;
};

class ControlEvents : public ::testing::TestWithParam<ControlCase> {};

// Enter, exit and click are notices: the widget still gets the event.
TEST_P(ControlEvents, NoticeTheirEventOnly) {
    const ControlCase c = GetParam();
    Recorder w;
    int calls = 0;
    zp::onControlEvent(&w, c.hooked, &w, [&] { ++calls; });
    send(&w, c.sent);
    EXPECT_EQ(calls, c.calls);
    EXPECT_EQ(w.seen.count(typeOf(c.sent)), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ControlEvents,
    ::testing::Values(ControlCase{zp::ControlEvent::Click, Send::LeftRelease, 1},
                      ControlCase{zp::ControlEvent::Click, Send::RightRelease, 0},
                      ControlCase{zp::ControlEvent::Click, Send::LeftPress, 0},
                      ControlCase{zp::ControlEvent::DoubleClick, Send::DoubleClick, 1},
                      ControlCase{zp::ControlEvent::Enter, Send::FocusIn, 1},
                      ControlCase{zp::ControlEvent::Enter, Send::TabOut, 0},
                      ControlCase{zp::ControlEvent::Exit, Send::TabOut, 1},
                      ControlCase{zp::ControlEvent::Exit, Send::PopupOut, 0}));

// The window hook sees the wheel before the control under the pointer, once per event, and
// only for its own window; it is installed before the window exists on the screen.
TEST(WindowEventHook, WheelOfTheWindowBeforeItsControls) {
    for (const bool consume : {false, true}) {
        QWidget window;
        window.resize(100, 100);
        auto* inner = new Recorder(&window);
        inner->setGeometry(10, 10, 50, 50);
        QWidget otherWindow;
        otherWindow.resize(100, 100);
        QList<QPoint> deltas;
        zp::onWindowEvent(inner, QEvent::Wheel, &window, [&](QEvent* e) {
            deltas.append(static_cast<QWheelEvent*>(e)->angleDelta());
            return consume;
        });
        window.show();
        otherWindow.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&otherWindow));
        for (QWidget* top : {&otherWindow, &window}) {
            const QPointF at(20, 20);
            QWheelEvent e(at, top->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(top->windowHandle(), &e);
        }
        EXPECT_EQ(deltas, QList<QPoint>{QPoint(0, 120)}) << "consume " << consume;
        EXPECT_EQ(inner->seen.count(QEvent::Wheel), consume ? 0 : 1) << "consume " << consume;
    }
}

} // namespace
