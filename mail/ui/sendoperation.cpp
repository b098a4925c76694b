#include "sendoperation.h"

#include "addressbook/addrentry.h"
#include "mail/message.h"
#include "mail/tls.h"
#include "mail/ui/mailcharset.h"
#include "platform/controlcolor.h"
#include "platform/fspath.h"
#include "platform/soundplayer.h"
#include "platform/textcodec.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QThread>

#include <algorithm>
#include <utility>

namespace zp {

namespace {

// Bytes up to 0x20 go from both ends; a full-width blank stays.
QString trimmedText(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].unicode() <= 0x20)
        ++begin;
    while (end > begin && text[end - 1].unicode() <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}

// The password as the servers have always had it, in Shift-JIS; one that Shift-JIS cannot
// hold (the keyring keeps any character) goes as UTF-8, which servers take for AUTH and
// PASS, rather than with "?" in place of its characters.
std::string passwordBytes(const QString& password) {
    std::string bytes = toSjis(password);
    if (std::count(bytes.begin(), bytes.end(), '?') != password.count(QLatin1Char('?')))
        bytes = password.toStdString();
    return bytes;
}

void informTwoLines(QWidget* w, const char* first, const char* second) {
    dialogs().message(w, MsgKind::Information,
                      QString::fromUtf8(first) + QStringLiteral("\r\n") + QString::fromUtf8(second),
                      MsgButtons::Ok);
}

// Long enough for any wait of the dialogue to notice the cancel flag.
constexpr int kCancelWaitMs = 15000;

} // namespace

SendOperation::SendOperation(WindowHost& host, const SendControls& controls, QObject* parent)
    : QObject(parent), m_host(host), m_c(controls), m_dialogue(std::make_shared<SendDialogue>()) {
    connect(m_c.btnSend, &QAbstractButton::clicked, this, &SendOperation::btnSendClick);
    connect(m_c.chkPOPbSMTP, &QAbstractButton::clicked, this, &SendOperation::chkPOPbSMTPClick);
}

SendOperation::~SendOperation() {
    if (m_thread)
        stopDialogue();
}

void SendOperation::setTimeLimits(std::chrono::milliseconds connect,
                                  std::chrono::milliseconds reply,
                                  std::chrono::milliseconds dataEnd) {
    m_connectLimit = connect;
    m_replyLimit = reply;
    m_dataEndLimit = dataEnd;
}

void SendOperation::chkPOPbSMTPClick() {
    const bool on = m_c.chkPOPbSMTP->isChecked();
    for (QLineEdit* edit : {m_c.edtPOP3Host, m_c.edtPOP3Pwd}) {
        edit->setEnabled(on);
        setControlColor(edit, on);
    }
}

void SendOperation::disconnectSmtp() {
    if (!m_thread)
        m_dialogue->disconnect();
}

bool SendOperation::checkSettings(const QString& recipients) {
    QWidget* w = m_host.window();
    struct Check {
        bool missing;
        const char* first;
        const char* second;
    };
    const Check checks[] = {
        {trimmedText(m_c.edtSMTPHost->text()).isEmpty(), "メールサーバが指定されていません。",
         "設定画面にてメールサーバを指定してください。"},
        {trimmedText(m_c.edtSMTPUser->text()).isEmpty(), "ユーザ名が指定されていません。",
         "設定画面にてユーザ名を指定してください。"},
        {trimmedText(m_c.edtSMTPAddr->text()).isEmpty(),
         "利用者メールアドレスが指定されていません。",
         "設定画面にて利用者メールアドレスを指定してください。"},
        {trimmedText(recipients).isEmpty(), "送信先メールアドレスが指定されていません。",
         "送信先メールアドレスを指定してください。"},
    };
    for (const Check& c : checks) {
        if (c.missing) {
            informTwoLines(w, c.first, c.second);
            return false;
        }
    }
    return checkAddresses();
}

// An address holding a control character or an angle bracket would break the command
// and header lines it goes into; it is refused before any connection.
bool SendOperation::checkAddresses() {
    QWidget* w = m_host.window();
    MailAddressItem from;
    from.setText(toSjis(m_c.edtSMTPAddr->text()));
    if (isUnusableAddress(from.Address)) {
        informTwoLines(w, "利用者メールアドレスに使えない文字が含まれています。",
                       "設定画面にて利用者メールアドレスを正しく指定してください。");
        return false;
    }
    for (const QString& entry : m_snapshot.entries) {
        if (isUnusableAddress(parseAddrEntry(toSjis(entry)).address)) {
            informTwoLines(w, "送信先メールアドレスに使えない文字が含まれています。",
                           "送信先メールアドレスを正しく指定してください。");
            return false;
        }
    }
    MailAddressList replyTo;
    replyTo.setText(toSjis(m_c.edtReplyTo->text()));
    for (const MailAddressItem& item : replyTo) {
        if (isUnusableAddress(item.Address)) {
            informTwoLines(w, "Reply-Toヘッダのアドレスに使えない文字が含まれています。",
                           "設定画面にてReply-Toヘッダを正しく指定してください。");
            return false;
        }
    }
    return true;
}

SendJob SendOperation::makeJob(const QString& recipients) const {
    SendJob job;
    job.smtpHost = toSjis(m_c.edtSMTPHost->text());
    job.user = toSjis(m_c.edtSMTPUser->text());
    job.senderAddress = toSjis(m_c.edtSMTPAddr->text());
    job.senderName = toSjis(m_c.edtSMTPName->text());
    job.replyTo = toSjis(m_c.edtReplyTo->text());
    job.popBeforeSmtp = m_c.chkPOPbSMTP->isChecked();
    job.pop3Host = toSjis(m_c.edtPOP3Host->text());
    job.password = passwordBytes(m_c.edtPOP3Pwd->text());
    const MailPorts& ports = m_ports;
    job.smtpPort = static_cast<std::uint16_t>(ports.smtp);
    job.pop3Port = static_cast<std::uint16_t>(ports.pop3);
    job.smtpSecurity = mailSecurityFromInt(ports.smtpSecurity);
    job.pop3Security = mailSecurityFromInt(ports.pop3Security);
    job.caFile = toPathText(ports.caFile);
    job.recipients = toSjis(recipients);
    job.subject = toSjis(m_snapshot.subject);
    job.body = toSjis(m_snapshot.body);
    job.xMailer = "zoripost " + toSjis(m_c.lblVersion->text());
    job.noHeaderEncode = m_noHeaderEncode;
    QString attachment;
    if (m_snapshot.picturePresent) {
        job.attachment = SendJob::Attachment::Picture;
        attachment = m_snapshot.workingJpeg;
    } else if (m_snapshot.hasAttachment) {
        job.attachment = SendJob::Attachment::File;
        attachment = m_snapshot.attachmentPath;
    }
    job.attachmentPath = toPathText(attachment);
    job.charset = mailTextCharsetFromIndex(m_c.cmbCharset->currentIndex());
    setTypedTexts(job, m_snapshot.subject, m_c.edtSMTPName->text(), m_snapshot.body, attachment);
    job.connectTimeout = m_connectLimit;
    job.replyTimeout = m_replyLimit;
    job.dataEndTimeout = m_dataEndLimit;
    return job;
}

void SendOperation::btnSendClick() {
    // The panels are disabled during a send; an automatic send that slips through waits.
    if (m_thread || m_host.sendInProgress())
        return;
    // A password kept in the keyring is fetched first; the send starts once it is here.
    if (m_passwordGate && !m_passwordGate([this] { btnSendClick(); }))
        return;
    // 1. Focus, send time, recipients, texts and attachment, read once for the whole send.
    m_snapshot = takeSendSnapshot(m_host, m_c.snapshot, m_picturePresent && m_picturePresent());
    // 3. The address parts joined by ", "; empty ones before the first address leave no
    // trace.
    QString recipients;
    for (const QString& entry : m_snapshot.entries) {
        const QString address = fromSjis(parseAddrEntry(toSjis(entry)).address);
        recipients = recipients.isEmpty() ? address : recipients + QStringLiteral(", ") + address;
    }
    // 2. The settings, then the recipients.
    if (!checkSettings(recipients))
        return;
    // ISO-2022-JP chosen for text it cannot carry goes only with the user's consent.
    SendJob job = makeJob(recipients);
    if (!confirmIso2022jp(m_host.window(), job))
        return;
    // 4. - 6.
    m_host.reportStatus(QStringLiteral("送信先：") + recipients, MsgKind::None);
    if (m_c.chkSendCap->isChecked()) {
        const QString sound = m_c.edtSendSE->text();
        if (!sound.isEmpty() && QFile::exists(sound)) {
            if (const QString problem = soundPlayer().playWav(sound); !problem.isEmpty())
                m_host.reportStatus(problem, MsgKind::None);
        }
    }
    m_host.setSendInProgress(true);
    m_host.setControlsEnabled(false);
    startDialogue(std::move(job));
}

void SendOperation::startDialogue(SendJob job) {
    m_channel = std::make_shared<StepChannel>();
    const std::shared_ptr<StepChannel> channel = m_channel;
    m_dialogue->resetCancel();
    // Once the channel is cancelled this object is no longer touched from the thread.
    m_dialogue->onStep = [this, channel](SendStep step) {
        QMutexLocker lock(&channel->mutex);
        if (channel->cancelled)
            return;
        channel->pending = true;
        QMetaObject::invokeMethod(
            this,
            [this, channel, step] {
                if (!channel->cancelled)
                    reportStep(step);
                QMutexLocker done(&channel->mutex);
                channel->pending = false;
                channel->shown.wakeAll();
            },
            Qt::QueuedConnection);
        while (channel->pending && !channel->cancelled)
            channel->shown.wait(&channel->mutex);
    };
    m_result = std::make_shared<SendResult>();
    m_thread = QThread::create([dialogue = m_dialogue, result = m_result, job = std::move(job)] {
        *result = dialogue->run(job);
    });
    m_thread->setObjectName(QStringLiteral("send"));
    connect(m_thread, &QThread::finished, this, &SendOperation::dialogueEnded);
    m_thread->start();
}

void SendOperation::reportStep(SendStep step) {
    struct Report {
        const char16_t* text;
        MsgKind kind;
    };
    static const Report kReports[] = {
        {u"POP3サーバと接続されています", MsgKind::None},
        {u"POP3サーバが見つかりません", MsgKind::Error},
        {u"POP3のユーザIDとパスワードを正しく設定してください", MsgKind::Error},
        {u"POP3サーバに接続しました", MsgKind::None},
        {u"POP3サーバに接続できませんでした", MsgKind::Error},
        {u"POP3サーバから切断しました", MsgKind::None},
        {u"メールサーバと接続中です", MsgKind::None},
        {u"メール送信中…", MsgKind::None},
        {u"送信に成功しました", MsgKind::None},
    };
    const Report& r = kReports[static_cast<int>(step)];
    m_host.reportStatus(QString::fromUtf16(r.text), r.kind);
}

QString SendOperation::errorReport(const std::string& error) {
    QString text = trimmedText(fromSjis(error));
    struct Code {
        const char* start;
        const char16_t* line;
    };
    static const Code kCodes[] = {
        {"Socket Error # 11001", u"SMTPサーバが見つかりませんでした"},
        {"Socket Error # 11002", u"SMTPサーバが見つかりませんでした"},
        {"Socket Error # 10061", u"SMTPサーバとの接続に失敗しました"},
        {"Socket Error # 10064", u"SMTPサーバからの反応がありません"},
        {"Socket Error # 10039", u"送信先アドレスが不正です"},
        {"Socket Error # 10022", u"無効な引数エラー(ファイアウォールの設定を確認してください)"},
    };
    const QString head = text.left(20);
    QString report = text;
    for (const Code& c : kCodes)
        if (head == QLatin1String(c.start))
            report += QStringLiteral("\r\n") + QString::fromUtf16(c.line);
    if (isTlsModuleProblem(text.toStdString()))
        report += QStringLiteral("\r\n") +
                  QStringLiteral("暗号化通信(TLS)のモジュール %1 がないか、このプログラムと版が"
                                 "合いません。zoripostをインストールし直してください")
                      .arg(QString::fromStdString(tlsModuleName()));
    else if (text.startsWith(QLatin1String("TLS Error")))
        report += QStringLiteral("\r\n") +
                  QStringLiteral("暗号化通信(TLS)を開始できませんでした。サーバ設定の接続方式と"
                                 "ポート番号を確認してください");
    if (text.contains(QLatin1String("need fully-qualified address")))
        report += QStringLiteral("\r\n") +
                  QStringLiteral("サーバ設定にて正しい利用者メールを設定してください");
    return report;
}

SendResult SendOperation::stopDialogue() {
    m_dialogue->cancel();
    {
        QMutexLocker lock(&m_channel->mutex);
        m_channel->cancelled = true;
        m_channel->shown.wakeAll();
    }
    QThread* thread = std::exchange(m_thread, nullptr);
    if (thread->wait(QDeadlineTimer(kCancelWaitMs))) {
        delete thread;
        return *m_result;
    }
    qWarning("zoripost: the send did not stop in time; its thread ends on its own");
    thread->disconnect(this);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    m_dialogue = std::make_shared<SendDialogue>();
    SendResult result;
    result.failed = true;
    result.cancelled = true;
    return result;
}

void SendOperation::endSendForClose() {
    if (m_thread)
        finishSend(stopDialogue());
}

// The dialogue thread has ended by itself.
void SendOperation::dialogueEnded() {
    if (!m_thread || !m_thread->wait(QDeadlineTimer(kCancelWaitMs)))
        return;
    delete std::exchange(m_thread, nullptr);
    finishSend(*m_result);
}

// Steps 10 to 15, on the window thread once the dialogue has ended.
void SendOperation::finishSend(const SendResult& result) {
    // A send cancelled by closing the window ends without a box.
    if (result.failed && !result.cancelled)
        m_host.reportStatus(errorReport(result.error), MsgKind::Error);
    m_host.reportStatus(result.sent ? QStringLiteral("メールを送信しました")
                                    : QStringLiteral("メールを送信できませんでした"),
                        MsgKind::None);
    m_host.setControlsEnabled(true);
    writeLogForSend(m_host, m_c.log, m_snapshot, result.sent);
    m_host.setSendInProgress(false);
    if (result.sent && m_c.chkFileAutoClear->isChecked())
        emit detachRequested();
    if (result.sent && m_c.chkMailAddrAutoClear->isChecked()) {
        QListWidget* list = m_c.snapshot.chlAddr;
        for (int i = 0; i < list->count(); ++i)
            list->item(i)->setCheckState(Qt::Unchecked);
    }
    emit recipientsRecountRequested();
    emit recipientsCollapseRequested();
    emit sendFinished(result.sent);
}

} // namespace zp
