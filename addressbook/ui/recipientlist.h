#pragma once
// The recipient list with its check marks, its collapsed view of the chosen recipients,
// the address menu and the editing commands.
#include "platform/windowhost.h"

#include <QDropEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QObject>
#include <QStringList>

class QAction;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;

namespace zp {

// The recipient list, its collapsed view and the address menu.
struct RecipientControls {
    QLabel* lblChecked;
    QPushButton* btnAddrMenu;
    QListWidget* chlAddr;
    QWidget* pnlSelectedAddr;
    QListWidget* lstSelectedAddr;
    QLabel* Label3;
    QMenu* popAddr;
    QAction* popAddr_Add;
    QAction* popAddr_Edit;
    QAction* popAddr_Del;
    QAction* popAddr_SelectOrClear;
    QAction* popAddr_Import;
    QAction* popAddr_Export;
};

class TfrmInputAddr;

class RecipientList : public QObject {
    Q_OBJECT
public:
    RecipientList(WindowHost& host, const RecipientControls& controls, QObject* parent);

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
    // Adds the addresses of an address-book file (vCard or CSV) after the entries,
    // unchecked, and says what was added, skipped and refused.
    void btnAddrImportClick();
    // Writes the entries to a vCard file.
    void btnAddrExportClick();

private:
    void wireListEvents(QListWidget* list);
    // The entry the edit and delete commands act on: the current entry when it is
    // highlighted, else -1 (the list makes its first entry current, unhighlighted, when it
    // first gets the focus; that is no choice of the user's).
    int selectedIndex() const;
    QStringList entries() const;
    void setEditDeleteEnabled(bool enabled);
    // Clears the status bar when it still reports the last successful send.
    void clearSentStatus();
    void showCheckList();
    bool beginDragWhenMoved(QMouseEvent* event);
    void openMenuAt(const QPoint& viewportPos);

    WindowHost& m_host;
    const RecipientControls m_c;
    QListWidget* m_list;
    QListWidget* m_selected;
    QWidget* m_selectedPanel;
    QPushButton* m_menuButton;
    TfrmInputAddr* m_dialog;
    int m_dragSourceIndex = -1;
    QPoint m_pressPos;
    bool m_dragPending = false;
    bool m_rightPressed = false;
    QString m_addressBookFolder; // where the last address-book file was read or written
};

} // namespace zp
