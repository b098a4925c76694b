#pragma once
// SMTP client (RFC 5321 dialogue, RFC 1869 EHLO extension list, AUTH LOGIN and PLAIN in
// the manner of RFC 4954) over one TCP connection, plain, protected by STARTTLS
// (RFC 3207) or by TLS from the start (RFC 8314). Every call blocks until it is
// done or fails; failures are raised as the errors of mail/mailerror.h.
#include "mail/socket.h"
#include "mail/tls.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zp {

class MailMessage;

enum AuthenticationType { atNone, atLogin };

class SmtpClient {
public:
    // A reply line longer than this, or a multi-line reply of more lines, ends the step
    // with a ProtocolError.
    static constexpr std::size_t kMaxReplyLine = 64 * 1024;
    static constexpr std::size_t kMaxReplyLines = 1000;

    SmtpClient();
    ~SmtpClient();
    SmtpClient(const SmtpClient&) = delete;
    SmtpClient& operator=(const SmtpClient&) = delete;

    std::string Host;
    std::uint16_t Port = 25;
    std::string UserId;
    std::string Password;
    zp::AuthenticationType AuthenticationType = atNone;
    // With StartTls or Tls, nothing but the greeting, EHLO and STARTTLS goes over the
    // connection before it is protected, and a server that cannot protect it ends the
    // step with TlsError. CaFile: certificates trusted besides the system's.
    MailSecurity Security = MailSecurity::None;
    std::string CaFile;
    // The machine's name for EHLO and HELO; empty: the host's fully qualified name, asked
    // of the system at every connect. A name that is not fully qualified is not offered:
    // the greeting then gives the address literal of this end of the connection.
    std::string LocalName;

    // Time limits: connecting (host lookup included), each reply, and the reply to the
    // final "." (RFC 5321 4.5.3.2.6). A wait beyond them raises SocketError 10060.
    std::chrono::milliseconds ConnectTimeout{30000};
    std::chrono::milliseconds ReplyTimeout{60000};
    std::chrono::milliseconds DataEndTimeout{600000};

    // When set, every wait runs in short slices and ends with AbortError once the flag is
    // set, so another thread can stop a send that waits on the server.
    const std::atomic<bool>* Cancel = nullptr;

    // Optional transcript of the dialogue: '>' for lines written, '<' for lines read.
    // AUTH credentials appear as "***"; the message text itself is not logged.
    std::function<void(char direction, std::string_view line)> Transcript;

    void Connect();
    // AUTH LOGIN when AuthenticationType is atLogin (true), nothing otherwise (false);
    // AUTH PLAIN instead when the server announced PLAIN and not LOGIN. Authenticated()
    // is set in both cases.
    bool Authenticate();
    // Transmits one message; the writer changes it, so a message is sent once.
    void Send(MailMessage& message);
    // Writes "Quit" without waiting for the reply and closes. A failing write is not an
    // error: the socket is closed either way.
    void Disconnect() noexcept;
    bool Connected() const;

    // Writes line + CR LF, then reads the reply; raises ProtocolReplyError when a code
    // was expected and another came. Refuses a line holding CR, LF or NUL unwritten.
    void SendCommand(std::string_view line, std::optional<int> expected = std::nullopt);
    // Reads one complete reply into ReplyLines() and ReplyCode().
    void ReadReply(std::optional<int> expected = std::nullopt);

    const std::vector<std::string>& AnnouncedAuthSchemes() const { return m_authSchemes; }
    bool Authenticated() const { return m_authenticated; }
    const std::vector<std::string>& ReplyLines() const { return m_replyLines; }
    int ReplyCode() const { return m_replyCode; }

private:
    void greetAndIntroduce(const std::string& candidateName);
    void introduce(const std::string& name);
    void startTls(const std::string& name);
    void readAuthAnnouncements();
    bool announced(std::string_view scheme) const;
    void writeMessageText(MailMessage& message);
    std::string readTrimmedLine(std::chrono::milliseconds limit);
    void writeCommand(std::string_view line, std::string_view logged);
    void readReplyWithin(std::optional<int> expected, std::chrono::milliseconds limit);
    void log(char direction, std::string_view line) const;

    TcpConnection m_connection;
    std::vector<std::string> m_authSchemes;
    bool m_authenticated = false;
    bool m_startTlsAnnounced = false;
    std::vector<std::string> m_replyLines;
    int m_replyCode = 0;
};

// The code of a reply's last line: 1 for "+OK", 0 for "-ERR", else the number of its
// first three characters, 0 when they are not a number.
int replyCodeOf(std::string_view lastLine);

// The schemes that the lines of an EHLO reply announce (the first line is the
// greeting and is never read), upper-case, without duplicates, in order.
std::vector<std::string> authSchemesOf(const std::vector<std::string>& ehloReply);

} // namespace zp
