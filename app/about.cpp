#include "about.h"

#include "platform/controlcolor.h"
#include "platform/controlevents.h"
#include "platform/dialogs.h"
#include "platform/shellopen.h"
#include "platform/textcodec.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace zp {

namespace {
const QString kSentMessage = QStringLiteral("メールを送信しました");
}

AboutPage::AboutPage(WindowHost& host, QObject* parent) : QObject(parent), m_host(host) {
    QWidget* w = host.window();
    onClick(findControl<QLabel>(w, "lblUrl"), this, [this] { lblUrlClick(); });
    onClick(findControl<QLabel>(w, "imgProgramIcon"), this, [this] { imgProgramIconClick(); });
    connect(findControl<QAbstractButton>(w, "chkSendCap"), &QAbstractButton::clicked, this,
            &AboutPage::chkSendCapClick);
    connect(findControl<QAbstractButton>(w, "btnSendSE"), &QAbstractButton::clicked, this,
            &AboutPage::btnSendSEClick);
    auto* body = findControl<QPlainTextEdit>(w, "memoBody");
    connect(body, &QPlainTextEdit::textChanged, this, &AboutPage::memoBodyChange);
    onEnter(body, this, [this] { edtTitleEnter(); });
    onEnter(findControl<QLineEdit>(w, "edtTitle"), this, [this] { edtTitleEnter(); });
}

int AboutPage::sjisLength(const QString& text) {
    QString crlf = text;
    crlf.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    crlf.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return static_cast<int>(toSjis(crlf).size());
}

void AboutPage::lblUrlClick() {
    shellOpen(findControl<QLabel>(m_host.window(), "lblUrl")->text());
}

void AboutPage::imgProgramIconClick() {
    // Revealed until the program ends; the next start hides them again.
    findControl<QWidget>(m_host.window(), "chkSendCap")->setVisible(true);
    findControl<QWidget>(m_host.window(), "pnlSendSE")->setVisible(true);
}

void AboutPage::chkSendCapClick() {
    QWidget* w = m_host.window();
    const bool fire = findControl<QAbstractButton>(w, "chkSendCap")->isChecked();
    findControl<QAbstractButton>(w, "btnSend")
        ->setText(fire ? QStringLiteral("発射!(&S)") : QStringLiteral("送信(&S)"));
    for (const char* name : {"lblSendSE", "edtSendSE", "btnSendSE"})
        findControl<QWidget>(w, name)->setEnabled(fire);
    setControlColor(findControl<QLineEdit>(w, "edtSendSE"), fire);
}

void AboutPage::btnSendSEClick() {
    auto* edit = findControl<QLineEdit>(m_host.window(), "edtSendSE");
    const QString chosen = dialogs().openFile(m_host.window(), edit->text(),
                                              QStringLiteral("WAV files (*.wav *.WAV)"));
    if (!chosen.isEmpty())
        edit->setText(chosen);
}

void AboutPage::memoBodyChange() {
    QWidget* w = m_host.window();
    auto* body = findControl<QPlainTextEdit>(w, "memoBody");
    const int length = sjisLength(body->toPlainText());
    findControl<QLabel>(w, "lblText")
        ->setText(QStringLiteral("本文  (長さ：") + QString::number(length) +
                  QStringLiteral("バイト)"));
    // The box keeps its fixed name; the length is read out as its description.
    body->setAccessibleDescription(QStringLiteral("長さ：%1バイト").arg(length));
}

void AboutPage::edtTitleEnter() {
    if (m_host.statusText() == kSentMessage)
        m_host.reportStatus(QString(), MsgKind::None);
}

} // namespace zp
