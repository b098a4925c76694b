#pragma once
// Taking a picture in: the clipboard paste (a picture, or a file a file manager copied), a
// file or picture data dropped on the window, a file named on the command line, and
// detaching the current picture or attachment.
#include "intakemime.h"
#include "platform/windowhost.h"

#include <QObject>
#include <QString>

#include <functional>

class QAbstractButton;
class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMimeData;
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
    // Drops on the window: the first local file is taken in, else picture data; a drop of a
    // web address alone is refused with a word on the status line.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Picture data from the clipboard or a drop, copied out of its MIME data.
    struct Offer {
        OfferedData data;
        QImage bitmap; // only when no encoded form is offered
    };
    static Offer takeOffer(const QMimeData* mime);
    bool pasteFile(const QMimeData* mime);
    // False when the offer holds no picture; a picture that cannot be read is refused with
    // a status line and changes nothing.
    bool takeOfferedPicture(const Offer& offer, bool velmaclip);
    void takeDroppedData(const Offer& offer);
    void reportWebAddress(const QString& address);
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
