#pragma once
// Taking a picture in: the clipboard paste, a file dropped on the window or named on the
// command line, and detaching the current picture or attachment.
#include "platform/windowhost.h"

#include <QObject>
#include <QString>

#include <functional>

class QAbstractButton;
class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace zp {

class PicturePage;
class UpDown;

// The paste and detach commands, and what taking a picture in shows or hides.
struct IntakeControls {
    QAbstractButton* btnPaste;
    QAbstractButton* btnPasteFromVelmaclip;
    QAbstractButton* btnClear;
    QAction* popImgEdit_Paste;
    QAction* popImgEdit_Delete;
    QAbstractButton* chkAutoSend;
    QLineEdit* edtQuality;
    UpDown* udQuality;
    QComboBox* cmbSize;
    QLineEdit* edtSizeW;
    UpDown* udSizeW;
    QLineEdit* edtSizeH;
    UpDown* udSizeH;
    QWidget* pnlAttach;
    QPlainTextEdit* memAttach;
    QWidget* pnlWhole;
    QLabel* imgBG;
    QLabel* imgQVGA;
    QLabel* imgJPEGnized;
    QLabel* imgWhole;
};

class Intake : public QObject {
    Q_OBJECT
public:
    Intake(WindowHost& host, const IntakeControls& controls, PicturePage& page, QObject* parent);

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
    const IntakeControls m_c;
    PicturePage& m_page;
    std::function<void()> m_send;
};

} // namespace zp
