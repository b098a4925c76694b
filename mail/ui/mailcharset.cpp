#include "mailcharset.h"

#include "platform/dialogs.h"
#include "platform/textcodec.h"
#include "text/cp932.h"

#include <QFileInfo>
#include <QStringList>

namespace zp {

namespace {

// The geta mark, which Japanese print and mail have long put where a character could not
// be set; ISO-2022-JP carries it.
constexpr char kReplacement[] = "〓";

// "U+1F4F7", or the code points of a character made of several ("U+1F468 U+200D U+1F469").
QString codePoints(const QString& character) {
    QStringList codes;
    for (const char32_t c : character.toUcs4())
        codes
            << QStringLiteral("U+%1").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0')).toUpper();
    return codes.join(QLatin1Char(' '));
}

void replaceUncarried(std::string& utf8, std::string& sjis) {
    utf8 = replaceNotInIso2022jp(utf8, kReplacement);
    sjis = toSjis(QString::fromStdString(utf8));
}

} // namespace

MailTextCharset mailTextCharsetFromIndex(int index) {
    switch (index) {
    case 1:
        return MailTextCharset::Iso2022jp;
    case 2:
        return MailTextCharset::Utf8;
    default:
        return MailTextCharset::Auto;
    }
}

void setTypedTexts(SendJob& job, const QString& subject, const QString& senderName,
                   const QString& body, const QString& attachmentPath) {
    job.subjectUtf8 = subject.toStdString();
    job.senderNameUtf8 = senderName.toStdString();
    job.bodyUtf8 = body.toStdString();
    // The name the receiver sees is the file's own, whatever bytes the path has on disk.
    if (!attachmentPath.isEmpty())
        job.attachmentName = QFileInfo(attachmentPath).fileName().toStdString();
}

bool confirmIso2022jp(QWidget* parent, SendJob& job) {
    if (job.charset != MailTextCharset::Iso2022jp)
        return true;
    const QString first = QString::fromStdString(firstCharacterNotInIso2022jp(job));
    if (first.isEmpty())
        return true;
    const QString question =
        QStringLiteral("「%1」(%2) はISO-2022-JPで送れない文字です。\r\n"
                       "このような文字をすべて「〓」に置き換えて送信しますか？\r\n"
                       "（文字コードを「自動」か「UTF-8」にすると、入力したとおりに送れます）")
            .arg(first, codePoints(first));
    if (dialogs().message(parent, MsgKind::Confirmation, question, MsgButtons::YesNo) !=
        MsgAnswer::Yes)
        return false;
    replaceUncarried(job.subjectUtf8, job.subject);
    replaceUncarried(job.senderNameUtf8, job.senderName);
    replaceUncarried(job.bodyUtf8, job.body);
    return true;
}

} // namespace zp
