#include "mail/senddialogue.h"

#include "mail/headerencode.h"
#include "mail/jis.h"
#include "mail/mailerror.h"
#include "mail/message.h"
#include "text/cp932.h"

#include <algorithm>
#include <cctype>
#include <memory>

namespace zp {

std::vector<std::string> bodyLines(std::string_view body) {
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (c == '\r' || c == '\n') {
            // CR LF, a lone CR and a lone LF all end a line.
            if (c == '\r' && i + 1 < body.size() && body[i + 1] == '\n')
                ++i;
            lines.emplace_back();
        } else {
            lines.back() += c;
        }
    }
    return lines;
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= 0x20)
        text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= 0x20)
        text.remove_suffix(1);
    return text;
}

bool isUnusableAddress(std::string_view address) {
    return std::any_of(address.begin(), address.end(), [](char ch) {
        const auto c = static_cast<unsigned char>(ch);
        return c < 0x20 || c == 0x7F || c == '<' || c == '>';
    });
}

std::string firstCharacterNotInIso2022jp(const SendJob& job) {
    for (const std::string* text : {&job.subjectUtf8, &job.senderNameUtf8, &job.bodyUtf8})
        if (std::string c = firstCharacterNotInIso2022jp(*text); !c.empty())
            return c;
    return {};
}

MailTextCharset effectiveCharset(const SendJob& job) {
    if (job.charset != MailTextCharset::Auto)
        return job.charset;
    return firstCharacterNotInIso2022jp(job).empty() ? MailTextCharset::Iso2022jp
                                                     : MailTextCharset::Utf8;
}

void fillMessage(MailMessage& message, const SendJob& job) {
    message.BccList.clear();
    message.CCList.clear();
    message.Priority = mpNormal;
    message.Recipients.setText(job.recipients);
    message.From.setText(job.senderAddress);
    message.Body.clear();
    if (effectiveCharset(job) == MailTextCharset::Utf8) {
        // The writer encodes the UTF-8 header texts itself, whole characters to a word.
        message.Subject = job.subjectUtf8;
        message.From.Name = job.senderNameUtf8;
        message.Body = bodyLines(job.bodyUtf8);
        message.CharSet = "UTF-8";
    } else {
        message.Subject = encodeHeaderText(sjisToJis(job.subject), job.noHeaderEncode);
        message.From.Name = encodeHeaderText(sjisToJis(job.senderName), job.noHeaderEncode);
        // Each line is converted on its own, so each ends in ASCII mode; a lone LF from the
        // edit box becomes a line end too and never reaches the server bare.
        for (const std::string& line : bodyLines(job.body))
            message.Body.push_back(sjisToJis(line));
        message.CharSet = "ISO-2022-JP";
    }
    message.ContentType = "text/plain";
    message.UseNowForDate = true;
    message.ReplyTo.setText(job.replyTo);
    message.ExtraHeaders.setValue("X-Mailer", job.xMailer);
    if (job.attachment == SendJob::Attachment::Picture) {
        Attachment& part = message.addAttachment(job.attachmentPath);
        part.setContentType("image/jpeg");
        part.Name = job.attachmentName;
    } else if (job.attachment == SendJob::Attachment::File) {
        Attachment& part = message.addAttachment(job.attachmentPath);
        part.Name = job.attachmentName;
        part.setContentTransfer("base64");
        part.setContentType("application/octet-stream");
    }
}

void SendDialogue::step(SendStep s) {
    if (onStep)
        onStep(s);
}

SendResult SendDialogue::run(const SendJob& job) {
    SendResult result;
    std::unique_ptr<MailMessage> message;
    try {
        if (job.popBeforeSmtp && !m_cancel)
            popBeforeSmtp(job);
        message = std::make_unique<MailMessage>();
        fillMessage(*message, job);
        smtpStep(job, *message, result);
    } catch (const std::exception& e) {
        // Anything outside the SMTP step still ends as a failed send.
        result.failed = true;
        result.error = e.what();
    } catch (...) {
        result.failed = true;
        result.error = "Unknown error.";
    }
    message.reset();
    m_smtp.Disconnect();
    try {
        m_pop3.Disconnect();
    } catch (...) {
    }
    result.cancelled = m_cancel;
    return result;
}

void SendDialogue::popBeforeSmtp(const SendJob& job) {
    if (m_pop3.Connected()) {
        step(SendStep::Pop3AlreadyConnected);
        return;
    }
    m_pop3.Host = job.pop3Host;
    m_pop3.Port = job.pop3Port;
    m_pop3.Security = job.pop3Security;
    m_pop3.CaFile = job.caFile;
    m_pop3.UserID = job.user;
    m_pop3.Password = job.password;
    m_pop3.ConnectTimeout = job.connectTimeout;
    m_pop3.ReplyTimeout = job.replyTimeout;
    m_pop3.Transcript = transcript;
    m_pop3.WaitHook = [this] {
        if (m_cancel)
            m_pop3.Cancel();
    };
    m_pop3.OnInvalidHost = [this](bool& handled) {
        handled = false;
        step(SendStep::Pop3InvalidHost);
    };
    m_pop3.OnAuthenticationFailed = [this](bool& handled) {
        handled = false;
        step(SendStep::Pop3AuthenticationFailed);
    };
    m_pop3.OnConnect = [this] { step(SendStep::Pop3Connected); };
    m_pop3.OnConnectionFailed = [this] { step(SendStep::Pop3ConnectionFailed); };
    m_pop3.OnDisconnect = [this] { step(SendStep::Pop3Disconnected); };
    // Failures reach the user through the events; the server decides at the SMTP step.
    try {
        m_pop3.Connect();
    } catch (const std::exception&) {
    }
    // A refused QUIT is dropped the same way: the socket is closed either way.
    try {
        if (m_pop3.Connected())
            m_pop3.Disconnect();
    } catch (const std::exception&) {
    }
}

void SendDialogue::smtpStep(const SendJob& job, MailMessage& message, SendResult& result) {
    try {
        // The typed host is kept for showing and saving; the lookup gets it trimmed.
        m_smtp.Host = std::string(trimBlanks(job.smtpHost));
        m_smtp.Port = job.smtpPort;
        m_smtp.Security = job.smtpSecurity;
        m_smtp.CaFile = job.caFile;
        m_smtp.UserId = job.user;
        m_smtp.ConnectTimeout = job.connectTimeout;
        m_smtp.ReplyTimeout = job.replyTimeout;
        m_smtp.DataEndTimeout = job.dataEndTimeout;
        m_smtp.Transcript = transcript;
        m_smtp.Cancel = &m_cancel;
        step(SendStep::SmtpConnecting);
        m_smtp.AuthenticationType = atNone;
        m_smtp.Connect();
        step(SendStep::SmtpSending);
        const auto& schemes = m_smtp.AnnouncedAuthSchemes();
        if (std::find(schemes.begin(), schemes.end(), "LOGIN") != schemes.end() ||
            std::find(schemes.begin(), schemes.end(), "PLAIN") != schemes.end()) {
            m_smtp.AuthenticationType = atLogin;
            m_smtp.Password = job.password;
            m_smtp.Authenticate();
        }
        m_smtp.Send(message);
        step(SendStep::SmtpSucceeded);
        result.sent = true;
        m_smtp.Disconnect();
    } catch (const std::exception& e) {
        result.failed = true;
        result.error = e.what();
    }
}

} // namespace zp
