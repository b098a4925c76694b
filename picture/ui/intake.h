#pragma once
// Taking a picture in: the clipboard paste, a file dropped on the window or named on the
// command line, and detaching the current picture or attachment.
#include "platform/windowhost.h"

#include <QObject>
#include <QString>

namespace zp {

class Intake : public QObject {
    Q_OBJECT
public:
    Intake(WindowHost& host, QObject* parent);

public slots:
    // Shared by btnPaste, btnPasteFromVelmaclip and popImgEdit_Paste (told apart by sender()).
    void btnPasteClick();
    // Shared by btnClear and popImgEdit_Delete.
    void btnClearClick();
    void openPictureFile(const QString& path, bool allowAutoSend);

protected:
    // Files dropped on the window: the first local file is taken in.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    [[maybe_unused]] WindowHost& m_host;
};

} // namespace zp
