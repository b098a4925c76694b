#pragma once
// The recipient list with its check marks, its collapsed view of the chosen recipients,
// the address menu and the editing commands.
#include "platform/windowhost.h"

#include <QDropEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QObject>

class QListWidget;

namespace zp {

class RecipientList : public QObject {
    Q_OBJECT
public:
    RecipientList(WindowHost& host, QObject* parent);

public slots:
    void chlAddrClickCheck();
    void chlAddrExit();
    void lstSelectedAddrEnter();
    void btnAddrMenuClick();
    void popAddrPopup();
    // The mouse, drag and key events of chlAddr, positions in the coordinates of its
    // viewport (what itemAt() takes). Each returns true when it took the event, so that
    // the list does not see it. The drag over comes for entering and moving alike.
    bool chlAddrMouseDown(QMouseEvent* event);
    bool chlAddrDragOver(QDragMoveEvent* event);
    bool chlAddrDragDrop(QDropEvent* event);
    void chlAddrDblClick();
    bool chlAddrKeyDown(QKeyEvent* event);
    void btnAddrAddClick();
    void btnAddrEditClick();
    void btnAddrDelClick();
    void btnAddrChkClearClick();

private:
    void wireListEvents(QListWidget* list);

    [[maybe_unused]] WindowHost& m_host;
};

} // namespace zp
