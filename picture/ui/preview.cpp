#include "preview.h"

#include "platform/controlevents.h"

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QWheelEvent>

#include <utility>

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
    onEvent(outDir, QEvent::KeyPress, this,
            [this](QEvent* e) { return edtOutDirKeyPress(static_cast<QKeyEvent*>(e)); });
    connect(findControl<QAbstractButton>(w, "btnOutDirSelect"), &QAbstractButton::clicked, this,
            &Preview::btnOutDirSelectClick);
    connect(findControl<QAbstractButton>(w, "btnOutFolderOpen"), &QAbstractButton::clicked, this,
            &Preview::btnOutFolderOpenClick);
    wirePointer(w);
}

void Preview::wirePointer(QWidget* w) {
    using PaneHandler = bool (Preview::*)(QWidget*, QMouseEvent*);
    const std::pair<QEvent::Type, PaneHandler> paneEvents[] = {
        {QEvent::MouseButtonPress, &Preview::imgJPEGnizedMouseDown},
        {QEvent::MouseMove, &Preview::imgJPEGnizedMouseMove},
        {QEvent::MouseButtonRelease, &Preview::imgJPEGnizedMouseUp}};
    for (const char* name : {"imgBG", "imgQVGA", "imgJPEGnized"}) {
        auto* pane = findControl<QLabel>(w, name);
        for (auto [type, handler] : paneEvents)
            onEvent(pane, type, this, [this, pane, handler](QEvent* e) {
                return (this->*handler)(pane, static_cast<QMouseEvent*>(e));
            });
    }
    using WholeHandler = bool (Preview::*)(QMouseEvent*);
    const std::pair<QEvent::Type, WholeHandler> wholeEvents[] = {
        {QEvent::MouseButtonPress, &Preview::imgWholeMouseDown},
        {QEvent::MouseMove, &Preview::imgWholeMouseMove},
        {QEvent::MouseButtonRelease, &Preview::imgWholeMouseUp}};
    auto* whole = findControl<QLabel>(w, "imgWhole");
    for (auto [type, handler] : wholeEvents)
        onEvent(whole, type, this, [this, handler](QEvent* e) {
            return (this->*handler)(static_cast<QMouseEvent*>(e));
        });
    // The window's wheel, wherever the pointer is; a turn toward the user is "down".
    onWindowEvent(w, QEvent::Wheel, this, [this](QEvent* e) {
        const auto* wheel = static_cast<QWheelEvent*>(e);
        const int dy = wheel->angleDelta().y();
        const QPoint at = wheel->globalPosition().toPoint();
        if (dy < 0)
            return FormMouseWheelDown(at);
        if (dy > 0)
            return FormMouseWheelUp(at);
        return false;
    });
}

// The preview and editing arrive with the picture preparation; until then these handlers
// leave the window as it is, and the mouse and wheel go on to the controls as usual.
void Preview::updateWholePreview() {}
bool Preview::imgJPEGnizedMouseDown(QWidget*, QMouseEvent*) {
    return false;
}
bool Preview::imgJPEGnizedMouseMove(QWidget*, QMouseEvent*) {
    return false;
}
bool Preview::imgJPEGnizedMouseUp(QWidget*, QMouseEvent*) {
    return false;
}
bool Preview::FormMouseWheelDown(QPoint) {
    return false;
}
bool Preview::FormMouseWheelUp(QPoint) {
    return false;
}
void Preview::btnCopyClick() {}
void Preview::btnRevClick() {}
bool Preview::imgWholeMouseDown(QMouseEvent*) {
    return false;
}
bool Preview::imgWholeMouseMove(QMouseEvent*) {
    return false;
}
bool Preview::imgWholeMouseUp(QMouseEvent*) {
    return false;
}
void Preview::popWholeSize_nClick() {}
void Preview::lblAutoSendCautionClick() {}
void Preview::chkOutMadeGrpClick() {}
void Preview::edtOutDirEnter() {}
void Preview::edtOutDirExit() {}
// Enter moves on like the other boxes; the text now in the box is then checked and
// becomes the remembered one.
bool Preview::edtOutDirKeyPress(QKeyEvent* event) {
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter)
        return false;
    m_host.runHandler("nextCtrlWhenEnter");
    edtOutDirExit();
    edtOutDirEnter();
    return true;
}
void Preview::btnOutDirSelectClick() {}
void Preview::btnOutFolderOpenClick() {}

} // namespace zp
