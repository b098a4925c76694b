#pragma once
// Errors the mail library raises. Errors carry the server's or the system's own
// text; the ui/ layer turns them into the user's messages.
#include <stdexcept>
#include <string>

namespace zp {

class MailError : public std::runtime_error {
public:
    explicit MailError(const std::string& what) : std::runtime_error(what) {}
};

// A reply that cannot be read as a reply at all: a line beyond the length cap,
// a multi-line reply beyond the line cap.
class ProtocolError : public MailError {
public:
    using MailError::MailError;
};

// A server reply whose code differs from the one the dialogue expects. The
// message is the last reply line as read, so the server's wording reaches the user.
class ProtocolReplyError : public ProtocolError {
public:
    ProtocolReplyError(int replyCode, const std::string& lastLine)
        : ProtocolError(lastLine), m_replyCode(replyCode) {}
    int replyCode() const { return m_replyCode; }

private:
    int m_replyCode;
};

// A failure at the socket level, numbered with the Windows socket codes on every
// platform: "Socket Error # 10061" CR LF "Connection refused.".
class SocketError : public MailError {
public:
    explicit SocketError(int code);
    int code() const { return m_code; }

private:
    int m_code;
};

class ConnectionClosedGracefully : public MailError {
public:
    ConnectionClosedGracefully() : MailError("Connection Closed Gracefully.") {}
};

class AlreadyConnected : public MailError {
public:
    AlreadyConnected() : MailError("Already connected.") {}
};

class TimeZoneInfoError : public MailError {
public:
    TimeZoneInfoError() : MailError("Failed attempting to retrieve time zone information.") {}
};

// A CR, LF or NUL in text bound for a command line (address, user name, password,
// host). Raised before any byte of the command is written, so nothing can be
// smuggled into the dialogue.
class InvalidCommandText : public MailError {
public:
    explicit InvalidCommandText(const std::string& what_) : MailError(what_) {}
};

// POP3 side: the socket layer's errors ("Connection Failed", "Host Lookup Failed",
// "10061:Connection refused", ...) and a cancelled or timed-out read or write.
class SockError : public MailError {
public:
    using MailError::MailError;
};

class AbortError : public MailError {
public:
    using MailError::MailError;
};

} // namespace zp
