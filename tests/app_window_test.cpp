// The main window: tab order, Enter moving on, the first start, closing, status reporting,
// the up-down boxes, the body length and the send-button caption.
#include "app/about.h"
#include "app/zoripost1.h"
#include "app_support.h"
#include "logtool/ui/logfolder.h"
#include "platform/qttranslation.h"
#include "platform/radiogroup.h"
#include "platform/updown.h"
#include "support/rows.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTranslator>
#include <QUrl>

#include <memory>

using zp::findControl;
using zp::MsgKind;

static ::testing::Environment* const kQt =
    ::testing::AddGlobalTestEnvironment(new zp::test::QtEnvironment);

namespace {

using zp::test::PrintTo;

class WindowTest : public ::testing::Test {
protected:
    // Creates the window for an executable in a fresh folder; the settings file may be
    // written first. server: texts for edtSMTPHost, edtSMTPUser, edtSMTPAddr before showing.
    void open(const QStringList& server = {}) {
        exe = dir.filePath(QStringLiteral("zoripost"));
        window = std::make_unique<TfrmMain>(exe);
        const char* names[] = {"edtSMTPHost", "edtSMTPUser", "edtSMTPAddr"};
        for (int i = 0; i < server.size() && i < 3; ++i)
            control<QLineEdit>(names[i])->setText(server.at(i));
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        // FormShow runs from the event loop.
        QCoreApplication::processEvents();
    }
    template <class T> T* control(const char* name) { return findControl<T>(window.get(), name); }
    QString focusName() const {
        QWidget* f = QApplication::focusWidget();
        return f ? f->objectName() : QString();
    }

    zp::test::ScriptedDialogs dialogs;
    QTemporaryDir dir;
    QString exe;
    std::unique_ptr<TfrmMain> window;
};

const QStringList kServerSet = {QStringLiteral("smtp.example.jp"), QStringLiteral("user"),
                                QStringLiteral("me@example.jp")};

TEST_F(WindowTest, MailAreaTabOrder) {
    open(kServerSet);
    const QStringList expected = {
        "btnAddrMenu",           "chlAddr", "edtTitle", "memoBody",  "btnPaste",
        "btnPasteFromVelmaclip", "btnSend", "btnClear", "btnConfig", "btnExit"};
    control<QWidget>("btnAddrMenu")->setFocus(Qt::TabFocusReason);
    QStringList seen = {focusName()};
    for (int i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        seen << focusName();
    }
    EXPECT_EQ(seen, expected);
}

struct EnterCase {
    const char* from;
    const char* to;
    bool showPanel;
    int page;
    bool missingFolder = false; // a folder box naming a folder that is not there
};

class EnterMovesOn : public WindowTest, public ::testing::WithParamInterface<EnterCase> {};

TEST_P(EnterMovesOn, FocusGoesToNextControlAndKeyIsConsumed) {
    const EnterCase c = GetParam();
    open(kServerSet);
    if (c.showPanel) {
        window->btnConfigClick();
        control<QTabWidget>("pgctlOption")->setCurrentIndex(c.page);
    }
    if (QLatin1String(c.from) == QLatin1String("edtSaveDir")) {
        // The log folder box is on only with a log mode, and leaving it checks the folder.
        control<zp::RadioGroup>("radLogSave")->setItemIndex(1);
        window->logFolder()->radLogSaveClick();
        control<QLineEdit>("edtSaveDir")->setText(dir.path());
    }
    auto* from = control<QWidget>(c.from);
    // The output-folder box takes input only while the copy into it is switched on.
    if (QLatin1String(c.from) == QLatin1String("edtOutDir")) {
        control<QLineEdit>("edtOutDir")->setText(dir.path());
        control<QAbstractButton>("chkOutMadeGrp")->click();
    }
    if (c.missingFolder)
        control<QLineEdit>(c.from)->setText(dir.filePath(QStringLiteral("gone")));
    from->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(focusName(), QString::fromLatin1(c.from));
    auto* edit = qobject_cast<QLineEdit*>(from);
    std::unique_ptr<QSignalSpy> returned;
    if (edit)
        returned = std::make_unique<QSignalSpy>(edit, &QLineEdit::returnPressed);
    auto* check = qobject_cast<QAbstractButton*>(from);
    const bool wasChecked = check && check->isChecked();

    dialogs.messages.clear();
    QTest::keyClick(from, Qt::Key_Return);

    EXPECT_EQ(focusName(), QString::fromLatin1(c.to));
    // The folder is checked when the focus leaves and once more after: one message.
    EXPECT_EQ(dialogs.messages.size(), c.missingFolder ? 1u : 0u);
    if (returned) {
        EXPECT_EQ(returned->count(), 0) << "the Enter key reached " << c.from;
    }
    if (check) {
        EXPECT_EQ(check->isChecked(), wasChecked);
    }
}

INSTANTIATE_TEST_SUITE_P(Controls, EnterMovesOn,
                         ::testing::Values(EnterCase{"edtTitle", "memoBody", false, 0},
                                           EnterCase{"chlAddr", "edtTitle", false, 0},
                                           EnterCase{"edtQuality", "chkLimitSize", true, 0},
                                           EnterCase{"chkStretchMiniImg", "chkRot", true, 0},
                                           EnterCase{"edtSizeH", "chkStretchMiniImg", true, 0},
                                           EnterCase{"chkAutoSend", "chkFileAutoClear", true, 1},
                                           EnterCase{"edtSMTPHost", "edtSMTPUser", true, 2},
                                           EnterCase{"edtSMTPName", "chkPOPbSMTP", true, 2},
                                           EnterCase{"edtOutDir", "btnOutDirSelect", true, 0},
                                           EnterCase{"edtSaveDir", "chkMakeNameDir", true, 1},
                                           EnterCase{"edtOutDir", "btnOutDirSelect", true, 0, true},
                                           EnterCase{"edtSaveDir", "chkMakeNameDir", true, 1,
                                                     true}));

struct EnterListCase {
    const char* name;
    int page; // page of pgctlOption, -1 for the mail area
    bool movesOn;
};

class EnterList : public WindowTest, public ::testing::WithParamInterface<EnterListCase> {};

// Every control of the list hands Enter on; controls off the list keep it.
TEST_P(EnterList, OnlyListedControlsMoveOn) {
    const EnterListCase c = GetParam();
    open(kServerSet);
    if (c.page >= 0) {
        window->btnConfigClick();
        control<QTabWidget>("pgctlOption")->setCurrentIndex(c.page);
    }
    QWidget* w = control<QWidget>(c.name);
    w->setEnabled(true);
    w->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(focusName(), QString::fromLatin1(c.name));
    QTest::keyClick(w, Qt::Key_Return);
    EXPECT_EQ(focusName() != QString::fromLatin1(c.name), c.movesOn);
}

INSTANTIATE_TEST_SUITE_P(
    Controls, EnterList,
    ::testing::Values(EnterListCase{"chlAddr", -1, true}, EnterListCase{"edtTitle", -1, true},
                      EnterListCase{"edtQuality", 0, true}, EnterListCase{"chkLimitSize", 0, true},
                      EnterListCase{"edtLimitSize", 0, true}, EnterListCase{"edtSizeW", 0, true},
                      EnterListCase{"edtSizeH", 0, true},
                      EnterListCase{"chkStretchMiniImg", 0, true}, EnterListCase{"chkRot", 0, true},
                      EnterListCase{"radLeftRot", 0, true}, EnterListCase{"radRightRot", 0, true},
                      EnterListCase{"chkAllowCut", 0, true},
                      EnterListCase{"chkFineQuality", 0, true},
                      EnterListCase{"chkOutMadeGrp", 0, true}, EnterListCase{"edtOutDir", 0, true},
                      EnterListCase{"chkAutoSend", 1, true}, EnterListCase{"edtSaveDir", 1, true},
                      EnterListCase{"chkFileAutoClear", 1, true},
                      EnterListCase{"chkMailAddrAutoClear", 1, true},
                      EnterListCase{"edtSMTPHost", 2, true}, EnterListCase{"edtSMTPUser", 2, true},
                      EnterListCase{"edtSMTPAddr", 2, true}, EnterListCase{"edtSMTPName", 2, true},
                      EnterListCase{"edtReplyTo", 2, true}, EnterListCase{"edtPOP3Host", 2, false},
                      EnterListCase{"edtPOP3Pwd", 2, false}, EnterListCase{"edtSendSE", 3, false}));

TEST_F(WindowTest, EnterInTheBodyStartsANewLine) {
    open(kServerSet);
    auto* body = control<QPlainTextEdit>("memoBody");
    body->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(body, QStringLiteral("ab"));
    QTest::keyClick(body, Qt::Key_Return);
    QTest::keyClicks(body, QStringLiteral("c"));
    EXPECT_EQ(body->toPlainText(), QStringLiteral("ab\nc"));
    EXPECT_EQ(focusName(), QStringLiteral("memoBody"));
}

struct FirstStartCase {
    QStringList server;
    bool welcome;
};

class FirstStart : public WindowTest, public ::testing::WithParamInterface<FirstStartCase> {};

TEST_P(FirstStart, WelcomeOpensServerPageAtFullWidth) {
    const FirstStartCase c = GetParam();
    open(c.server);
    ASSERT_EQ(dialogs.messages.size(), c.welcome ? 1u : 0u);
    if (c.welcome) {
        EXPECT_EQ(dialogs.messages[0].kind, MsgKind::Information);
        EXPECT_EQ(
            dialogs.messages[0].text,
            QStringLiteral("zoripostへようこそ!\nご利用前にメールに関する設定を行ってください。"));
        EXPECT_EQ(dialogs.messages[0].buttons, zp::MsgButtons::Ok);
        EXPECT_TRUE(control<QWidget>("pnlConfig")->isVisible());
        EXPECT_EQ(window->outerWidth(), 796);
        EXPECT_EQ(control<QTabWidget>("pgctlOption")->currentIndex(), 2);
        EXPECT_EQ(control<QTabWidget>("pgctlOption")->tabText(2), QStringLiteral("サーバ設定"));
        EXPECT_EQ(control<QAbstractButton>("btnConfig")->text(), QStringLiteral("設定隠す"));
    } else {
        EXPECT_FALSE(control<QWidget>("pnlConfig")->isVisible());
        EXPECT_EQ(window->outerWidth(), 520);
    }
    EXPECT_EQ(focusName(), QStringLiteral("chlAddr"));
    EXPECT_EQ(window->height(), TfrmMain::kClientHeight);
}

INSTANTIATE_TEST_SUITE_P(
    ServerBoxes, FirstStart,
    ::testing::Values(FirstStartCase{{}, true}, FirstStartCase{kServerSet, false},
                      FirstStartCase{{"smtp.example.jp", "   ", "me@example.jp"}, true},
                      FirstStartCase{{"smtp.example.jp", "user", ""}, true},
                      FirstStartCase{{" \t", "user", "me@example.jp"}, true}));

TEST_F(WindowTest, ConfigButtonTogglesPanelAndWidth) {
    open(kServerSet);
    window->btnConfigClick();
    EXPECT_TRUE(control<QWidget>("pnlConfig")->isVisible());
    EXPECT_EQ(window->outerWidth(), 796);
    const int height = window->height();
    window->btnConfigClick();
    EXPECT_FALSE(control<QWidget>("pnlConfig")->isVisible());
    EXPECT_EQ(window->outerWidth(), 520);
    EXPECT_EQ(control<QAbstractButton>("btnConfig")->text(), QStringLiteral("設定表示"));
    EXPECT_EQ(window->height(), height);
}

// A file dropped anywhere on the window is the window's, even on a box that takes text.
TEST_F(WindowTest, DroppedFileIsNotPastedIntoTheBody) {
    open(kServerSet);
    auto* body = control<QPlainTextEdit>("memoBody");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(dir.filePath(QStringLiteral("photo.jpg")))});
    data.setText(dir.filePath(QStringLiteral("photo.jpg")));
    const QPoint at = body->viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(body->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(body->viewport(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(body->toPlainText(), QString());
}

TEST_F(WindowTest, FixedFrameWithoutMaximise) {
    open(kServerSet);
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
    window->btnConfigClick();
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
}

TEST_F(WindowTest, SecondStartRestoresAMinimisedWindow) {
    open(kServerSet);
    window->showMinimized();
    ASSERT_TRUE(window->isMinimized());
    window->bringToFront();
    EXPECT_FALSE(window->isMinimized());
    EXPECT_TRUE(window->isVisible());
}

TEST_F(WindowTest, DebugFlagShowsTheDebugMemo) {
    open(kServerSet);
    window->btnConfigClick();
    control<QTabWidget>("pgctlOption")->setCurrentIndex(3);
    auto* memo = control<QPlainTextEdit>("memoDebug");
    EXPECT_TRUE(memo->toPlainText().startsWith(QStringLiteral("(デバッグ スクリーン)")));
    EXPECT_TRUE(memo->isReadOnly());
    window->setDebugFlag(true);
    EXPECT_TRUE(memo->isVisible());
    window->setDebugFlag(false);
    EXPECT_FALSE(memo->isVisible());
}

TEST_F(WindowTest, ClosingTwiceSavesOnceAndDeletesTheWorkingJpeg) {
    open(kServerSet);
    QFile jpeg(window->workingJpegPath());
    ASSERT_TRUE(jpeg.open(QIODevice::WriteOnly));
    jpeg.write("\xFF\xD8\xFF\xD9");
    jpeg.close();
    QSignalSpy saved(window.get(), &TfrmMain::settingsSaved);

    window->close();
    ASSERT_EQ(saved.count(), 1);
    QFile::remove(window->settingsFilePath());
    window->FormClose(); // the session ends after the close box was used
    window->close();

    EXPECT_EQ(saved.count(), 1);
    EXPECT_FALSE(QFile::exists(window->settingsFilePath())) << "settings written a second time";
    EXPECT_FALSE(QFile::exists(window->workingJpegPath()));
}

TEST_F(WindowTest, ExitButtonSavesTheSettingsFile) {
    open(kServerSet);
    control<QLineEdit>("edtTitle")->setText(QStringLiteral("件名です"));
    QTest::mouseClick(control<QAbstractButton>("btnExit"), Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
    QFile ini(window->settingsFilePath());
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    // The file is Shift-JIS: 件名です in CP932.
    EXPECT_TRUE(ini.readAll().contains("\x8C\x8F\x96\xBC\x82\xC5\x82\xB7"));
}

struct StatusCase {
    MsgKind kind;
    bool box;
};

class ReportStatus : public WindowTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(ReportStatus, BoxFirstThenStatusBarAndMemo) {
    const StatusCase c = GetParam();
    open(kServerSet);
    window->reportStatus(QStringLiteral("前の表示"), MsgKind::None);
    QString statusDuringBox;
    dialogs.onMessage = [&] { statusDuringBox = window->statusText(); };
    const size_t before = dialogs.messages.size();

    window->reportStatus(QStringLiteral("送信先：a@example.jp"), c.kind);

    ASSERT_EQ(dialogs.messages.size() - before, c.box ? 1u : 0u);
    if (c.box) {
        EXPECT_EQ(dialogs.messages.back().kind, c.kind);
        EXPECT_EQ(statusDuringBox, QStringLiteral("前の表示"));
    }
    EXPECT_EQ(window->statusText(), QStringLiteral("送信先：a@example.jp"));
    EXPECT_EQ(window->statusBar()->currentMessage(), QStringLiteral("送信先：a@example.jp"));
    EXPECT_TRUE(control<QPlainTextEdit>("memoDebug")
                    ->toPlainText()
                    .endsWith(QStringLiteral("前の表示\n送信先：a@example.jp")));
}

INSTANTIATE_TEST_SUITE_P(Kinds, ReportStatus,
                         ::testing::Values(StatusCase{MsgKind::Warning, true},
                                           StatusCase{MsgKind::Error, true},
                                           StatusCase{MsgKind::Information, true},
                                           StatusCase{MsgKind::Confirmation, true},
                                           StatusCase{MsgKind::None, false}));

TEST_F(WindowTest, EmptyReportClearsTheStatusBar) {
    open(kServerSet);
    window->reportStatus(QStringLiteral("x"), MsgKind::None);
    window->reportStatus(QString(), MsgKind::None);
    EXPECT_EQ(window->statusText(), QString());
    EXPECT_TRUE(
        control<QPlainTextEdit>("memoDebug")->toPlainText().endsWith(QStringLiteral("x\n")));
}

TEST_F(WindowTest, UpDownsKeepTheirBoxesEqualToThePosition) {
    open(kServerSet);
    window->btnConfigClick();
    const std::pair<const char*, const char*> pairs[] = {{"udQuality", "edtQuality"},
                                                         {"udLimitSize", "edtLimitSize"},
                                                         {"udSizeW", "edtSizeW"},
                                                         {"udSizeH", "edtSizeH"}};
    for (auto [udName, edtName] : pairs) {
        auto* ud = control<zp::UpDown>(udName);
        auto* edit = control<QLineEdit>(edtName);
        EXPECT_EQ(edit->text(), QString::number(ud->position())) << udName;
        QToolButton* up = ud->findChildren<QToolButton*>().at(0);
        QTest::mouseClick(up, Qt::LeftButton);
        EXPECT_EQ(edit->text(), QString::number(ud->position())) << udName;
        ud->setPosition(100000);
        EXPECT_EQ(ud->position(), ud->maximum()) << udName;
        EXPECT_EQ(edit->text(), QString::number(ud->maximum())) << udName;
    }
}

struct BodyCase {
    QString body;
    int bytes;
};

class BodyLength : public WindowTest, public ::testing::WithParamInterface<BodyCase> {};

TEST_P(BodyLength, CaptionCountsShiftJisBytesAndCrLf) {
    open(kServerSet);
    control<QPlainTextEdit>("memoBody")->setPlainText(QStringLiteral("x"));
    control<QPlainTextEdit>("memoBody")->setPlainText(GetParam().body);
    EXPECT_EQ(control<QLabel>("lblText")->text(),
              QStringLiteral("本文  (長さ：%1バイト)").arg(GetParam().bytes));
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, BodyLength,
    ::testing::Values(BodyCase{QStringLiteral("ab\nc"), 5}, BodyCase{QString(), 0},
                      BodyCase{QStringLiteral("日本"), 4}, BodyCase{QStringLiteral("a\n\nb"), 6},
                      BodyCase{QStringLiteral("ｱｲ"), 2}, BodyCase{QStringLiteral("\n"), 2}));

TEST_F(WindowTest, SendCaptionFollowsTheHiddenOption) {
    open(kServerSet);
    auto* cap = control<QAbstractButton>("chkSendCap");
    auto* send = control<QAbstractButton>("btnSend");
    EXPECT_EQ(send->text(), QStringLiteral("送信(&S)"));
    EXPECT_FALSE(cap->isVisible());
    window->btnConfigClick();
    control<QTabWidget>("pgctlOption")->setCurrentIndex(3);
    QTest::mouseClick(control<QLabel>("imgProgramIcon"), Qt::LeftButton);
    ASSERT_TRUE(cap->isVisible());
    EXPECT_TRUE(control<QWidget>("pnlSendSE")->isVisible());

    const struct {
        bool checked;
        QString caption;
        QColor base;
    } rows[] = {{true, QStringLiteral("発射!(&S)"), QColor(255, 255, 255)},
                {false, QStringLiteral("送信(&S)"), QColor(192, 192, 192)},
                {true, QStringLiteral("発射!(&S)"), QColor(255, 255, 255)}};
    for (const auto& r : rows) {
        QTest::mouseClick(cap, Qt::LeftButton);
        ASSERT_EQ(cap->isChecked(), r.checked);
        EXPECT_EQ(send->text(), r.caption);
        for (const char* name : {"lblSendSE", "edtSendSE", "btnSendSE"})
            EXPECT_EQ(control<QWidget>(name)->isEnabled(), r.checked) << name;
        EXPECT_EQ(control<QWidget>("edtSendSE")->palette().color(QPalette::Base), r.base);
    }
}

TEST_F(WindowTest, SoundFileIsChosenThroughTheOpenDialog) {
    open(kServerSet);
    auto* edit = control<QLineEdit>("edtSendSE");
    edit->setText(QStringLiteral("/sounds"));
    dialogs.fileAnswer.clear();
    window->aboutPage()->btnSendSEClick();
    ASSERT_EQ(dialogs.openRequests.size(), 1);
    EXPECT_TRUE(dialogs.openRequests[0].startsWith(QStringLiteral("/sounds|WAV files (")));
    EXPECT_EQ(edit->text(), QStringLiteral("/sounds")) << "cancelling changes nothing";
    dialogs.fileAnswer = QStringLiteral("/sounds/fire.wav");
    window->aboutPage()->btnSendSEClick();
    EXPECT_EQ(edit->text(), QStringLiteral("/sounds/fire.wav"));
}

TEST_F(WindowTest, EnteringTheSubjectClearsOnlyTheSentMessage) {
    open(kServerSet);
    const struct {
        QString status;
        QString after;
    } rows[] = {{QStringLiteral("メールを送信しました"), QString()},
                {QStringLiteral("送信に失敗しました"), QStringLiteral("送信に失敗しました")}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.status.toStdString());
        control<QWidget>("chlAddr")->setFocus(Qt::TabFocusReason);
        window->reportStatus(r.status, MsgKind::None);
        control<QWidget>("edtTitle")->setFocus(Qt::MouseFocusReason);
        EXPECT_EQ(window->statusText(), r.after);
        control<QWidget>("chlAddr")->setFocus(Qt::TabFocusReason);
        window->reportStatus(r.status, MsgKind::None);
        control<QWidget>("memoBody")->setFocus(Qt::MouseFocusReason);
        EXPECT_EQ(window->statusText(), r.after);
    }
}

TEST_F(WindowTest, AboutPageShowsProductAndVersion) {
    open(kServerSet);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("zoripost"));
    EXPECT_EQ(control<QLabel>("lblProductName")->text(), QStringLiteral("zoripost"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+\\.\\d+\\.\\d+\\.\\d+$"))
                    .match(TfrmMain::getFileVersion())
                    .hasMatch());
    EXPECT_EQ(control<QLabel>("lblVersion")->text(),
              QStringLiteral("version ") + TfrmMain::getFileVersion());
    // The icon is drawn when the page is first shown.
    window->btnConfigClick();
    control<QTabWidget>("pgctlOption")->setCurrentIndex(3);
    EXPECT_FALSE(control<QLabel>("imgProgramIcon")->pixmap().isNull());
}

// Every control the keyboard reaches on every page and in both dialogs, and every button
// (the up-down arrows are reached by a screen reader only), has a name to speak.
TEST_F(WindowTest, EveryControlHasASpokenName) {
    open(kServerSet);
    window->aboutPage()->imgProgramIconClick();
    window->setDebugFlag(true);
    window->btnConfigClick();
    QStringList unnamed;
    int visited = 0;
    const auto visit = [&](QWidget* top) {
        for (QWidget* w : top->findChildren<QWidget*>()) {
            const bool reached = (w->focusPolicy() & Qt::TabFocus) && !w->focusProxy();
            if (w->window() != top || !(reached || qobject_cast<QAbstractButton*>(w)))
                continue;
            ++visited;
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
            if (!a || a->text(QAccessible::Name).trimmed().isEmpty())
                unnamed << w->objectName() + QLatin1Char(':') + w->metaObject()->className();
        }
    };
    visit(window.get());
    auto* address = window->findChild<QDialog*>(QStringLiteral("TfrmInputAddr"));
    ASSERT_NE(address, nullptr);
    visit(address);
    control<QAbstractButton>("btnServerSecurity")->click();
    auto* security = window->findChild<QDialog*>(QStringLiteral("dlgServerSecurity"));
    ASSERT_NE(security, nullptr);
    visit(security);
    security->reject();
    EXPECT_GT(visited, 70);
    EXPECT_EQ(unnamed, QStringList{});
    // The about tab is read by its meaning, not by its question mark.
    auto* tabs = control<QTabWidget>("pgctlOption")->tabBar();
    EXPECT_EQ(tabs->accessibleTabName(3), QStringLiteral("バージョン情報"));
}

TEST_F(WindowTest, QtsOwnButtonsReadInJapanese) {
    ASSERT_TRUE(zp::installQtTranslation(*QCoreApplication::instance(), dir.path()));
    open(kServerSet);
    control<QAbstractButton>("btnServerSecurity")->click();
    auto* security = window->findChild<QDialog*>(QStringLiteral("dlgServerSecurity"));
    ASSERT_NE(security, nullptr);
    auto* buttons = security->findChild<QDialogButtonBox*>();
    EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
    security->reject();
    for (QTranslator* t : QCoreApplication::instance()->findChildren<QTranslator*>())
        QCoreApplication::removeTranslator(t);
}

struct SourceNameCase {
    QString given;
    QString name;
};

class SourceName : public WindowTest, public ::testing::WithParamInterface<SourceNameCase> {};

TEST_P(SourceName, KeepsThePartBehindTheLastSeparator) {
    open(kServerSet);
    window->setSourceFileName(GetParam().given);
    EXPECT_EQ(control<QLabel>("lblFileNameF")->text(), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(Paths, SourceName,
                         ::testing::Values(SourceNameCase{QStringLiteral("C:\\写真\\旅行.jpg"),
                                                          QStringLiteral("旅行.jpg")},
                                           SourceNameCase{QStringLiteral("/home/u/a.b/pic.png"),
                                                          QStringLiteral("pic.png")},
                                           SourceNameCase{QStringLiteral("2026-12-06_09-30-15"),
                                                          QStringLiteral("2026-12-06_09-30-15")},
                                           SourceNameCase{QStringLiteral("/tmp/dir/"), QString()}));

TEST_F(WindowTest, ControlsAreDisabledAndEnabledTogether) {
    open(kServerSet);
    window->setControlsEnabled(false);
    for (const char* name : {"btnSend", "chlAddr", "edtTitle", "edtSMTPHost", "btnExit"})
        EXPECT_FALSE(control<QWidget>(name)->isEnabled()) << name;
    EXPECT_TRUE(window->statusBar()->isEnabled());
    window->setControlsEnabled(true);
    for (const char* name : {"btnSend", "chlAddr", "edtTitle", "edtSMTPHost", "btnExit"})
        EXPECT_TRUE(control<QWidget>(name)->isEnabled()) << name;
}

TEST_F(WindowTest, RunHandlerReachesTheWindowAndTheHandlerObjects) {
    open(kServerSet);
    window->btnConfigClick();
    EXPECT_TRUE(control<QWidget>("pnlConfig")->isVisible());
    control<QPlainTextEdit>("memoBody")->blockSignals(true);
    control<QPlainTextEdit>("memoBody")->setPlainText(QStringLiteral("abc"));
    control<QPlainTextEdit>("memoBody")->blockSignals(false);
    window->aboutPage()->memoBodyChange();
    EXPECT_EQ(control<QLabel>("lblText")->text(), QStringLiteral("本文  (長さ：3バイト)"));
}

} // namespace

namespace {

// Renders the window at both widths; with ZP_SCREENSHOT_DIR set, the pictures are kept
// there (docs/window-narrow.png and docs/window-wide.png come from this).
TEST_F(WindowTest, RendersAtBothWidths) {
    open(kServerSet);
    control<QListWidget>("chlAddr")->addItem(QStringLiteral("山田 (yamada@example.jp)"));
    control<QListWidget>("chlAddr")->item(0)->setCheckState(Qt::Checked);
    control<QLineEdit>("edtTitle")->setText(QStringLiteral("旅行の写真"));
    control<QPlainTextEdit>("memoBody")->setPlainText(QStringLiteral("昨日の写真です。\n見てね。"));
    window->reportStatus(QStringLiteral("ファイルドロップ：/home/user/写真/旅行.jpg"),
                         MsgKind::None);
    const QString keep = qEnvironmentVariable("ZP_SCREENSHOT_DIR");
    const struct {
        bool panel;
        int width;
        const char* file;
    } rows[] = {{false, 520, "window-narrow.png"}, {true, 796, "window-wide.png"}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.file);
        if (control<QWidget>("pnlConfig")->isVisible() != r.panel)
            window->btnConfigClick();
        QCoreApplication::processEvents();
        const QImage shot = window->grab().toImage();
        EXPECT_EQ(shot.width(), r.width - TfrmMain::kFrameWidth);
        EXPECT_EQ(shot.height(), TfrmMain::kClientHeight);
        // The right edge shows the settings panel only when it is open.
        const QRect panel(520, 40, 250, 200);
        EXPECT_EQ(shot.rect().contains(panel), r.panel);
        if (!keep.isEmpty()) {
            EXPECT_TRUE(shot.save(QDir(keep).filePath(QLatin1String(r.file))));
        }
    }
}

} // namespace
