#pragma once
// Taking a picture in: the clipboard paste, a file dropped on the window or named on the
// command line, and detaching the current picture or attachment.
#include "platform/windowhost.h"

#include <QObject>
#include <QString>

#include <functional>

namespace zp {

class PicturePage;

class Intake : public QObject {
    Q_OBJECT
public:
    Intake(WindowHost& host, PicturePage& page, QObject* parent);

    // The send started after a paste or a drop when automatic sending is on; what it
    // throws is reported as a failed automatic send.
    void setSend(std::function<void()> send) { m_send = std::move(send); }

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
    void rereadVelmaclipSettings();
    bool loadPicture(const QString& path);
    void takeDroppedFile(const QString& path);
    void autoSend();

    WindowHost& m_host;
    PicturePage& m_page;
    std::function<void()> m_send;
};

} // namespace zp
