#pragma once
// The send operation: checks the settings, gathers the recipients, logs in to POP3 when
// asked, mails the picture or attachment over SMTP and reports the outcome.
#include "platform/windowhost.h"

#include <QObject>

namespace zp {

class SendOperation : public QObject {
    Q_OBJECT
public:
    SendOperation(WindowHost& host, QObject* parent);

public slots:
    void btnSendClick();
    void chkPOPbSMTPClick();
    // Closes the SMTP connection when one is open (the window calls it at close).
    void disconnectSmtp();

private:
    [[maybe_unused]] WindowHost& m_host;
};

} // namespace zp
