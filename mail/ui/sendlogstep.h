#pragma once
// What a send takes from the window when it starts, and the send log written from it when
// the send has ended, so the mail, the log and the clearing afterwards agree.
#include "platform/windowhost.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <string>

class QAbstractButton;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;

namespace zp {

class RadioGroup;

// What a send reads from the window when it starts.
struct SnapshotControls {
    QWidget* btnSend;
    QListWidget* chlAddr;
    QListWidget* lstSelectedAddr;
    QLineEdit* edtTitle;
    QPlainTextEdit* memoBody;
    QWidget* pnlAttach;
    QPlainTextEdit* memAttach;
};

// The send log settings of the page "送信設定".
struct SendLogControls {
    RadioGroup* radLogSave;
    QLineEdit* edtSaveDir;
    QAbstractButton* chkMakeNameDir;
};

struct SendSnapshot {
    QDateTime time;
    QStringList entries; // the checked entries of chlAddr, in list order
    QString subject;
    QString body; // line ends as CR LF
    bool picturePresent = false;
    QString workingJpeg;
    bool hasAttachment = false;
    QString attachmentPath;
};

// Moves the focus to the send button and reads the window: the checked entries (also
// written into lstSelectedAddr), the send time, the texts and the attachment; whether a
// picture is being prepared is told by the caller.
SendSnapshot takeSendSnapshot(WindowHost& host, const SnapshotControls& c, bool picturePresent);

// Lone CR and LF become CR LF.
QString withCrLf(const QString& text);

// Writes the log when a log mode is chosen; its boxes are shown here.
void writeLogForSend(WindowHost& host, const SendLogControls& c, const SendSnapshot& snapshot,
                     bool sent);

} // namespace zp
