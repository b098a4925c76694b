#include "sendlogstep.h"

#include "mail/sendlog.h"
#include "platform/radiogroup.h"
#include "platform/textcodec.h"

#include <QAbstractButton>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>

namespace zp {

QString withCrLf(const QString& text) {
    QString out;
    out.reserve(text.size() + text.size() / 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
                ++i;
            out += QLatin1String("\r\n");
        } else {
            out += c;
        }
    }
    return out;
}

SendSnapshot takeSendSnapshot(WindowHost& host, const SnapshotControls& c, bool picturePresent) {
    c.btnSend->setFocus(Qt::OtherFocusReason);
    SendSnapshot s;
    s.time = QDateTime::currentDateTime();
    // The recipients come from the check marks themselves: a focus change does not reach
    // an inactive window (an automatic send after a drop from another program).
    const QListWidget* list = c.chlAddr;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->checkState() == Qt::Checked)
            s.entries << list->item(i)->text();
    c.lstSelectedAddr->clear();
    c.lstSelectedAddr->addItems(s.entries);
    s.subject = c.edtTitle->text();
    s.body = withCrLf(c.memoBody->toPlainText());
    s.picturePresent = picturePresent;
    s.workingJpeg = host.workingJpegPath();
    s.hasAttachment = !c.pnlAttach->isHidden();
    if (s.hasAttachment)
        s.attachmentPath = c.memAttach->toPlainText();
    return s;
}

void writeLogForSend(WindowHost& host, const SendLogControls& c, const SendSnapshot& snapshot,
                     bool sent) {
    const int mode = c.radLogSave->itemIndex();
    if (mode < 1 || mode > 3)
        return;
    SendLogInput in;
    in.mode = static_cast<SendLogMode>(mode);
    in.folder = toSjis(c.edtSaveDir->text());
    in.nameFolders = c.chkMakeNameDir->isChecked();
    const QDate d = snapshot.time.date();
    const QTime t = snapshot.time.time();
    in.time = {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()};
    in.sent = sent;
    in.picturePresent = snapshot.picturePresent;
    in.picture = std::filesystem::path(snapshot.workingJpeg.toStdU16String());
    for (const QString& entry : snapshot.entries)
        in.recipients.push_back(toSjis(entry));
    in.subject = toSjis(snapshot.subject);
    in.hasAttachment = snapshot.hasAttachment;
    in.attachmentPath = toSjis(snapshot.attachmentPath);
    in.body = toSjis(snapshot.body);
    for (const SendLogNotice& notice : writeSendLog(in).notices) {
        const QString text = notice.kind == SendLogNotice::MissingFolder
                                 ? QStringLiteral("指定された送信ログ保存フォルダは存在しません。")
                                 : QStringLiteral("ログ保存先フォルダ ") + fromSjis(notice.folder) +
                                       QStringLiteral(" は作成できませんでした。");
        dialogs().message(host.window(), MsgKind::Information, text, MsgButtons::Ok);
    }
}

} // namespace zp
