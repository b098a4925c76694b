#include "sendoperation.h"

#include <QAbstractButton>

namespace zp {

SendOperation::SendOperation(WindowHost& host, QObject* parent) : QObject(parent), m_host(host) {
    QWidget* w = host.window();
    connect(findControl<QAbstractButton>(w, "btnSend"), &QAbstractButton::clicked, this,
            &SendOperation::btnSendClick);
    connect(findControl<QAbstractButton>(w, "chkPOPbSMTP"), &QAbstractButton::clicked, this,
            &SendOperation::chkPOPbSMTPClick);
}

// Sending arrives with the mail subsystem; until then the button does nothing.
void SendOperation::btnSendClick() {}
void SendOperation::chkPOPbSMTPClick() {}
void SendOperation::disconnectSmtp() {}

} // namespace zp
