#pragma once
// The preview panes and the editing commands: panning and the wheel, the whole-picture
// preview, copy, flips and turns, and the output folder of made pictures.
#include "platform/windowhost.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QObject>
#include <QPoint>
#include <QString>

namespace zp {

class Preview : public QObject {
    Q_OBJECT
public:
    Preview(WindowHost& host, QObject* parent);

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

private:
    void wirePointer(QWidget* w);
    bool wheelStep(QPoint globalPos, int direction);
    void showEditMenu(bool onJpeg, QPoint globalPos);
    bool confirmTargetSize();
    QString outDirRefusal(const QString& folder) const;
    void refuseOutDir(const QString& message);

    WindowHost& m_host;
    bool m_panning = false;
    QPoint m_panGrab;
    bool m_wholeDragging = false;
    QPoint m_wholeGrab;
    QString m_lastValidOutDir;
    bool m_inEnterKey = false;
    bool m_messageShown = false;
};

} // namespace zp
