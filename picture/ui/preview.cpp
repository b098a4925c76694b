#include "preview.h"

#include "app/platform/controlevents.h"

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QLineEdit>

namespace zp {

Preview::Preview(WindowHost& host, QObject* parent) : QObject(parent), m_host(host) {
    QWidget* w = host.window();
    connect(findControl<QAction>(w, "popImgEdit_Copy"), &QAction::triggered, this,
            &Preview::btnCopyClick);
    for (const char* name : {"popImgEdit_UD", "popImgEdit_LR", "popImgEdit_Rot180"})
        connect(findControl<QAction>(w, name), &QAction::triggered, this, &Preview::btnRevClick);
    for (const char* name : {"popWholeSize_1", "popWholeSize_2", "popWholeSize_3"})
        connect(findControl<QAction>(w, name), &QAction::triggered, this,
                &Preview::popWholeSize_nClick);
    onClick(findControl<QLabel>(w, "lblAutoSendCaution"), this,
            [this] { lblAutoSendCautionClick(); });
    connect(findControl<QAbstractButton>(w, "chkOutMadeGrp"), &QAbstractButton::clicked, this,
            &Preview::chkOutMadeGrpClick);
    auto* outDir = findControl<QLineEdit>(w, "edtOutDir");
    onEnter(outDir, this, [this] { edtOutDirEnter(); });
    onExit(outDir, this, [this] { edtOutDirExit(); });
    connect(findControl<QAbstractButton>(w, "btnOutDirSelect"), &QAbstractButton::clicked, this,
            &Preview::btnOutDirSelectClick);
    connect(findControl<QAbstractButton>(w, "btnOutFolderOpen"), &QAbstractButton::clicked, this,
            &Preview::btnOutFolderOpenClick);
}

// The preview and editing arrive with the picture preparation; until then these handlers
// leave the window as it is. The mouse and wheel handlers are wired by that work.
void Preview::updateWholePreview() {}
void Preview::imgJPEGnizedMouseDown() {}
void Preview::imgJPEGnizedMouseMove() {}
void Preview::imgJPEGnizedMouseUp() {}
void Preview::FormMouseWheelDown() {}
void Preview::FormMouseWheelUp() {}
void Preview::btnCopyClick() {}
void Preview::btnRevClick() {}
void Preview::imgWholeMouseDown() {}
void Preview::imgWholeMouseMove() {}
void Preview::imgWholeMouseUp() {}
void Preview::popWholeSize_nClick() {}
void Preview::lblAutoSendCautionClick() {}
void Preview::chkOutMadeGrpClick() {}
void Preview::edtOutDirEnter() {}
void Preview::edtOutDirExit() {}
void Preview::edtOutDirKeyPress() {}
void Preview::btnOutDirSelectClick() {}
void Preview::btnOutFolderOpenClick() {}

} // namespace zp
