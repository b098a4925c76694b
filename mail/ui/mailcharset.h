#pragma once
// The character set of a send. The boxes' texts go into the job twice: in Shift-JIS, from
// which the ISO-2022-JP mail is made as it always was, and as typed (UTF-8), from which the
// UTF-8 mail and the automatic choice are made. ISO-2022-JP chosen by hand for text that it
// cannot carry is sent only once the user has agreed to a replacement character.
#include "mail/senddialogue.h"

#include <QString>

class QWidget;

namespace zp {

// The choice of the character-set box: 0 automatic, 1 ISO-2022-JP, 2 UTF-8.
MailTextCharset mailTextCharsetFromIndex(int index);

// The texts as typed and the attachment's own file name (the last part of its path).
void setTypedTexts(SendJob& job, const QString& subject, const QString& senderName,
                   const QString& body, const QString& attachmentPath);

// With ISO-2022-JP chosen and a character in the subject, sender name or body that it
// cannot carry: asks whether to send every such character as "〓", naming the first one.
// Yes replaces them in both forms of the texts and returns true; No returns false and the
// job must not be sent. Any other job returns true unchanged.
bool confirmIso2022jp(QWidget* parent, SendJob& job);

} // namespace zp
