#include "recipientlist.h"

#include "app/platform/controlevents.h"

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

// The address book arrives with its own subsystem; until then the list stays as it is.
// The mouse, drag and key handlers are wired by that work.
void RecipientList::chlAddrClickCheck() {}
void RecipientList::chlAddrExit() {}
void RecipientList::lstSelectedAddrEnter() {}
void RecipientList::btnAddrMenuClick() {}
void RecipientList::popAddrPopup() {}
void RecipientList::chlAddrMouseDown() {}
void RecipientList::chlAddrDragOver() {}
void RecipientList::chlAddrDragDrop() {}
void RecipientList::chlAddrDblClick() {}
void RecipientList::chlAddrKeyDown() {}
void RecipientList::btnAddrAddClick() {}
void RecipientList::btnAddrEditClick() {}
void RecipientList::btnAddrDelClick() {}
void RecipientList::btnAddrChkClearClick() {}

} // namespace zp
