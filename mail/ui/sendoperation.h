#pragma once
// The send operation: checks the settings, gathers the recipients, logs in to POP3 when
// asked, mails the picture or attachment over SMTP and reports the outcome.
//
// The POP3 and SMTP dialogues run on a thread of their own, so the window keeps painting
// and shows every status line as it comes; the window thread only reports the steps (one
// at a time, in order, each shown before the dialogue goes on) and ends the send.
#include "mail/senddialogue.h"
#include "mail/ui/mailports.h"
#include "mail/ui/sendlogstep.h"
#include "platform/windowhost.h"

#include <QMutex>
#include <QObject>
#include <QWaitCondition>

#include <chrono>
#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QThread;

namespace zp {

// The server settings, the send button's options and what a send reads and clears.
struct SendControls {
    QAbstractButton* btnSend;
    QLineEdit* edtSMTPHost;
    QLineEdit* edtSMTPUser;
    QLineEdit* edtSMTPAddr;
    QLineEdit* edtSMTPName;
    QLineEdit* edtReplyTo;
    QAbstractButton* chkPOPbSMTP;
    QLineEdit* edtPOP3Host;
    QLineEdit* edtPOP3Pwd;
    QLabel* lblVersion;
    QAbstractButton* chkSendCap;
    QLineEdit* edtSendSE;
    QAbstractButton* chkFileAutoClear;
    QAbstractButton* chkMailAddrAutoClear;
    QComboBox* cmbCharset; // 0 automatic, 1 ISO-2022-JP, 2 UTF-8
    SnapshotControls snapshot;
    SendLogControls log;
};

class SendOperation : public QObject {
    Q_OBJECT
public:
    SendOperation(WindowHost& host, const SendControls& controls, QObject* parent);
    ~SendOperation() override;

    // The limits of the network waits (connect, each reply, the reply to the end of DATA).
    void setTimeLimits(std::chrono::milliseconds connect, std::chrono::milliseconds reply,
                       std::chrono::milliseconds dataEnd);
    bool sending() const { return m_thread != nullptr; }
    // Asked at the start of a send whether a picture is being prepared (then the working
    // JPEG is the attachment).
    void setPicturePresent(std::function<bool()> present) { m_picturePresent = std::move(present); }
    // Asked at the start of a send whether the password box holds the password; when it does
    // not, the gate fetches it and runs the continuation (or reports why it cannot).
    using PasswordGate = std::function<bool(std::function<void()> ready)>;
    void setPasswordGate(PasswordGate gate) { m_passwordGate = std::move(gate); }
    // The [debug] NoHeaderEncode key: header texts go out as they are.
    void setNoHeaderEncode(bool on) { m_noHeaderEncode = on; }
    bool noHeaderEncode() const { return m_noHeaderEncode; }
    // The servers' ports and protection used by the next send.
    MailPorts& mailPorts() { return m_ports; }
    // The step 10 report: the trimmed error text with the Japanese lines its code calls for.
    static QString errorReport(const std::string& error);

public slots:
    void btnSendClick();
    void chkPOPbSMTPClick();
    // Closes the SMTP connection when one is open (the window calls it at close).
    void disconnectSmtp();
    // The window is closing: a running send is cancelled and ended as a failure (sockets
    // closed, log written) before this returns.
    void endSendForClose();

signals:
    // After the last step of a send that got past the checks.
    void sendFinished(bool sent);
    // A successful send with chkFileAutoClear checked: the attachment is detached.
    void detachRequested();
    // The send has ended: the recipients are counted again and the list shows the chosen
    // ones.
    void recipientsRecountRequested();
    void recipientsCollapseRequested();

private:
    // Steps reported by the dialogue thread wait here until the window has shown them.
    struct StepChannel {
        QMutex mutex;
        QWaitCondition shown;
        bool pending = false;
        bool cancelled = false;
    };

    bool checkSettings(const QString& recipients);
    // Cancels the dialogue and waits for its thread. A thread that has not ended in time
    // (a read of the attachment that does not return) is never deleted while it runs: it
    // keeps its own dialogue and result and deletes itself when it ends. The outcome is the
    // dialogue's, or a cancelled failure when it had to be left running.
    SendResult stopDialogue();
    void dialogueEnded();
    bool checkAddresses();
    SendJob makeJob(const QString& recipients) const;
    void startDialogue(SendJob job);
    void reportStep(SendStep step);
    void finishSend(const SendResult& result);

    WindowHost& m_host;
    const SendControls m_c;
    std::function<bool()> m_picturePresent;
    PasswordGate m_passwordGate;
    bool m_noHeaderEncode = false;
    MailPorts m_ports;
    // Shared with the dialogue thread, which may outlive this object (see stopDialogue).
    std::shared_ptr<SendDialogue> m_dialogue;
    std::shared_ptr<SendResult> m_result; // written by the dialogue thread before it ends
    QThread* m_thread = nullptr;
    std::shared_ptr<StepChannel> m_channel;
    SendSnapshot m_snapshot;
    std::chrono::milliseconds m_connectLimit{30000};
    std::chrono::milliseconds m_replyLimit{60000};
    std::chrono::milliseconds m_dataEndLimit{600000};
};

} // namespace zp
