#pragma once
// Taking a picture in: the clipboard paste, a file dropped on the window or named on the
// command line, and detaching the current picture or attachment.
#include "platform/windowhost.h"

#include <QObject>
#include <QString>

namespace zp {

class PicturePage;

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
    void attachNonPicture(const QString& path);

protected:
    // Files dropped on the window: the first local file is taken in.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    PicturePage& page();
    void rereadVelmaclipSettings();
    bool loadPicture(const QString& path);
    void takeDroppedFile(const QString& path);
    void autoSend();

    WindowHost& m_host;
};

} // namespace zp
