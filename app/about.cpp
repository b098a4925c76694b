#include "about.h"

#include "platform/controlcolor.h"
#include "platform/controlevents.h"
#include "platform/dialogs.h"
#include "platform/shellopen.h"
#include "platform/textcodec.h"
#include "ui_zoripost1.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <initializer_list>

namespace zp {

namespace {
const QString kSentMessage = QStringLiteral("メールを送信しました");
}

AboutPage::AboutPage(WindowHost& host, Ui::TfrmMain& form, QObject* parent)
    : QObject(parent), m_host(host), m_form(form) {
    onClick(m_form.lblUrl, this, [this] { lblUrlClick(); });
    onClick(m_form.imgProgramIcon, this, [this] { imgProgramIconClick(); });
    connect(m_form.chkSendCap, &QAbstractButton::clicked, this, &AboutPage::chkSendCapClick);
    connect(m_form.btnSendSE, &QAbstractButton::clicked, this, &AboutPage::btnSendSEClick);
    QPlainTextEdit* body = m_form.memoBody;
    connect(body, &QPlainTextEdit::textChanged, this, &AboutPage::memoBodyChange);
    onEnter(body, this, [this] { edtTitleEnter(); });
    onEnter(m_form.edtTitle, this, [this] { edtTitleEnter(); });
}

int AboutPage::sjisLength(const QString& text) {
    QString crlf = text;
    crlf.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    crlf.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return static_cast<int>(toSjis(crlf).size());
}

void AboutPage::lblUrlClick() {
    shellOpen(m_form.lblUrl->text());
}

void AboutPage::imgProgramIconClick() {
    // Revealed until the program ends; the next start hides them again.
    m_form.chkSendCap->setVisible(true);
    m_form.pnlSendSE->setVisible(true);
}

void AboutPage::chkSendCapClick() {
    const bool fire = m_form.chkSendCap->isChecked();
    m_form.btnSend->setText(fire ? QStringLiteral("発射!(&S)") : QStringLiteral("送信(&S)"));
    for (QWidget* c :
         std::initializer_list<QWidget*>{m_form.lblSendSE, m_form.edtSendSE, m_form.btnSendSE})
        c->setEnabled(fire);
    setControlColor(m_form.edtSendSE, fire);
}

void AboutPage::btnSendSEClick() {
    QLineEdit* edit = m_form.edtSendSE;
    const QString chosen = dialogs().openFile(m_host.window(), edit->text(),
                                              QStringLiteral("WAV files (*.wav *.WAV)"));
    if (!chosen.isEmpty())
        edit->setText(chosen);
}

void AboutPage::memoBodyChange() {
    const int length = sjisLength(m_form.memoBody->toPlainText());
    m_form.lblText->setText(QStringLiteral("本文  (長さ：") + QString::number(length) +
                            QStringLiteral("バイト)"));
    // The box keeps its fixed name; the length is read out as its description.
    m_form.memoBody->setAccessibleDescription(QStringLiteral("長さ：%1バイト").arg(length));
}

void AboutPage::edtTitleEnter() {
    if (m_host.statusText() == kSentMessage)
        m_host.reportStatus(QString(), MsgKind::None);
}

} // namespace zp
