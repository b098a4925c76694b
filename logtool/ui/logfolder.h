#pragma once
// The send-log folder controls of the page "送信設定" and the tool that sorts existing
// send logs into per-recipient folders.
#include "app/platform/windowhost.h"

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
    void edtSaveDirKeyPress();
    void btnDirSelectClick();
    void btnFolderOpenClick();
    void btnAutoAllocClick();

private:
    [[maybe_unused]] WindowHost& m_host;
};

} // namespace zp
