#pragma once
// The recipient list with its check marks, its collapsed view of the chosen recipients,
// the address menu and the editing commands.
#include "app/platform/windowhost.h"

#include <QObject>

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
    void chlAddrMouseDown();
    void chlAddrDragOver();
    void chlAddrDragDrop();
    void chlAddrDblClick();
    void chlAddrKeyDown();
    void btnAddrAddClick();
    void btnAddrEditClick();
    void btnAddrDelClick();
    void btnAddrChkClearClick();

private:
    [[maybe_unused]] WindowHost& m_host;
};

} // namespace zp
