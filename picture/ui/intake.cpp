#include "intake.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

namespace zp {

Intake::Intake(WindowHost& host, QObject* parent) : QObject(parent), m_host(host) {
    QWidget* w = host.window();
    for (const char* name : {"btnPaste", "btnPasteFromVelmaclip"})
        connect(findControl<QPushButton>(w, name), &QPushButton::clicked, this,
                &Intake::btnPasteClick);
    connect(findControl<QPushButton>(w, "btnClear"), &QPushButton::clicked, this,
            &Intake::btnClearClick);
    connect(findControl<QAction>(w, "popImgEdit_Paste"), &QAction::triggered, this,
            &Intake::btnPasteClick);
    connect(findControl<QAction>(w, "popImgEdit_Delete"), &QAction::triggered, this,
            &Intake::btnClearClick);
    // The whole window is the drop target: controls that take text drops of their own
    // (the edit boxes) hand dropped files to the intake as well.
    w->setAcceptDrops(true);
    w->installEventFilter(this);
    for (QWidget* child : w->findChildren<QWidget*>())
        if (child->acceptDrops())
            child->installEventFilter(this);
}

bool Intake::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
        auto* e = static_cast<QDropEvent*>(event);
        const QList<QUrl> urls = e->mimeData()->urls();
        if (!urls.isEmpty() && urls.first().isLocalFile()) {
            e->acceptProposedAction();
            return true;
        }
    } else if (event->type() == QEvent::Drop) {
        auto* e = static_cast<QDropEvent*>(event);
        const QList<QUrl> urls = e->mimeData()->urls();
        // Only the first file of a drop is taken in.
        if (!urls.isEmpty() && urls.first().isLocalFile()) {
            e->acceptProposedAction();
            if (QWidget* w = m_host.window()) {
                w->raise();
                w->activateWindow();
            }
            openPictureFile(urls.first().toLocalFile(), true);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

// Taking pictures in arrives with the picture preparation; until then these handlers
// leave the window as it is.
void Intake::btnPasteClick() {}
void Intake::btnClearClick() {}

void Intake::openPictureFile(const QString& path, bool allowAutoSend) {
    Q_UNUSED(path);
    Q_UNUSED(allowAutoSend);
}

} // namespace zp
