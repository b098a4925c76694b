#include "recipientlist.h"

#include "addrbookfile.h"
#include "addressbook/addredit.h"
#include "inputaddr.h"
#include "platform/controlevents.h"
#include "platform/dialogs.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDrag>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSignalBlocker>

namespace zp {

RecipientList::RecipientList(WindowHost& host, const RecipientControls& controls, QObject* parent)
    : QObject(parent), m_host(host), m_c(controls), m_list(controls.chlAddr),
      m_selected(controls.lstSelectedAddr), m_selectedPanel(controls.pnlSelectedAddr),
      m_menuButton(controls.btnAddrMenu),
      // Created once, hidden, and reused for every add and edit.
      m_dialog(new TfrmInputAddr(host.window())) {
    // Entries change only through the address dialog, which cleans what is typed.
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this, &RecipientList::openMenuAt);
    m_selected->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(m_menuButton, &QPushButton::clicked, this, &RecipientList::btnAddrMenuClick);
    onExit(m_menuButton, this, [this] { chlAddrExit(); });
    onExit(m_list, this, [this] { chlAddrExit(); });
    connect(m_list, &QListWidget::itemChanged, this, &RecipientList::chlAddrClickCheck);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &RecipientList::chlAddrDblClick);
    wireListEvents(m_list);
    onEnter(m_selected, this, [this] { lstSelectedAddrEnter(); });
    onClick(m_selectedPanel, this, [this] { lstSelectedAddrEnter(); });
    onClick(m_c.Label3, this, [this] { lstSelectedAddrEnter(); });
    connect(m_c.popAddr, &QMenu::aboutToShow, this, &RecipientList::popAddrPopup);
    connect(m_c.popAddr_Add, &QAction::triggered, this, &RecipientList::btnAddrAddClick);
    connect(m_c.popAddr_Edit, &QAction::triggered, this, &RecipientList::btnAddrEditClick);
    connect(m_c.popAddr_Del, &QAction::triggered, this, &RecipientList::btnAddrDelClick);
    connect(m_c.popAddr_SelectOrClear, &QAction::triggered, this,
            &RecipientList::btnAddrChkClearClick);
    connect(m_c.popAddr_Import, &QAction::triggered, this, &RecipientList::btnAddrImportClick);
    connect(m_c.popAddr_Export, &QAction::triggered, this, &RecipientList::btnAddrExportClick);
}

// The list itself takes the keys; its viewport takes the mouse and the drags. The key hook
// is installed after the window's Enter hook and so runs before it: a key the handler
// leaves alone still moves the focus on when it is Enter.
void RecipientList::wireListEvents(QListWidget* list) {
    QWidget* view = list->viewport();
    list->setAcceptDrops(true);
    view->setAcceptDrops(true);
    onEvent(view, QEvent::MouseButtonPress, this,
            [this](QEvent* e) { return chlAddrMouseDown(static_cast<QMouseEvent*>(e)); });
    onEvent(view, QEvent::MouseMove, this,
            [this](QEvent* e) { return beginDragWhenMoved(static_cast<QMouseEvent*>(e)); });
    onEvent(view, QEvent::MouseButtonRelease, this, [this](QEvent*) {
        m_dragPending = false;
        return false;
    });
    for (QEvent::Type type : {QEvent::DragEnter, QEvent::DragMove})
        onEvent(view, type, this,
                [this](QEvent* e) { return chlAddrDragOver(static_cast<QDragMoveEvent*>(e)); });
    onEvent(view, QEvent::Drop, this,
            [this](QEvent* e) { return chlAddrDragDrop(static_cast<QDropEvent*>(e)); });
    onEvent(list, QEvent::KeyPress, this,
            [this](QEvent* e) { return chlAddrKeyDown(static_cast<QKeyEvent*>(e)); });
}

namespace {

constexpr char kEntryMime[] = "application/x-zoripost-addr-entry";
const QString kSentStatus = QStringLiteral("メールを送信しました");

QListWidgetItem* newEntryItem(const QString& text, Qt::CheckState check) {
    // Checkable, never editable in place: a new text goes through the address dialog.
    auto* item = new QListWidgetItem(text);
    item->setFlags((item->flags() | Qt::ItemIsUserCheckable) & ~Qt::ItemIsEditable);
    item->setCheckState(check);
    return item;
}

} // namespace

int RecipientList::selectedIndex() const {
    QListWidgetItem* item = m_list->currentItem();
    return item && item->isSelected() ? m_list->row(item) : -1;
}

void RecipientList::setEditDeleteEnabled(bool enabled) {
    m_c.popAddr_Edit->setEnabled(enabled);
    m_c.popAddr_Del->setEnabled(enabled);
}

void RecipientList::clearSentStatus() {
    if (m_host.statusText() == kSentStatus)
        m_host.reportStatus(QString(), MsgKind::None);
}

void RecipientList::showCheckList() {
    m_list->setVisible(true);
    m_selectedPanel->setVisible(false);
}

void RecipientList::chlAddrClickCheck() {
    int checked = 0;
    for (int i = 0; i < m_list->count(); ++i)
        if (m_list->item(i)->checkState() == Qt::Checked)
            ++checked;
    const QString caption = m_selectedPanel->isHidden()
                                ? QStringLiteral("メールアドレス一覧 (%1)")
                                : QStringLiteral("選択済みメールアドレス (%1)");
    m_c.lblChecked->setText(caption.arg(checked));
    // The count changes; a screen reader hears it after the list's fixed name.
    const QString count = QStringLiteral("%1 件にチェック").arg(checked);
    m_list->setAccessibleDescription(count);
    m_selected->setAccessibleDescription(count + QStringLiteral("。クリックして送信先を追加"));
}

// Runs when the focus has left the list or the menu button for another control of the
// window; a menu or a dialog taking the focus for a while is no such move.
void RecipientList::chlAddrExit() {
    m_selected->clear();
    for (int i = 0; i < m_list->count(); ++i)
        if (m_list->item(i)->checkState() == Qt::Checked)
            m_selected->addItem(m_list->item(i)->text());
    QWidget* focus = QApplication::focusWidget();
    if (focus == m_menuButton || focus == m_list)
        return;
    m_selectedPanel->setVisible(true);
    m_list->setVisible(false);
    chlAddrClickCheck();
}

void RecipientList::lstSelectedAddrEnter() {
    clearSentStatus();
    m_list->setVisible(true);
    m_list->setFocus(Qt::OtherFocusReason);
    m_selectedPanel->setVisible(false);
    chlAddrClickCheck();
}

void RecipientList::btnAddrMenuClick() {
    clearSentStatus();
    showCheckList();
    chlAddrClickCheck();
    setEditDeleteEnabled(true);
    m_c.popAddr->popup(m_menuButton->mapToGlobal(QPoint(0, m_menuButton->height())));
}

void RecipientList::popAddrPopup() {
    bool anyChecked = false;
    for (int i = 0; i < m_list->count() && !anyChecked; ++i)
        anyChecked = m_list->item(i)->checkState() == Qt::Checked;
    m_c.popAddr_SelectOrClear->setText(anyChecked ? QStringLiteral("全解除")
                                                  : QStringLiteral("全チェック"));
}

bool RecipientList::chlAddrMouseDown(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const int row = m_list->indexAt(pos).row(); // -1 below the last entry
    if (event->button() == Qt::LeftButton) {
        m_dragPending = row >= 0;
        if (row >= 0) {
            m_dragSourceIndex = row;
            m_pressPos = pos;
        }
    } else if (event->button() == Qt::RightButton) {
        m_rightPressed = true;
        setEditDeleteEnabled(row >= 0);
        if (row >= 0)
            m_list->setCurrentRow(row);
    }
    // The list still selects the entry and toggles a check box that was hit.
    return false;
}

// A press on an entry becomes a drag only once the pointer has moved by the platform's
// drag distance; until then the moves are kept from the list, which would otherwise move
// its selection along with the pointer.
bool RecipientList::beginDragWhenMoved(QMouseEvent* event) {
    if (!m_dragPending)
        return false;
    if (!(event->buttons() & Qt::LeftButton)) {
        m_dragPending = false;
        return false;
    }
    if ((event->position().toPoint() - m_pressPos).manhattanLength() <
        QApplication::startDragDistance())
        return true;
    m_dragPending = false;
    auto* drag = new QDrag(m_list);
    auto* data = new QMimeData;
    data->setData(QLatin1String(kEntryMime), QByteArray::number(m_dragSourceIndex));
    drag->setMimeData(data);
    drag->exec(Qt::MoveAction);
    return true;
}

bool RecipientList::chlAddrDragOver(QDragMoveEvent* event) {
    // Only the list's own entries are dragged here; anything else (a file) goes on to the
    // window.
    if (event->source() != m_list)
        return false;
    event->acceptProposedAction();
    return true;
}

bool RecipientList::chlAddrDragDrop(QDropEvent* event) {
    if (event->source() != m_list)
        return false;
    event->acceptProposedAction();
    const int target = m_list->indexAt(event->position().toPoint()).row();
    const auto steps = dropSteps(m_list->count(), m_dragSourceIndex, target);
    if (!steps)
        return true;
    const QListWidgetItem* source = m_list->item(m_dragSourceIndex);
    m_list->insertItem(steps->insertAt, newEntryItem(source->text(), source->checkState()));
    delete m_list->takeItem(steps->removeAt);
    return true;
}

void RecipientList::chlAddrDblClick() {
    m_dragPending = false;
}

bool RecipientList::chlAddrKeyDown(QKeyEvent* event) {
    if (event->key() != Qt::Key_Delete || event->modifiers() != Qt::NoModifier)
        return false;
    btnAddrDelClick();
    return true;
}

// A right click has set the items for the entry under the pointer; the menu key has not,
// and acts like the menu button.
void RecipientList::openMenuAt(const QPoint& viewportPos) {
    if (!m_rightPressed)
        setEditDeleteEnabled(true);
    m_rightPressed = false;
    m_c.popAddr->popup(m_list->viewport()->mapToGlobal(viewportPos));
}

void RecipientList::btnAddrAddClick() {
    const QString entry = m_dialog->editAddrEntry(QString());
    if (entry.isEmpty())
        return;
    m_list->addItem(newEntryItem(entry, Qt::Checked));
    chlAddrClickCheck();
}

void RecipientList::btnAddrEditClick() {
    const int row = selectedIndex();
    if (row < 0) {
        dialogs().message(
            m_host.window(), MsgKind::Information,
            QStringLiteral("送信先一覧にて変更するメールアドレスをクリックしてください。"));
        return;
    }
    QListWidgetItem* item = m_list->item(row);
    const QString entry = m_dialog->editAddrEntry(item->text());
    if (entry != item->text())
        item->setText(entry);
}

void RecipientList::btnAddrDelClick() {
    const int row = selectedIndex();
    if (row < 0) {
        dialogs().message(
            m_host.window(), MsgKind::Information,
            QStringLiteral("送信先一覧にて削除するメールアドレスをクリックしてください。"));
        return;
    }
    const MsgAnswer answer =
        dialogs().message(m_host.window(), MsgKind::Confirmation,
                          m_list->item(row)->text() + QStringLiteral("を削除してよろしいですか？"),
                          MsgButtons::YesNo);
    if (answer != MsgAnswer::Yes)
        return;
    delete m_list->takeItem(row);
    chlAddrClickCheck();
}

void RecipientList::btnAddrChkClearClick() {
    bool anyChecked = false;
    for (int i = 0; i < m_list->count() && !anyChecked; ++i)
        anyChecked = m_list->item(i)->checkState() == Qt::Checked;
    {
        // One recount at the end instead of one per entry.
        const QSignalBlocker quiet(m_list);
        for (int i = 0; i < m_list->count(); ++i)
            m_list->item(i)->setCheckState(anyChecked ? Qt::Unchecked : Qt::Checked);
    }
    chlAddrClickCheck();
}

QStringList RecipientList::entries() const {
    QStringList out;
    for (int i = 0; i < m_list->count(); ++i)
        out << m_list->item(i)->text();
    return out;
}

void RecipientList::btnAddrImportClick() {
    const QString start = m_addressBookFolder.isEmpty() ? QDir::homePath() : m_addressBookFolder;
    const QString path = dialogs().openFile(m_host.window(), start, addressBookOpenFilter());
    if (path.isEmpty())
        return;
    m_addressBookFolder = QFileInfo(path).absolutePath();
    const AddrImportReport report = readAddressBookFile(path, entries());
    for (const QString& entry : report.entries)
        m_list->addItem(newEntryItem(entry, Qt::Unchecked));
    chlAddrClickCheck();
    dialogs().message(m_host.window(), report.failed ? MsgKind::Error : MsgKind::Information,
                      report.message);
}

void RecipientList::btnAddrExportClick() {
    if (m_list->count() == 0) {
        dialogs().message(m_host.window(), MsgKind::Information,
                          QStringLiteral("送信先一覧にメールアドレスがありません。"));
        return;
    }
    const QString folder = m_addressBookFolder.isEmpty() ? QDir::homePath() : m_addressBookFolder;
    QString path =
        dialogs().saveFile(m_host.window(), QDir(folder).filePath(QStringLiteral("アドレス帳.vcf")),
                           addressBookSaveFilter());
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".vcf");
    m_addressBookFolder = QFileInfo(path).absolutePath();
    const QString error = writeAddressBookFile(path, entries());
    if (!error.isEmpty()) {
        dialogs().message(m_host.window(), MsgKind::Error,
                          QStringLiteral("アドレス帳を書き出せませんでした。\n%1").arg(error));
        return;
    }
    m_host.reportStatus(
        QStringLiteral("%1 件のメールアドレスをアドレス帳に書き出しました").arg(m_list->count()),
        MsgKind::None);
}

} // namespace zp
