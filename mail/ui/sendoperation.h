#pragma once
// The send operation: checks the settings, gathers the recipients, logs in to POP3 when
// asked, mails the picture or attachment over SMTP and reports the outcome.
//
// The POP3 and SMTP dialogues run on a thread of their own, so the window keeps painting
// and shows every status line as it comes; the window thread only reports the steps (one
// at a time, in order, each shown before the dialogue goes on) and ends the send.
#include "mail/senddialogue.h"
#include "mail/ui/sendlogstep.h"
#include "platform/windowhost.h"

#include <QMutex>
#include <QObject>
#include <QWaitCondition>

#include <chrono>
#include <memory>

class QThread;

namespace zp {

class SendOperation : public QObject {
    Q_OBJECT
public:
    SendOperation(WindowHost& host, QObject* parent);
    ~SendOperation() override;

    // The limits of the network waits (connect, each reply, the reply to the end of DATA).
    void setTimeLimits(std::chrono::milliseconds connect, std::chrono::milliseconds reply,
                       std::chrono::milliseconds dataEnd);
    bool sending() const { return m_thread != nullptr; }
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
