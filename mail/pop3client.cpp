#include "mail/pop3client.h"

#include "mail/mailerror.h"

#include <cstdlib>
#include <exception>

namespace zp {

namespace {

std::string withoutLineEnd(std::string_view reply) {
    while (!reply.empty() && (reply.back() == '\n' || reply.back() == '\r')) {
        reply.remove_suffix(1);
    }
    return std::string(reply);
}

SockError sockErrorFor(const SocketError& error) {
    return SockError(std::to_string(error.code()) + ":" + socketErrorDescription(error.code()));
}

} // namespace

bool isPositivePop3Reply(std::string_view reply) {
    const std::string_view firstWord = reply.substr(0, reply.find(' '));
    return firstWord.find("+OK") != std::string_view::npos;
}

Pop3Client::Pop3Client() = default;

// The window that owns the handlers is going away: close without QUIT and events.
Pop3Client::~Pop3Client() {
    m_connection.close();
}

bool Pop3Client::Connected() const {
    return m_connection.isOpen();
}

void Pop3Client::log(char direction, std::string_view line) const {
    if (Transcript) {
        Transcript(direction, line);
    }
}

void Pop3Client::closeSocket() {
    if (m_connection.isOpen()) {
        m_connection.close();
        if (OnDisconnect) {
            OnDisconnect();
        }
    }
}

void Pop3Client::checkCredentials() {
    bool asked = false;
    while (UserID.empty() || Password.empty()) {
        bool handled = false;
        if (!OnAuthenticationNeeded || asked) {
            throw MailError("Authentication failed");
        }
        OnAuthenticationNeeded(handled);
        asked = true;
        if (!handled) {
            throw MailError("Authentication failed");
        }
    }
    for (std::string_view text :
         {std::string_view(Host), std::string_view(UserID), std::string_view(Password)}) {
        if (hasLineBreakOrNul(text)) {
            throw InvalidCommandText("The POP3 settings hold a line break or NUL character.");
        }
    }
}

std::vector<ResolvedAddress> Pop3Client::resolve() {
    bool retried = false;
    for (;;) {
        try {
            return resolveHost(Host, Port, ConnectTimeout, {WaitHook, &m_canceled});
        } catch (const AbortError&) {
            throw SockError("Host Lookup Canceled");
        } catch (const SocketError& error) {
            if (error.code() == 10060) {
                throw SockError("Host Lookup Timed Out");
            }
        }
        // The lookup failed: the handler may fix Host and ask for one more try.
        bool handled = false;
        if (!retried && OnInvalidHost) {
            OnInvalidHost(handled);
        }
        if (retried || !handled) {
            throw SockError("Null Remote Address");
        }
        retried = true;
    }
}

void Pop3Client::open(const std::vector<ResolvedAddress>& addresses) {
    const char* failure = nullptr;
    try {
        m_connection.connect(addresses, ConnectTimeout);
    } catch (const AbortError&) {
        failure = "Connection Canceled";
    } catch (const SocketError& error) {
        failure = error.code() == 10060 ? "Connection Timed out" : "Connection Failed";
    }
    if (failure) {
        if (OnConnectionFailed) {
            OnConnectionFailed();
        }
        throw SockError(failure);
    }
}

void Pop3Client::Connect() {
    checkCredentials();
    if (Connected()) {
        throw SockError("Already connected");
    }
    m_canceled = false;
    m_connection.setWaitControl({WaitHook, &m_canceled});
    open(resolve());
    bool loggedIn = false;
    try {
        protect(false);
        const std::string greeting = readReplyLine();
        if (!isPositivePop3Reply(greeting)) {
            throw ProtocolError(withoutLineEnd(greeting));
        }
        protect(true);
        logIn();
        loggedIn = true;
        readStatus();
    } catch (...) {
        const std::exception_ptr failure = std::current_exception();
        try {
            Disconnect();
        } catch (const MailError&) {
            // The first failure is the one worth reporting.
        }
        if (loggedIn && OnConnect) {
            OnConnect();
        }
        std::rethrow_exception(failure);
    }
    if (OnConnect) {
        OnConnect();
    }
}

// TLS from the first byte before the greeting, STLS after it.
void Pop3Client::protect(bool afterGreeting) {
    const bool now =
        afterGreeting ? Security == MailSecurity::StartTls : Security == MailSecurity::Tls;
    if (!now) {
        return;
    }
    if (afterGreeting) {
        const std::string reply = Transaction("STLS");
        if (!isPositivePop3Reply(reply)) {
            if (OnConnectionFailed) {
                OnConnectionFailed();
            }
            throw TlsError("The server refused STLS: " + withoutLineEnd(reply));
        }
    }
    try {
        m_connection.startTls(Host, CaFile, ReplyTimeout);
    } catch (const TlsError&) {
        if (OnConnectionFailed) {
            OnConnectionFailed();
        }
        throw;
    } catch (const AbortError&) {
        throw AbortError("Socket readln aborted");
    } catch (const SocketError& error) {
        if (error.code() == 10060) {
            throw AbortError("Socket readln aborted");
        }
        throw sockErrorFor(error);
    }
}

void Pop3Client::logIn() {
    bool retried = false;
    if (Security != MailSecurity::None && !m_connection.isSecure()) {
        throw TlsError("The connection is not protected; the password is not sent.");
    }
    for (;;) {
        bool accepted = isPositivePop3Reply(Transaction("USER " + UserID));
        if (accepted) {
            accepted = isPositivePop3Reply(exchange("PASS " + Password, "PASS ***"));
        }
        if (accepted) {
            return;
        }
        bool handled = false;
        if (!retried && OnAuthenticationFailed) {
            OnAuthenticationFailed(handled);
        }
        if (retried || !handled) {
            throw MailError("Authentication failed");
        }
        retried = true;
    }
}

void Pop3Client::readStatus() {
    const std::string reply = Transaction("STAT");
    if (!isPositivePop3Reply(reply)) {
        throw ProtocolError(withoutLineEnd(reply));
    }
    // "+OK 2 320": the second word is the number of messages.
    const std::string text = withoutLineEnd(reply);
    const std::size_t start = text.find(' ');
    m_messageCount = 0;
    if (start != std::string::npos) {
        char* end = nullptr;
        const long count = std::strtol(text.c_str() + start + 1, &end, 10);
        const bool whole = end != text.c_str() + start + 1 && (*end == '\0' || *end == ' ');
        m_messageCount = whole && count >= 0 && count <= 0x7FFFFFFF ? static_cast<int>(count) : 0;
    }
}

void Pop3Client::Disconnect() {
    if (!Connected()) {
        return;
    }
    std::string reply;
    bool answered = false;
    try {
        reply = Transaction("QUIT");
        answered = true;
    } catch (const MailError&) {
        // A goodbye that goes unanswered still ends in closing.
    }
    closeSocket();
    if (answered && !isPositivePop3Reply(reply)) {
        throw ProtocolError(withoutLineEnd(reply));
    }
}

std::string Pop3Client::Transaction(std::string_view line) {
    return exchange(line, line);
}

std::string Pop3Client::exchange(std::string_view line, std::string_view logged) {
    if (hasLineBreakOrNul(line)) {
        throw InvalidCommandText("The command holds a line break or NUL character.");
    }
    if (!Connected()) {
        throw SockError(std::to_string(10057) + ":" + socketErrorDescription(10057));
    }
    log('>', logged);
    std::string text(line);
    text += "\r\n";
    try {
        m_connection.write(text, ReplyTimeout);
        m_connection.flush(ReplyTimeout);
    } catch (const AbortError&) {
        throw AbortError("Socket send aborted");
    } catch (const SocketError& error) {
        if (error.code() == 10060) {
            throw AbortError("Socket send aborted");
        }
        throw sockErrorFor(error);
    }
    return readReplyLine();
}

std::string Pop3Client::readReplyLine() {
    std::string line;
    try {
        line = m_connection.readLine(ReplyTimeout, kMaxReplyLine);
    } catch (const AbortError&) {
        throw AbortError("Socket readln aborted");
    } catch (const SocketError& error) {
        if (error.code() == 10060) {
            throw AbortError("Socket readln aborted");
        }
        throw sockErrorFor(error);
    } catch (const ConnectionClosedGracefully&) {
        // The server hung up by itself: the socket is closed, as the window learns.
        m_connection.close();
        if (OnDisconnect) {
            OnDisconnect();
        }
        throw;
    }
    log('<', withoutLineEnd(line));
    m_lastReply = line + "\n";
    return m_lastReply;
}

} // namespace zp
