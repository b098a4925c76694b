#include "logfolder.h"

#include "logtool/logsort.h"
#include "platform/controlevents.h"
#include "platform/dialogs.h"
#include "platform/folderbox.h"
#include "platform/fspath.h"
#include "platform/radiogroup.h"
#include "platform/textcodec.h"

#include <QAbstractButton>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProgressDialog>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace zp {
namespace {

namespace fs = std::filesystem;

const QString kFolderMissing = QStringLiteral("指定された送信ログ保存フォルダは存在しません。");
// How many paths the summary of a run names before it counts the rest.
constexpr std::size_t kShownPaths = 5;

// One line of the summary for a step that left its log in the folder.
QString problemLine(const logsort::Step& s) {
    QString line = fromFsPath(s.source);
    if (!s.destination.empty())
        line += QStringLiteral(" → ") + fromFsPath(s.destination);
    switch (s.reason) {
    case logsort::Reason::DifferentFile:
        return line + QStringLiteral("：同じ名前の別のファイルがあります");
    case logsort::Reason::BadName:
        return line +
               QStringLiteral("：受信者名「%1」はフォルダ名に使えません").arg(fromSjis(s.name));
    case logsort::Reason::NotAFolder:
        return line + QStringLiteral("：「%1」はフォルダではありません").arg(fromSjis(s.name));
    case logsort::Reason::Unreadable:
        return line + QStringLiteral("：読み込めませんでした");
    case logsort::Reason::FolderNotCreated:
        return line + QStringLiteral("：フォルダを作成できませんでした");
    case logsort::Reason::NotDone:
        return line + QStringLiteral("：") + QString::fromStdString(s.error);
    case logsort::Reason::None:
    case logsort::Reason::AlreadyThere:
    case logsort::Reason::NoRecipients:
        break;
    }
    return line;
}

} // namespace

LogFolder::LogFolder(WindowHost& host, const LogFolderControls& controls, QObject* parent)
    : QObject(parent), m_host(host), m_c(controls),
      m_folder(new FolderBox(
          {m_c.edtSaveDir, m_c.btnDirSelect, m_c.btnFolderOpen}, kFolderMissing,
          [this] { return logMode() > 0; }, this)) {
    connect(m_folder, &FolderBox::moveFocusOn, this, &LogFolder::moveFocusOn);
    connect(m_c.radLogSave, &RadioGroup::clicked, this, &LogFolder::radLogSaveClick);
    QLineEdit* dir = m_c.edtSaveDir;
    onEnter(dir, this, [this] { edtSaveDirEnter(); });
    onExit(dir, this, [this] { edtSaveDirExit(); });
    onEvent(dir, QEvent::KeyPress, this,
            [this](QEvent* e) { return edtSaveDirKeyPress(static_cast<QKeyEvent*>(e)); });
    connect(m_c.btnDirSelect, &QAbstractButton::clicked, this, &LogFolder::btnDirSelectClick);
    connect(m_c.btnFolderOpen, &QAbstractButton::clicked, this, &LogFolder::btnFolderOpenClick);
    connect(m_c.btnAutoAlloc, &QAbstractButton::clicked, this, &LogFolder::btnAutoAllocClick);
}

QString LogFolder::lastValidLogDir() const {
    return m_folder->lastValid();
}

int LogFolder::logMode() const {
    return m_c.radLogSave->itemIndex();
}

void LogFolder::radLogSaveClick() {
    const bool on = logMode() > 0;
    m_folder->setEnabled(on);
    m_c.chkMakeNameDir->setEnabled(on);
    m_c.btnAutoAlloc->setEnabled(on);
}

void LogFolder::edtSaveDirEnter() {
    m_folder->enter();
}

void LogFolder::edtSaveDirExit() {
    m_folder->exit();
}

bool LogFolder::edtSaveDirKeyPress(QKeyEvent* event) {
    return m_folder->keyPress(event);
}

void LogFolder::btnDirSelectClick() {
    m_folder->selectClick();
}

void LogFolder::btnFolderOpenClick() {
    m_folder->openClick();
}

void LogFolder::btnAutoAllocClick() {
    QWidget* w = m_host.window();
    const QString text = m_c.edtSaveDir->text();
    if (const QString why = m_folder->refusal(text); !why.isEmpty()) {
        dialogs().message(w, MsgKind::Information, why);
        return;
    }
    QString folder = text;
    if (!folder.endsWith(QDir::separator()) && !folder.endsWith(QLatin1Char('/')))
        folder += QDir::separator();
    // Only a yes goes on: a question closed by its close box or by Esc is a no.
    const QString question =
        folder + QStringLiteral("にある送信ログファイルを受信者別のフォルダに振り分けますか？");
    if (dialogs().message(w, MsgKind::Confirmation, question, MsgButtons::YesNo) != MsgAnswer::Yes)
        return;
    logsort::Plan plan;
    std::string error;
    if (logsort::makePlan(toFsPath(text), plan, error) != logsort::PlanError::None) {
        dialogs().message(w, MsgKind::Information, kFolderMissing);
        return;
    }
    reportOutcome(folder, runBesideTheWindow(plan));
}

namespace {

// The counts of a run on its way to the dialog. The run waits until the dialog has shown a
// count, so that a Cancel given on a count stops it right there; the window releases every
// wait once it stops listening (its loop left because the program is ending), so the run
// never waits for a window that no longer runs.
class ShownCounts {
public:
    void shown(int done) {
        std::lock_guard lock(m_mutex);
        m_shown = done;
        m_changed.notify_all();
    }
    void release() {
        std::lock_guard lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }
    void waitUntilShown(int done) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_released || m_shown >= done; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_shown = -1;
    bool m_released = false;
};

} // namespace

// The plan runs on a thread of its own while the window keeps painting; a progress dialog
// counts the logs done of the logs planned. Its Cancel (or its close box) stops the run
// between two logs, every file whole as after an interrupted run. The program's end (the
// window closed from outside, the application quitting) leaves the loop below early: the run
// is cancelled and finishes the logs begun, which takes at most one batch.
logsort::Report LogFolder::runBesideTheWindow(const logsort::Plan& plan) {
    ShownCounts counts; // outlives the dialog, whose queued counts go with it
    QProgressDialog dialog(QStringLiteral("送信ログを受信者別のフォルダに振り分けています…"),
                           QStringLiteral("キャンセル"), 0, static_cast<int>(plan.logs.size()),
                           m_host.window());
    dialog.setWindowTitle(QStringLiteral("振り分け"));
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setMinimumDuration(0);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setValue(0);
    std::atomic<bool> cancel{false};
    connect(&dialog, &QProgressDialog::canceled, &dialog, [&cancel] { cancel = true; });
    logsort::RunControl control;
    control.cancel = &cancel;
    control.batchLogs = m_batchLogs;
    control.logsDone = [&dialog, &counts](int done, int) {
        QMetaObject::invokeMethod(
            &dialog,
            [&dialog, &counts, done] {
                dialog.setValue(done);
                counts.shown(done);
            },
            Qt::QueuedConnection);
        counts.waitUntilShown(done);
    };
    logsort::Report report;
    QEventLoop loop;
    const std::unique_ptr<QThread> thread(
        QThread::create([&] { report = logsort::carryOutPlan(plan, control); }));
    thread->setObjectName(QStringLiteral("logsort"));
    connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    thread->start();
    loop.exec();
    if (!thread->isFinished()) {
        cancel = true;
        counts.release();
    }
    thread->wait();
    return report;
}

// One box at the end, and only when something stayed behind; the status bar says the rest.
void LogFolder::reportOutcome(const QString& folder, const logsort::Report& report) {
    using logsort::StepKind;
    if (!report.cancelled && !report.leftSomething() && report.count(StepKind::Fail) == 0) {
        m_host.reportStatus(
            report.logsFiled > 0
                ? QStringLiteral("送信ログ %1 件を受信者別のフォルダに振り分けました。")
                      .arg(report.logsFiled)
                : QStringLiteral("振り分ける送信ログはありませんでした。"),
            MsgKind::None);
        return;
    }
    QStringList lines;
    if (report.cancelled)
        lines << QStringLiteral("振り分けを中止しました。まだ振り分けていない送信ログ %1 件は"
                                "送信ログ保存フォルダにそのまま残っています。")
                     .arg(report.logsNotReached);
    if (report.leftSomething() || !report.cancelled)
        lines << QStringLiteral(
                     "振り分けられなかった送信ログ %1 件を送信ログ保存フォルダに残しました。")
                     .arg(report.logsLeft);
    lines << QStringLiteral("（振り分け済み %1 件、同じ名前の別のファイル %2 件、"
                            "振り分け先にできない受信者 %3 件、失敗 %4 件）")
                 .arg(report.logsFiled)
                 .arg(report.count(StepKind::Conflict))
                 .arg(report.count(StepKind::Refuse))
                 .arg(report.count(StepKind::Fail));
    const auto& dirs = report.foldersNotCreated;
    for (std::size_t i = 0; i < dirs.size() && i < kShownPaths; ++i)
        lines << QStringLiteral("ログ保存先フォルダ ") + folder + fromFsPath(dirs[i]) +
                     QDir::separator() + QStringLiteral(" は作成できませんでした。");
    if (dirs.size() > kShownPaths)
        lines << QStringLiteral("ほか %1 フォルダ").arg(dirs.size() - kShownPaths);
    QStringList problems;
    for (const logsort::Step& s : report.steps)
        if (s.kind == StepKind::Conflict || s.kind == StepKind::Refuse || s.kind == StepKind::Fail)
            problems << problemLine(s);
    lines << QString();
    const auto shown = static_cast<qsizetype>(kShownPaths);
    lines << problems.mid(0, shown);
    if (problems.size() > shown)
        lines << QStringLiteral("ほか %1 件").arg(problems.size() - shown);
    dialogs().message(m_host.window(), MsgKind::Information, lines.join(QLatin1Char('\n')));
    m_host.reportStatus(lines.first(), MsgKind::None);
}

} // namespace zp
