#pragma once
// The send-log folder controls of the page "送信設定" and the tool that sorts existing
// send logs into per-recipient folders.
#include "platform/windowhost.h"

#include <QKeyEvent>
#include <QObject>

namespace zp {

class LogFolder : public QObject {
    Q_OBJECT
public:
    LogFolder(WindowHost& host, QObject* parent);

public slots:
    void radLogSaveClick();
    void edtSaveDirEnter();
    void edtSaveDirExit();
    // Returns true when it took the key, so that the box does not see it.
    bool edtSaveDirKeyPress(QKeyEvent* event);
    void btnDirSelectClick();
    void btnFolderOpenClick();
    void btnAutoAllocClick();

private:
    WindowHost& m_host;
};

} // namespace zp
