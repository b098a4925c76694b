#include "logfolder.h"

#include "platform/controlevents.h"
#include "platform/radiogroup.h"

#include <QAbstractButton>
#include <QLineEdit>

namespace zp {

LogFolder::LogFolder(WindowHost& host, QObject* parent) : QObject(parent), m_host(host) {
    QWidget* w = host.window();
    connect(findControl<RadioGroup>(w, "radLogSave"), &RadioGroup::clicked, this,
            &LogFolder::radLogSaveClick);
    auto* dir = findControl<QLineEdit>(w, "edtSaveDir");
    onEnter(dir, this, [this] { edtSaveDirEnter(); });
    onExit(dir, this, [this] { edtSaveDirExit(); });
    onEvent(dir, QEvent::KeyPress, this,
            [this](QEvent* e) { return edtSaveDirKeyPress(static_cast<QKeyEvent*>(e)); });
    connect(findControl<QAbstractButton>(w, "btnDirSelect"), &QAbstractButton::clicked, this,
            &LogFolder::btnDirSelectClick);
    connect(findControl<QAbstractButton>(w, "btnFolderOpen"), &QAbstractButton::clicked, this,
            &LogFolder::btnFolderOpenClick);
    connect(findControl<QAbstractButton>(w, "btnAutoAlloc"), &QAbstractButton::clicked, this,
            &LogFolder::btnAutoAllocClick);
}

// The log folder controls arrive with the log sorting tool; until then they do nothing.
void LogFolder::radLogSaveClick() {}
void LogFolder::edtSaveDirEnter() {}
void LogFolder::edtSaveDirExit() {}
// Enter moves on like the other boxes (leaving the box runs the exit check); then the
// check runs once more and the text now in the box becomes the remembered one.
bool LogFolder::edtSaveDirKeyPress(QKeyEvent* event) {
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter)
        return false;
    m_host.runHandler("nextCtrlWhenEnter");
    edtSaveDirExit();
    edtSaveDirEnter();
    return true;
}
void LogFolder::btnDirSelectClick() {}
void LogFolder::btnFolderOpenClick() {}
void LogFolder::btnAutoAllocClick() {}

} // namespace zp
