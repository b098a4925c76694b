#include "recipientlist.h"

#include "platform/controlevents.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>

namespace zp {

RecipientList::RecipientList(WindowHost& host, QObject* parent) : QObject(parent), m_host(host) {
    QWidget* w = host.window();
    auto* list = findControl<QListWidget>(w, "chlAddr");
    auto* menuButton = findControl<QPushButton>(w, "btnAddrMenu");
    connect(menuButton, &QPushButton::clicked, this, &RecipientList::btnAddrMenuClick);
    onExit(menuButton, this, [this] { chlAddrExit(); });
    onExit(list, this, [this] { chlAddrExit(); });
    connect(list, &QListWidget::itemChanged, this, &RecipientList::chlAddrClickCheck);
    connect(list, &QListWidget::itemDoubleClicked, this, &RecipientList::chlAddrDblClick);
    wireListEvents(list);
    onEnter(findControl<QListWidget>(w, "lstSelectedAddr"), this,
            [this] { lstSelectedAddrEnter(); });
    onClick(findControl<QWidget>(w, "pnlSelectedAddr"), this, [this] { lstSelectedAddrEnter(); });
    onClick(findControl<QLabel>(w, "Label3"), this, [this] { lstSelectedAddrEnter(); });
    connect(findControl<QMenu>(w, "popAddr"), &QMenu::aboutToShow, this,
            &RecipientList::popAddrPopup);
    connect(findControl<QAction>(w, "popAddr_Add"), &QAction::triggered, this,
            &RecipientList::btnAddrAddClick);
    connect(findControl<QAction>(w, "popAddr_Edit"), &QAction::triggered, this,
            &RecipientList::btnAddrEditClick);
    connect(findControl<QAction>(w, "popAddr_Del"), &QAction::triggered, this,
            &RecipientList::btnAddrDelClick);
    connect(findControl<QAction>(w, "popAddr_SelectOrClear"), &QAction::triggered, this,
            &RecipientList::btnAddrChkClearClick);
}

// The list itself takes the keys; its viewport takes the mouse and the drags. The key hook
// is installed after the window's Enter hook and so runs before it: a key the handler
// leaves alone still moves the focus on when it is Enter.
void RecipientList::wireListEvents(QListWidget* list) {
    QWidget* view = list->viewport();
    onEvent(view, QEvent::MouseButtonPress, this,
            [this](QEvent* e) { return chlAddrMouseDown(static_cast<QMouseEvent*>(e)); });
    for (QEvent::Type type : {QEvent::DragEnter, QEvent::DragMove})
        onEvent(view, type, this,
                [this](QEvent* e) { return chlAddrDragOver(static_cast<QDragMoveEvent*>(e)); });
    onEvent(view, QEvent::Drop, this,
            [this](QEvent* e) { return chlAddrDragDrop(static_cast<QDropEvent*>(e)); });
    onEvent(list, QEvent::KeyPress, this,
            [this](QEvent* e) { return chlAddrKeyDown(static_cast<QKeyEvent*>(e)); });
}

// The address book arrives with its own subsystem; until then the list stays as it is and
// its events go on to it unchanged.
void RecipientList::chlAddrClickCheck() {}
void RecipientList::chlAddrExit() {}
void RecipientList::lstSelectedAddrEnter() {}
void RecipientList::btnAddrMenuClick() {}
void RecipientList::popAddrPopup() {}
bool RecipientList::chlAddrMouseDown(QMouseEvent*) {
    return false;
}
bool RecipientList::chlAddrDragOver(QDragMoveEvent*) {
    return false;
}
bool RecipientList::chlAddrDragDrop(QDropEvent*) {
    return false;
}
void RecipientList::chlAddrDblClick() {}
bool RecipientList::chlAddrKeyDown(QKeyEvent*) {
    return false;
}
void RecipientList::btnAddrAddClick() {}
void RecipientList::btnAddrEditClick() {}
void RecipientList::btnAddrDelClick() {}
void RecipientList::btnAddrChkClearClick() {}

} // namespace zp
