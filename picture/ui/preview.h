#pragma once
// The preview panes and the editing commands: panning and the wheel, the whole-picture
// preview, copy, flips and turns, and the output folder of made pictures.
#include "platform/windowhost.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QObject>
#include <QPoint>
#include <QString>

class QAbstractButton;
class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QScrollArea;

namespace zp {

class FolderBox;
class PicturePage;
class UpDown;

// The picture area, the editing menus and the output folder controls.
struct PreviewControls {
    QScrollArea* sbImageScroll;
    QLabel* imgBG;
    QLabel* imgQVGA;
    QLabel* imgJPEGnized;
    QWidget* pnlWhole;
    QLabel* imgWhole;
    QWidget* pnlAttach; // the overview never covers a non-picture attachment
    QLineEdit* edtSizeW;
    UpDown* udSizeW;
    QLineEdit* edtSizeH;
    UpDown* udSizeH;
    QComboBox* cmbSize;
    QLabel* lblAutoSendCaution;
    QAbstractButton* chkOutMadeGrp;
    QLineEdit* edtOutDir;
    QAbstractButton* btnOutDirSelect;
    QAbstractButton* btnOutFolderOpen;
    QMenu* popImgEdit;
    QAction* popImgEdit_Copy;
    QAction* popImgEdit_Paste;
    QAction* popImgEdit_Delete;
    QAction* popImgEdit_UD;
    QAction* popImgEdit_LR;
    QAction* popImgEdit_Rot180;
    QMenu* popWholeSize;
    QAction* popWholeSize_n[3];
};

class Preview : public QObject {
    Q_OBJECT
public:
    Preview(WindowHost& host, const PreviewControls& controls, PicturePage& page, QObject* parent);

    int wholePreviewSize() const { return m_wholePreviewSize; } // 1..3
    void setWholePreviewSize(int size);

public slots:
    // The second half of applyTargetSize: the scroll box, its scroll bars and the panes for
    // the target size, and the whole-picture preview shown or hidden.
    void layoutPreview();
    void updateWholePreview();
    // Shared by the panes imgBG, imgQVGA and imgJPEGnized (pane is the one under the
    // pointer); positions are in pane coordinates. The mouse, wheel and key handlers
    // return true when they took the event, so that the control does not see it.
    bool imgJPEGnizedMouseDown(QWidget* pane, QMouseEvent* event);
    bool imgJPEGnizedMouseMove(QWidget* pane, QMouseEvent* event);
    bool imgJPEGnizedMouseUp(QWidget* pane, QMouseEvent* event);
    // A wheel step of the window toward the user (down) or away (up); the pointer is
    // given in screen coordinates. Returns whether the step counts as handled.
    bool FormMouseWheelDown(QPoint globalPos);
    bool FormMouseWheelUp(QPoint globalPos);
    void btnCopyClick();
    // Shared by popImgEdit_UD, popImgEdit_LR and popImgEdit_Rot180 (told apart by sender()).
    void btnRevClick();
    bool imgWholeMouseDown(QMouseEvent* event);
    bool imgWholeMouseMove(QMouseEvent* event);
    bool imgWholeMouseUp(QMouseEvent* event);
    // Shared by popWholeSize_1, popWholeSize_2 and popWholeSize_3.
    void popWholeSize_nClick();
    void lblAutoSendCautionClick();
    void chkOutMadeGrpClick();
    void edtOutDirEnter();
    void edtOutDirExit();
    bool edtOutDirKeyPress(QKeyEvent* event);
    void btnOutDirSelectClick();
    void btnOutFolderOpenClick();

signals:
    // Enter in the output folder box moves the focus on as in the other boxes.
    void moveFocusOn();

private:
    void wirePointer();
    bool wheelStep(QPoint globalPos, int direction);
    void showEditMenu(bool onJpeg, QPoint globalPos);
    bool confirmTargetSize();

    WindowHost& m_host;
    const PreviewControls m_c;
    PicturePage& m_page;
    int m_wholePreviewSize = 1;
    bool m_panning = false;
    QPoint m_panGrab;
    bool m_wholeDragging = false;
    QPoint m_wholeGrab;
    FolderBox* m_outDir;
};

} // namespace zp
