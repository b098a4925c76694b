#pragma once
// The network part of one send: POP before SMTP when asked, the message filled from the
// window's texts, the SMTP dialogue. It runs beside the window (on a thread of its own),
// reports each step through a callback and can be cancelled at any wait. Texts are
// Shift-JIS byte strings; the caller turns reports and errors into the user's messages.
#include "mail/pop3client.h"
#include "mail/smtpclient.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zp {

class MailMessage;

// The character set of the mail: ISO-2022-JP when every character of the subject, the sender
// name and the body is one that it carries (Auto), always ISO-2022-JP, or always UTF-8.
enum class MailTextCharset { Auto = 0, Iso2022jp = 1, Utf8 = 2 };

// Everything a send needs, copied from the window when the send starts.
struct SendJob {
    std::string smtpHost; // as typed; trimmed for the connection
    std::uint16_t smtpPort = 25;
    MailSecurity smtpSecurity = MailSecurity::None;
    std::string caFile; // certificates trusted besides the system's, for both servers
    std::string user;
    std::string senderAddress;
    std::string senderName;
    std::string replyTo;
    bool popBeforeSmtp = false;
    std::string pop3Host;
    std::uint16_t pop3Port = 110;
    MailSecurity pop3Security = MailSecurity::None;
    std::string password;   // POP3 log-in and AUTH LOGIN alike
    std::string recipients; // address parts joined by ", "
    std::string subject;
    std::string body; // any line ends
    // The ISO-2022-JP mail is made from the Shift-JIS texts above, so that it stays byte for
    // byte what it always was; the UTF-8 mail, and the automatic choice, take the same texts
    // as typed, in UTF-8, below.
    MailTextCharset charset = MailTextCharset::Iso2022jp;
    std::string subjectUtf8;
    std::string senderNameUtf8;
    std::string bodyUtf8;
    std::string xMailer;
    bool noHeaderEncode = false;
    enum class Attachment { None, Picture, File } attachment = Attachment::None;
    std::string attachmentPath; // the working JPEG or the file as shown
    std::string attachmentName; // UTF-8 name shown to the receiver; empty: the path's last part
    std::chrono::milliseconds connectTimeout{30000};
    std::chrono::milliseconds replyTimeout{60000};
    std::chrono::milliseconds dataEndTimeout{600000};
};

// The steps reported on the way, in the order they can happen.
enum class SendStep {
    Pop3AlreadyConnected,
    Pop3InvalidHost,
    Pop3AuthenticationFailed,
    Pop3Connected,
    Pop3ConnectionFailed,
    Pop3Disconnected,
    SmtpConnecting,
    SmtpSending,
    SmtpSucceeded,
};

struct SendResult {
    bool sent = false;
    bool failed = false;    // an error was caught; its text in error
    bool cancelled = false; // the send was cancelled from outside
    std::string error;
};

// Body text with every lone CR or LF made a CR LF, split into lines.
std::vector<std::string> bodyLines(std::string_view body);
// Trims bytes up to 0x20 from both ends (a full-width blank stays).
std::string_view trimBlanks(std::string_view text);
// An address that would break a command or header line: a control character, "<" or ">".
bool isUnusableAddress(std::string_view address);
// Auto resolved by the job's UTF-8 texts.
MailTextCharset effectiveCharset(const SendJob& job);
// The first character (grapheme cluster) of the UTF-8 subject, sender name or body that
// ISO-2022-JP cannot carry, empty when there is none: what to name when asking whether to
// send such text in ISO-2022-JP all the same.
std::string firstCharacterNotInIso2022jp(const SendJob& job);
// Fills a fresh message from the job's texts as the send fills it.
void fillMessage(MailMessage& message, const SendJob& job);

class SendDialogue {
public:
    // Called on the dialogue's thread; returns once the step has been shown.
    std::function<void(SendStep)> onStep;
    // Optional transcript of both dialogues.
    std::function<void(char direction, std::string_view line)> transcript;

    // Runs the send; never throws. The clients are disconnected when it returns.
    SendResult run(const SendJob& job);
    // Ends the wait in progress from any thread; the send fails as cancelled.
    void cancel() { m_cancel = true; }
    // Clears the cancel flag before the next send; the clients stay.
    void resetCancel() { m_cancel = false; }
    bool cancelled() const { return m_cancel; }
    // Closes the SMTP connection if one is open (not while run is running).
    void disconnect() { m_smtp.Disconnect(); }

private:
    void popBeforeSmtp(const SendJob& job);
    void smtpStep(const SendJob& job, MailMessage& message, SendResult& result);
    void step(SendStep s);

    SmtpClient m_smtp;
    Pop3Client m_pop3;
    std::atomic<bool> m_cancel{false};
};

} // namespace zp
