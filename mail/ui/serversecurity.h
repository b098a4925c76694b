#pragma once
// The ports and the protection of the mail servers: a button beside the SMTP server box
// opens a small dialog with the port and security of both servers and the CA file.
// Changing a security picks the usual port for it; OK keeps the choice for the send and
// for the settings file.
#include "mail/ui/mailports.h"
#include "platform/windowhost.h"

#include <QDialog>
#include <QObject>

class QAbstractButton;
class QComboBox;
class QLineEdit;
class QSpinBox;

namespace zp {

class ServerSecurityDialog : public QDialog {
    Q_OBJECT
public:
    ServerSecurityDialog(const MailPorts& ports, QWidget* parent);
    // The dialog's choice on top of `ports`; every value chosen is kept in the file.
    MailPorts result(MailPorts ports) const;

private:
    QComboBox* m_smtpSecurity;
    QSpinBox* m_smtpPort;
    QComboBox* m_pop3Security;
    QSpinBox* m_pop3Port;
    QLineEdit* m_caFile;
};

class ServerSecurity : public QObject {
    Q_OBJECT
public:
    // ports: the send operation's, changed when the dialog is accepted.
    ServerSecurity(WindowHost& host, QAbstractButton* btnServerSecurity, MailPorts& ports,
                   QObject* parent);

public slots:
    // Opens the dialog window-modally and returns at once; OK applies it.
    void btnServerSecurityClick();

private:
    WindowHost& m_host;
    MailPorts& m_ports;
};

} // namespace zp
