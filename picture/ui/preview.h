#pragma once
// The preview panes and the editing commands: panning and the wheel, the whole-picture
// preview, copy, flips and turns, and the output folder of made pictures.
#include "app/platform/windowhost.h"

#include <QObject>

namespace zp {

class Preview : public QObject {
    Q_OBJECT
public:
    Preview(WindowHost& host, QObject* parent);

public slots:
    void updateWholePreview();
    void imgJPEGnizedMouseDown();
    void imgJPEGnizedMouseMove();
    void imgJPEGnizedMouseUp();
    void FormMouseWheelDown();
    void FormMouseWheelUp();
    void btnCopyClick();
    // Shared by popImgEdit_UD, popImgEdit_LR and popImgEdit_Rot180 (told apart by sender()).
    void btnRevClick();
    void imgWholeMouseDown();
    void imgWholeMouseMove();
    void imgWholeMouseUp();
    // Shared by popWholeSize_1, popWholeSize_2 and popWholeSize_3.
    void popWholeSize_nClick();
    void lblAutoSendCautionClick();
    void chkOutMadeGrpClick();
    void edtOutDirEnter();
    void edtOutDirExit();
    void edtOutDirKeyPress();
    void btnOutDirSelectClick();
    void btnOutFolderOpenClick();

private:
    [[maybe_unused]] WindowHost& m_host;
};

} // namespace zp
