#include "mail/ui/serversecurity.h"

#include "mail/tls.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

namespace zp {

namespace {

QComboBox* securityBox(const QString& upgrade, int value, const char* name, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    box->addItems({QStringLiteral("なし"), upgrade, QStringLiteral("SSL/TLS")});
    box->setCurrentIndex(value >= 0 && value <= 2 ? value : 0);
    return box;
}

QSpinBox* portBox(int value, const char* name, QWidget* parent) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setRange(1, 65535);
    box->setValue(value);
    return box;
}

// A row's caption, named so that a check of the captions finds it, and naming its box for a
// screen reader.
QLabel* label(const char* name, const QString& text, QWidget* box) {
    auto* l = new QLabel(text, box->parentWidget());
    l->setObjectName(QLatin1String(name));
    l->setBuddy(box);
    return l;
}

} // namespace

ServerSecurityDialog::ServerSecurityDialog(const MailPorts& ports, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("dlgServerSecurity"));
    setWindowTitle(QStringLiteral("接続方式"));
    // A dialog is a window of its own and takes no font from its parent unasked.
    if (parent)
        setFont(parent->font());
    m_smtpSecurity =
        securityBox(QStringLiteral("STARTTLS"), ports.smtpSecurity, "cmbSMTPSecurity", this);
    m_smtpPort = portBox(ports.smtp, "spnSMTPPort", this);
    m_pop3Security =
        securityBox(QStringLiteral("STLS"), ports.pop3Security, "cmbPOP3Security", this);
    m_pop3Port = portBox(ports.pop3, "spnPOP3Port", this);
    m_caFile = new QLineEdit(ports.caFile, this);
    m_caFile->setObjectName(QStringLiteral("edtCAFile"));
    m_caFile->setToolTip(
        QStringLiteral("社内サーバなどの証明書を発行した認証局の証明書ファイル(PEM)"
                       "を指定します。通常は空欄のままにします"));
    // A new security usually means the port that goes with it.
    connect(m_smtpSecurity, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_smtpPort->setValue(usualSmtpPort(mailSecurityFromInt(index))); });
    connect(m_pop3Security, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_pop3Port->setValue(usualPop3Port(mailSecurityFromInt(index))); });
    auto* form = new QFormLayout(this);
    form->addRow(label("lblSMTPSecurity", QStringLiteral("SMTP 暗号化"), m_smtpSecurity),
                 m_smtpSecurity);
    form->addRow(label("lblSMTPPort", QStringLiteral("SMTP ポート"), m_smtpPort), m_smtpPort);
    form->addRow(label("lblPOP3Security", QStringLiteral("POP3 暗号化"), m_pop3Security),
                 m_pop3Security);
    form->addRow(label("lblPOP3Port", QStringLiteral("POP3 ポート"), m_pop3Port), m_pop3Port);
    form->addRow(label("lblCAFile", QStringLiteral("CAファイル"), m_caFile), m_caFile);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("btnsServerSecurity"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

MailPorts ServerSecurityDialog::result(MailPorts ports) const {
    ports.smtp = m_smtpPort->value();
    ports.pop3 = m_pop3Port->value();
    ports.smtpSecurity = m_smtpSecurity->currentIndex();
    ports.pop3Security = m_pop3Security->currentIndex();
    ports.caFile = m_caFile->text().trimmed();
    ports.smtpInFile = ports.pop3InFile = true;
    ports.smtpSecurityInFile = ports.pop3SecurityInFile = true;
    return ports;
}

ServerSecurity::ServerSecurity(WindowHost& host, QAbstractButton* btnServerSecurity,
                               MailPorts& ports, QObject* parent)
    : QObject(parent), m_host(host), m_ports(ports) {
    connect(btnServerSecurity, &QAbstractButton::clicked, this,
            &ServerSecurity::btnServerSecurityClick);
}

void ServerSecurity::btnServerSecurityClick() {
    auto* dialog = new ServerSecurityDialog(m_ports, m_host.window());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this,
            [this, dialog] { m_ports = dialog->result(m_ports); });
    dialog->open();
}

} // namespace zp
