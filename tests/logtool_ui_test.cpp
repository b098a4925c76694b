// The send-log folder controls and the sorting button on the real main window, with the
// message boxes and the folder dialog answered by a script.
#include "app/zoripost1.h"
#include "app_support.h"
#include "logtool/ui/logfolder.h"
#include "logtool_support.h"
#include "platform/radiogroup.h"
#include "platform/terminationsignals.h"
#include "support/rows.h"
#include "support/urlcatcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPalette>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

using zp::test::PrintTo;

namespace fs = std::filesystem;
using zp::findControl;
using zp::MsgAnswer;
using zp::MsgKind;
using zp::test::LogKind;
using zp::test::TestLog;

const QString kMissing = QStringLiteral("指定された送信ログ保存フォルダは存在しません。");

QString q(const fs::path& p) {
    return QString::fromStdString(p.string());
}

class LogFolderTest : public zp::test::TempFolder {
protected:
    void SetUp() override {
        TempFolder::SetUp();
        fs::create_directory(m_dir / "logs");
        openWindow();
    }
    void TearDown() override {
        m_window.reset();
        TempFolder::TearDown();
    }
    void openWindow() {
        m_window = std::make_unique<TfrmMain>(q(m_dir / "zoripost"));
        m_tool = m_window->findChild<zp::LogFolder*>();
        ASSERT_NE(m_tool, nullptr);
        m_dialogs.messages.clear();
    }
    template <class T> T* ctl(const char* name) { return findControl<T>(m_window.get(), name); }
    QLineEdit* box() { return ctl<QLineEdit>("edtSaveDir"); }
    void setMode(int mode) {
        ctl<zp::RadioGroup>("radLogSave")->setItemIndex(mode);
        m_tool->radLogSaveClick();
    }
    // The box as the user leaves it: entered with `before`, left with `typed`.
    void typeAndLeave(const QString& before, const QString& typed) {
        box()->setText(before);
        m_tool->edtSaveDirEnter();
        box()->setText(typed);
        m_tool->edtSaveDirExit();
    }
    int messagesWith(const QString& text) const {
        int n = 0;
        for (const auto& m : m_dialogs.messages)
            n += m.text == text;
        return n;
    }

    zp::test::ScriptedDialogs m_dialogs;
    std::unique_ptr<TfrmMain> m_window;
    zp::LogFolder* m_tool = nullptr;
};

// --- mode ----------------------------------------------------------------------------

struct ModeCase {
    int mode;
    bool on;
};
class LogMode : public LogFolderTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(LogMode, EnablesTheFolderControlsAndColoursTheBox) {
    setMode(GetParam().mode);
    for (const char* name :
         {"btnDirSelect", "btnFolderOpen", "edtSaveDir", "chkMakeNameDir", "btnAutoAlloc"})
        EXPECT_EQ(ctl<QWidget>(name)->isEnabled(), GetParam().on) << name;
    const QColor base = box()->palette().color(QPalette::Disabled, QPalette::Base);
    EXPECT_EQ(base, GetParam().on ? QColor(0xFF, 0xFF, 0xFF) : QColor(0xC0, 0xC0, 0xC0));
}

INSTANTIATE_TEST_SUITE_P(Table, LogMode,
                         ::testing::Values(ModeCase{0, false}, ModeCase{1, true}, ModeCase{2, true},
                                           ModeCase{3, true}, ModeCase{0, false}));

TEST_F(LogFolderTest, LoadedSettingsApplyTheModeAndRememberTheFolder) {
    EXPECT_FALSE(ctl<QWidget>("btnAutoAlloc")->isEnabled()) << "no settings file: no log";
    m_window.reset();
    zp::test::writeFile(m_dir / "zoripost.ini",
                        "[log]\r\nmode=3\r\ndir=" + (m_dir / "logs").string() + "\r\n");
    openWindow();
    EXPECT_TRUE(ctl<QWidget>("btnAutoAlloc")->isEnabled());
    EXPECT_EQ(m_tool->lastValidLogDir(), q(m_dir / "logs"));
}

// --- the folder box ------------------------------------------------------------------

struct BoxCase {
    const char* what;
    int mode;
    QString typed;   // relative to the temporary folder; "" stays empty
    bool kept;       // the typed text stays in the box
    bool make;       // the typed folder is made first
    QString refusal; // the message when it does not stay; empty: the missing-folder one
};
class FolderBox : public LogFolderTest, public ::testing::WithParamInterface<BoxCase> {};

TEST_P(FolderBox, LeavingTheBoxChecksTheFolder) {
    const BoxCase& c = GetParam();
    setMode(c.mode);
    const QString before = q(m_dir / "logs");
    const QString typed = c.typed.isEmpty() ? QString() : q(m_dir) + QLatin1Char('/') + c.typed;
    if (c.make) {
        ASSERT_TRUE(QDir().mkpath(typed));
    }
    typeAndLeave(before, typed);
    EXPECT_EQ(box()->text(), c.kept ? typed : before) << c.what;
    EXPECT_EQ(messagesWith(c.refusal.isEmpty() ? kMissing : c.refusal), c.kept ? 0 : 1) << c.what;
    EXPECT_EQ(m_dialogs.messages.size(), c.kept ? 0u : 1u) << c.what;
}

const QString kNotKept = QStringLiteral(") はフォルダ名として設定に保存できない文字です。"
                                        "この文字を含まないフォルダを指定してください。");

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, FolderBox, ::testing::Values(
    BoxCase{"mode 0: nothing is checked", 0, "missing", true, false, {}},
    BoxCase{"missing folder", 1, "missing", false, false, {}},
    BoxCase{"existing folder", 2, "logs", true, false, {}},
    BoxCase{"a file is no folder", 3, "zoripost.ini", false, false, {}},
    BoxCase{"an empty text is no folder", 3, "", false, false, {}},
    BoxCase{"a Japanese name Shift-JIS holds", 1, QStringLiteral("送信ログ～"), true, true, {}},
    BoxCase{"an accented letter Shift-JIS lacks", 1, QStringLiteral("café"), false, true,
            QStringLiteral("「é」(U+00E9") + kNotKept},
    BoxCase{"a wave dash Shift-JIS would fold", 1, QStringLiteral("ログ〜"), false, true,
            QStringLiteral("「〜」(U+301C") + kNotKept},
    BoxCase{"a missing folder Shift-JIS lacks a letter of", 1, QStringLiteral("naïve"), false,
            false, QStringLiteral("「ï」(U+00EF") + kNotKept}));
// clang-format on

TEST_F(LogFolderTest, EnterShowsTheMessageOnceAndRemembersTheText) {
    m_window->show();
    QApplication::setActiveWindow(m_window.get());
    QApplication::processEvents();
    ctl<QTabWidget>("pgctlOption")->setCurrentWidget(box()->parentWidget());
    setMode(1);
    // The remembered folder has gone since: putting it back cannot make it right either.
    box()->setText(q(m_dir / "gone"));
    box()->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(box()->hasFocus());
    m_dialogs.messages.clear();
    QTest::keyClick(box(), Qt::Key_Return);
    EXPECT_EQ(messagesWith(kMissing), 1);
    EXPECT_FALSE(box()->hasFocus()) << "Enter moves on";

    box()->setFocus();
    QApplication::processEvents();
    box()->setText(q(m_dir / "logs"));
    m_dialogs.messages.clear();
    QTest::keyClick(box(), Qt::Key_Enter);
    EXPECT_TRUE(m_dialogs.messages.empty());
    EXPECT_EQ(m_tool->lastValidLogDir(), q(m_dir / "logs"));
}

// --- open --------------------------------------------------------------------------

TEST_F(LogFolderTest, OpenHandsAnExistingFolderToTheDesktop) {
    setMode(1);
    zp::test::UrlCatcher catcher(QStringLiteral("file"));
    typeAndLeave(q(m_dir / "logs"), q(m_dir / "logs"));
    ctl<QAbstractButton>("btnFolderOpen")->click();
    box()->setText(q(m_dir / "missing"));
    ctl<QAbstractButton>("btnFolderOpen")->click();
    // A folder whose name the settings file cannot hold is refused as on leaving the box.
    ASSERT_TRUE(QDir().mkpath(q(m_dir / "café")));
    box()->setText(q(m_dir / "café"));
    ctl<QAbstractButton>("btnFolderOpen")->click();
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls[0], QUrl::fromLocalFile(q(m_dir / "logs")));
    EXPECT_EQ(messagesWith(kMissing), 1);
    EXPECT_EQ(messagesWith(QStringLiteral("「é」(U+00E9") + kNotKept), 1);
    EXPECT_EQ(box()->text(), q(m_dir / "logs"));
}

// --- the sorting tool ----------------------------------------------------------------

struct AnswerCase {
    const char* what;
    MsgAnswer answer;
    bool sorts;
};
class SortingTool : public LogFolderTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(SortingTool, OnlyYesSorts) {
    const fs::path logs = m_dir / "logs";
    writeLog(logs, TestLog{"t1", LogKind::Text, {"A (a@x.jp)", "b@x.jp"}, true});
    writeLog(logs, TestLog{"h1", LogKind::Html, {"A (a@x.jp)"}, true});
    const zp::test::Tree before = zp::test::snapshot(logs);
    setMode(3);
    box()->setText(q(logs));
    m_dialogs.answer = GetParam().answer;
    ctl<QAbstractButton>("btnAutoAlloc")->click();

    ASSERT_EQ(m_dialogs.messages.size(), 1u) << "the question, and no box after it";
    EXPECT_EQ(m_dialogs.messages[0].kind, MsgKind::Confirmation);
    EXPECT_EQ(m_dialogs.messages[0].buttons, zp::MsgButtons::YesNo);
    EXPECT_EQ(m_dialogs.messages[0].text,
              q(logs) +
                  QStringLiteral("/にある送信ログファイルを受信者別のフォルダに振り分けますか？"));
    const zp::test::Tree after = zp::test::snapshot(logs);
    if (!GetParam().sorts) {
        EXPECT_EQ(after, before) << GetParam().what;
        return;
    }
    EXPECT_EQ(after.count("t1.txt") + after.count("h1.html") + after.count("t1.jpg"), 0u);
    EXPECT_EQ(after.at("A/t1.txt"), before.at("t1.txt"));
    EXPECT_EQ(after.at("A/t1.jpg"), before.at("t1.jpg"));
    EXPECT_EQ(after.at("(名前なし)/t1.txt"), before.at("t1.txt"));
    EXPECT_EQ(after.at("A/h1.html"), before.at("h1.html"));
    EXPECT_EQ(after.at("A/h1.jpg"), before.at("h1.jpg"));
    EXPECT_EQ(ctl<QStatusBar>("statusBar")->currentMessage(),
              QStringLiteral("送信ログ 2 件を受信者別のフォルダに振り分けました。"));
}

INSTANTIATE_TEST_SUITE_P(Table, SortingTool,
                         ::testing::Values(AnswerCase{"yes", MsgAnswer::Yes, true},
                                           AnswerCase{"no (or Esc)", MsgAnswer::No, false},
                                           AnswerCase{"closed: neither yes nor no", MsgAnswer::Ok,
                                                      false}));

// The run goes beside the window with a dialog counting the logs done of the logs planned.
// A Cancel on the second count stops it there, every log whole in one place; the one box
// at the end says so, and the next run files the rest.
TEST_F(LogFolderTest, SortingShowsItsProgressAndCancelStopsBetweenTwoLogs) {
    const fs::path logs = m_dir / "logs";
    for (int i = 0; i < 5; ++i)
        writeLog(logs, TestLog{"t" + std::to_string(i), LogKind::Text, {"A (a@x.jp)"}, true});
    const zp::test::Tree before = zp::test::snapshot(logs);
    setMode(2);
    box()->setText(q(logs));
    m_tool->setBatchLogs(1);
    std::vector<int> counts;
    int planned = 0;
    const auto watch = [&](int cancelAt) {
        counts.clear();
        QTimer::singleShot(0, m_window.get(), [&, cancelAt] {
            auto* dialog = m_window->findChild<QProgressDialog*>();
            ASSERT_NE(dialog, nullptr);
            planned = dialog->maximum();
            QObject::connect(dialog->findChild<QProgressBar*>(), &QProgressBar::valueChanged,
                             dialog, [&, dialog, cancelAt](int done) {
                                 counts.push_back(done);
                                 if (done == cancelAt)
                                     dialog->findChild<QPushButton*>()->click();
                             });
        });
    };
    watch(2);
    ctl<QAbstractButton>("btnAutoAlloc")->click();
    EXPECT_EQ(planned, 5);
    EXPECT_EQ(counts, (std::vector<int>{1, 2}));
    ASSERT_EQ(m_dialogs.messages.size(), 2u) << "the question and one summary";
    EXPECT_EQ(m_dialogs.messages[1].text.split(QLatin1Char('\n')).first(),
              QStringLiteral("振り分けを中止しました。まだ振り分けていない送信ログ 3 件は"
                             "送信ログ保存フォルダにそのまま残っています。"));
    const zp::test::Tree half = zp::test::snapshot(logs);
    EXPECT_EQ(half.size(), before.size() + 1) << "the folder A, and each file once";
    for (const auto& [name, bytes] : before)
        EXPECT_EQ(half.count(name) ? half.at(name) : half.at("A/" + name), bytes) << name;

    m_dialogs.messages.clear();
    watch(-1);
    ctl<QAbstractButton>("btnAutoAlloc")->click();
    EXPECT_EQ(planned, 3);
    EXPECT_EQ(counts, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(m_dialogs.messages.size(), 1u) << "the question, and no box after it";
    for (const auto& [name, bytes] : before)
        EXPECT_EQ(zp::test::snapshot(logs).at("A/" + name), bytes) << name;
}

TEST_F(LogFolderTest, LogsOfTheSendLogWriterAreFiledWhereTheWriterWouldHavePutThem) {
    const fs::path logs = m_dir / "logs", byName = m_dir / "byname";
    fs::create_directory(byName);
    zp::test::writeSends(logs, false, m_dir);
    zp::test::writeSends(byName, true, m_dir);
    setMode(3);
    box()->setText(q(logs));
    m_tool->btnAutoAllocClick();
    EXPECT_EQ(m_dialogs.messages.size(), 1u) << "the question only";
    EXPECT_EQ(zp::test::filesOf(logs), zp::test::asSorted(zp::test::filesOf(byName)));
}

TEST_F(LogFolderTest, AMissingOrEmptyFolderIsReportedAndNothingIsAsked) {
    setMode(1);
    for (const QString& text : {q(m_dir / "missing"), QString()}) {
        m_dialogs.messages.clear();
        box()->setText(text);
        m_tool->btnAutoAllocClick();
        ASSERT_EQ(m_dialogs.messages.size(), 1u);
        EXPECT_EQ(m_dialogs.messages[0].text, kMissing);
    }
}

TEST_F(LogFolderTest, WhatStaysBehindIsSummedUpInOneBox) {
    const fs::path logs = m_dir / "logs";
    for (int i = 0; i < 8; ++i) {
        const std::string base = "c" + std::to_string(i);
        writeLog(logs, TestLog{base, LogKind::Text, {"A (a@x.jp)"}});
        zp::test::writeFile(logs / "A" / (base + ".txt"), "a different log");
    }
    writeLog(logs, TestLog{"r1", LogKind::Text, {".. (x@x.jp)", "B (b@x.jp)"}});
    writeLog(logs, TestLog{"f1", LogKind::Text, {"F (f@x.jp)"}});
    writeLog(logs, TestLog{"f2", LogKind::Text, {"F (f@x.jp)"}});
    zp::test::writeFile(logs / "F", "a file where the folder F would go");
    writeLog(logs, TestLog{"ok", LogKind::Text, {"B (b@x.jp)"}});
    setMode(1);
    box()->setText(q(logs));
    m_tool->btnAutoAllocClick();

    ASSERT_EQ(m_dialogs.messages.size(), 2u) << "the question and one summary";
    const auto& summary = m_dialogs.messages[1];
    EXPECT_EQ(summary.kind, MsgKind::Information);
    const QStringList lines = summary.text.split(QLatin1Char('\n'));
    EXPECT_EQ(
        lines[0],
        QStringLiteral("振り分けられなかった送信ログ 11 件を送信ログ保存フォルダに残しました。"));
    EXPECT_EQ(lines[1], QStringLiteral("（振り分け済み 1 件、同じ名前の別のファイル 8 件、"
                                       "振り分け先にできない受信者 3 件、失敗 0 件）"));
    EXPECT_TRUE(summary.text.contains(
        QStringLiteral("c0.txt → A/c0.txt：同じ名前の別のファイルがあります")));
    EXPECT_TRUE(summary.text.endsWith(QStringLiteral("ほか 6 件")));
    EXPECT_EQ(summary.text.count(QStringLiteral("ログ保存先フォルダ ") + q(logs / "F") +
                                 QStringLiteral("/ は作成できませんでした。")),
              1)
        << "two logs need the folder F; it is named once";
    EXPECT_TRUE(fs::exists(logs / "B" / "ok.txt"));
    EXPECT_TRUE(fs::exists(logs / "c0.txt"));
}

// The program asked to end from outside while a sort counts: the dialog and the window
// close (saving the settings), the run stops between two logs and the program's loop ends
// within five seconds, every log whole in exactly one place. A run that never stops would
// hold the window's thread; the watchdog then ends the test binary with a failure.
struct EndCase {
    const char* what;
    int signal;
};
void PrintTo(const EndCase& c, std::ostream* os) {
    *os << c.what;
}
class EndDuringASort : public LogFolderTest, public ::testing::WithParamInterface<EndCase> {};

TEST_P(EndDuringASort, EndsTheProgramWithTheSettingsSavedAndEveryLogWhole) {
    const fs::path logs = m_dir / "logs";
    for (int i = 0; i < 300; ++i)
        writeLog(logs, TestLog{"t" + std::to_string(i), LogKind::Text, {"A (a@x.jp)"}, true});
    const zp::test::Tree before = zp::test::snapshot(logs);
    setMode(2);
    box()->setText(q(logs));
    // Batches long enough for the signal to come while the run is inside one.
    m_tool->setBatchLogs(20);
    ASSERT_FALSE(QFile::exists(m_window->settingsFilePath()));
    zp::TerminationSignals ending;
    TfrmMain* window = m_window.get();
    QObject::connect(&ending, &zp::TerminationSignals::endRequested, window,
                     [window] { zp::endUnattended(*window); });
    using Clock = std::chrono::steady_clock;
    Clock::time_point signalled{};
    const auto signalOnTheFirstCount = [&, window] {
        auto* dialog = window->findChild<QProgressDialog*>();
        if (!dialog) {
            ADD_FAILURE() << "no progress dialog";
            window->close();
            return;
        }
        QObject::connect(dialog->findChild<QProgressBar*>(), &QProgressBar::valueChanged, dialog,
                         [&, window](int done) {
                             if (done != 20)
                                 return;
                             // While the count is shown the run waits for it; the signal
                             // is seen by the loop once the run is inside its next batch.
                             // (A timer here lost the race on a quiet machine, where the
                             // whole sort ends within it.)
                             signalled = Clock::now();
                             ::raise(GetParam().signal);
                         });
    };
    QTimer::singleShot(0, window, [&, window] {
        QTimer::singleShot(0, window, signalOnTheFirstCount);
        ctl<QAbstractButton>("btnAutoAlloc")->click();
    });
    std::mutex mutex;
    std::condition_variable done;
    bool ended = false;
    std::thread watchdog([&] {
        std::unique_lock lock(mutex);
        if (!done.wait_for(lock, std::chrono::seconds(30), [&] { return ended; })) {
            std::fprintf(stderr, "the program did not end during a sort\n");
            std::_Exit(1);
        }
    });
    window->show();
    QApplication::exec();
    const Clock::time_point end = Clock::now();
    {
        std::lock_guard lock(mutex);
        ended = true;
    }
    done.notify_all();
    watchdog.join();

    ASSERT_NE(signalled, Clock::time_point{}) << "the sort ended before the signal";
    EXPECT_LT(end - signalled, std::chrono::seconds(5));
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(QFile::exists(window->settingsFilePath())) << "settings not saved";
    const zp::test::Tree after = zp::test::snapshot(logs);
    int filed = 0;
    for (const auto& [name, bytes] : before) {
        const bool here = after.count(name) != 0, there = after.count("A/" + name) != 0;
        EXPECT_NE(here, there) << name << " must be in exactly one place";
        EXPECT_EQ(here ? after.at(name) : there ? after.at("A/" + name) : "", bytes) << name;
        filed += there;
    }
    EXPECT_EQ(after.size(), before.size() + 1) << "the folder A, and no temporary file";
    EXPECT_GT(filed, 0);
    EXPECT_LT(filed, static_cast<int>(before.size())) << "stopped before the end";
}

INSTANTIATE_TEST_SUITE_P(Signals, EndDuringASort,
                         ::testing::Values(EndCase{"SIGTERM", SIGTERM}, EndCase{"SIGINT", SIGINT}),
                         [](const auto& info) { return std::string(info.param.what); });

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new zp::test::QtEnvironment);
    return RUN_ALL_TESTS();
}
