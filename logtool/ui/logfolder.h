#pragma once
// The send-log folder controls of the page "送信設定" and the tool that sorts existing
// send logs into per-recipient folders.
#include "platform/windowhost.h"

#include <QKeyEvent>
#include <QObject>
#include <QString>

#include <cstddef>

class QAbstractButton;
class QLineEdit;

namespace zp {

class FolderBox;
class RadioGroup;

// The send log controls of the page "送信設定".
struct LogFolderControls {
    RadioGroup* radLogSave;
    QLineEdit* edtSaveDir;
    QAbstractButton* btnDirSelect;
    QAbstractButton* btnFolderOpen;
    QAbstractButton* chkMakeNameDir;
    QAbstractButton* btnAutoAlloc;
};

namespace logsort {
struct Plan;
struct Report;
} // namespace logsort

class LogFolder : public QObject {
    Q_OBJECT
public:
    LogFolder(WindowHost& host, const LogFolderControls& controls, QObject* parent);

    // The box's text remembered when the box was entered, put back when a typed folder
    // is refused.
    QString lastValidLogDir() const;
    // Logs made durable by one sync in a run of the sorting tool.
    void setBatchLogs(std::size_t logs) { m_batchLogs = logs; }

public slots:
    void radLogSaveClick();
    void edtSaveDirEnter();
    void edtSaveDirExit();
    // Returns true when it took the key, so that the box does not see it.
    bool edtSaveDirKeyPress(QKeyEvent* event);
    void btnDirSelectClick();
    void btnFolderOpenClick();
    void btnAutoAllocClick();

signals:
    // Enter in the folder box moves the focus on as in the other boxes.
    void moveFocusOn();

private:
    int logMode() const;
    logsort::Report runBesideTheWindow(const logsort::Plan& plan);
    void reportOutcome(const QString& folder, const logsort::Report& report);

    WindowHost& m_host;
    const LogFolderControls m_c;
    FolderBox* m_folder;
    std::size_t m_batchLogs = 256;
};

} // namespace zp
