#include "folderbox.h"

#include "platform/controlcolor.h"
#include "platform/dialogs.h"
#include "platform/folderdialog.h"
#include "platform/shellopen.h"

#include <QAbstractButton>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>

namespace zp {

FolderBox::FolderBox(const FolderBoxControls& controls, QString missingMessage,
                     std::function<bool()> switchedOn, QObject* parent)
    : QObject(parent), m_c(controls), m_missingMessage(std::move(missingMessage)),
      m_switchedOn(std::move(switchedOn)) {}

QString FolderBox::refusal(const QString& text) const {
    if (QString refusal = unstorableFolderMessage(text); !refusal.isEmpty())
        return refusal;
    // An empty text would otherwise stand for the current folder.
    if (text.trimmed().isEmpty() || !QFileInfo(text).isDir())
        return m_missingMessage;
    return {};
}

void FolderBox::setEnabled(bool on) {
    for (QWidget* c : {static_cast<QWidget*>(m_c.box), static_cast<QWidget*>(m_c.select),
                       static_cast<QWidget*>(m_c.open)})
        c->setEnabled(on);
    setControlColor(m_c.box, on);
}

void FolderBox::enter() {
    m_lastValid = m_c.box->text();
}

void FolderBox::exit() {
    if (!m_switchedOn())
        return;
    if (const QString why = refusal(m_c.box->text()); !why.isEmpty())
        refuse(why);
}

// The remembered text goes back first, so that whatever runs while the message is up
// finds the box as it will stay.
void FolderBox::refuse(const QString& message) {
    m_c.box->setText(m_lastValid);
    if (!(m_inEnterKey && m_messageShown))
        dialogs().message(m_c.box->window(), MsgKind::Information, message, MsgButtons::Ok);
    m_messageShown = true;
}

bool FolderBox::keyPress(QKeyEvent* event) {
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter)
        return false;
    m_inEnterKey = true;
    m_messageShown = false;
    emit moveFocusOn();
    exit();
    m_inEnterKey = false;
    enter();
    return true;
}

void FolderBox::selectClick() {
    QString folder = m_c.box->text();
    if (selectFolder(m_c.box->window(), folder))
        m_c.box->setText(folder);
}

void FolderBox::openClick() {
    const QString folder = m_c.box->text();
    // The desktop's file manager, never a command line; an absolute path is never taken
    // for a web address.
    if (const QString why = refusal(folder); !why.isEmpty())
        refuse(why);
    else
        shellOpen(QFileInfo(folder).absoluteFilePath());
}

} // namespace zp
