#include "logfolder.h"

#include "app/platform/controlevents.h"
#include "app/platform/radiogroup.h"

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
void LogFolder::edtSaveDirKeyPress() {}
void LogFolder::btnDirSelectClick() {}
void LogFolder::btnFolderOpenClick() {}
void LogFolder::btnAutoAllocClick() {}

} // namespace zp
