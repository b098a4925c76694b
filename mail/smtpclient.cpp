#include "mail/smtpclient.h"

#include "mail/base64.h"
#include "mail/hostname.h"
#include "mail/mailerror.h"
#include "mail/message.h"
#include "mail/messagewriter.h"

#include <algorithm>
#include <cctype>

namespace zp {

namespace {

using Clock = std::chrono::steady_clock;

// A goodbye to a server that has stopped reading must not hold the window for long.
constexpr std::chrono::milliseconds kQuitLimit{5000};

bool isBlank(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::toupper(static_cast<unsigned char>(a)) ==
                      std::toupper(static_cast<unsigned char>(b));
           });
}

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

void refuseLineBreaks(std::string_view text, const char* what) {
    if (hasLineBreakOrNul(text)) {
        throw InvalidCommandText(std::string(what) + " holds a line break or NUL character.");
    }
}

} // namespace

int replyCodeOf(std::string_view lastLine) {
    if (startsWithNoCase(lastLine, "+OK")) {
        return 1;
    }
    if (startsWithNoCase(lastLine, "-ERR")) {
        return 0;
    }
    if (lastLine.size() < 3) {
        return 0;
    }
    int code = 0;
    for (int i = 0; i < 3; ++i) {
        const char c = lastLine[i];
        if (c < '0' || c > '9') {
            return 0;
        }
        code = code * 10 + (c - '0');
    }
    return code;
}

std::vector<std::string> authSchemesOf(const std::vector<std::string>& ehloReply) {
    std::vector<std::string> schemes;
    for (std::size_t i = 1; i < ehloReply.size(); ++i) {
        const std::string line = upper(ehloReply[i]);
        // "250-AUTH LOGIN PLAIN" and the older "250-AUTH=LOGIN" both announce.
        if (line.size() < 9 || line.compare(4, 4, "AUTH") != 0 ||
            (line[8] != ' ' && line[8] != '=')) {
            continue;
        }
        std::size_t start = 9;
        while (start <= line.size()) {
            const std::size_t end = std::min(line.find_first_of(" =", start), line.size());
            std::string piece = line.substr(start, end - start);
            if (!piece.empty() &&
                std::find(schemes.begin(), schemes.end(), piece) == schemes.end()) {
                schemes.push_back(std::move(piece));
            }
            start = end + 1;
        }
    }
    return schemes;
}

SmtpClient::SmtpClient() = default;

SmtpClient::~SmtpClient() {
    Disconnect();
}

bool SmtpClient::Connected() const {
    return m_connection.isOpen();
}

void SmtpClient::log(char direction, std::string_view line) const {
    if (Transcript) {
        Transcript(direction, line);
    }
}

void SmtpClient::Connect() {
    if (Connected()) {
        throw AlreadyConnected();
    }
    m_authSchemes.clear();
    refuseLineBreaks(Host, "The host name");
    WaitControl wait;
    if (Cancel) {
        wait.hook = [] {};
        wait.cancel = Cancel;
    }
    m_connection.setWaitControl(wait);
    const auto addresses = resolveHost(Host, Port, ConnectTimeout, wait);
    // Without an answer in time the greeting gives the address literal.
    const auto ownNameLimit =
        ConnectTimeout.count() > 0 ? std::min(ConnectTimeout, kOwnNameWait) : kOwnNameWait;
    const std::string candidateName =
        LocalName.empty() ? fullyQualifiedHostName(ownNameLimit) : LocalName;
    m_connection.connect(addresses, ConnectTimeout);
    try {
        if (Security == MailSecurity::Tls) {
            m_connection.startTls(Host, CaFile, ReplyTimeout);
        }
        greetAndIntroduce(candidateName);
    } catch (...) {
        Disconnect();
        throw;
    }
}

void SmtpClient::greetAndIntroduce(const std::string& candidateName) {
    ReadReply(220);
    const std::string name = greetingName(candidateName, m_connection.localAddress());
    introduce(name);
    if (Security == MailSecurity::StartTls) {
        startTls(name);
    }
}

void SmtpClient::introduce(const std::string& name) {
    m_authSchemes.clear();
    m_startTlsAnnounced = false;
    SendCommand("ehlo " + name);
    if (m_replyCode == 250) {
        readAuthAnnouncements();
        for (std::size_t i = 1; i < m_replyLines.size(); ++i) {
            const std::string_view line = m_replyLines[i];
            if (line.size() > 4 && upper(trimmed(line.substr(4))) == "STARTTLS") {
                m_startTlsAnnounced = true;
            }
        }
    } else if (Security == MailSecurity::StartTls && !m_connection.isSecure()) {
        throw TlsError("The server does not offer STARTTLS.");
    } else {
        SendCommand("Helo " + name, 250);
    }
}

// RFC 3207: STARTTLS, the handshake, and everything learnt before it forgotten; the
// extensions are asked for again over the protected connection.
void SmtpClient::startTls(const std::string& name) {
    if (!m_startTlsAnnounced) {
        throw TlsError("The server does not offer STARTTLS.");
    }
    SendCommand("STARTTLS");
    if (m_replyCode != 220) {
        throw TlsError("The server refused STARTTLS: " + m_replyLines.back());
    }
    m_connection.startTls(Host, CaFile, ReplyTimeout);
    introduce(name);
}

bool SmtpClient::announced(std::string_view scheme) const {
    return std::find(m_authSchemes.begin(), m_authSchemes.end(), scheme) != m_authSchemes.end();
}

void SmtpClient::readAuthAnnouncements() {
    for (auto& scheme : authSchemesOf(m_replyLines)) {
        if (std::find(m_authSchemes.begin(), m_authSchemes.end(), scheme) == m_authSchemes.end()) {
            m_authSchemes.push_back(std::move(scheme));
        }
    }
}

bool SmtpClient::Authenticate() {
    bool performed = false;
    if (AuthenticationType == atLogin) {
        refuseLineBreaks(UserId, "The user name");
        refuseLineBreaks(Password, "The password");
        if (Security != MailSecurity::None && !m_connection.isSecure()) {
            throw TlsError("The connection is not protected; the password is not sent.");
        }
        if (announced("PLAIN") && !announced("LOGIN")) {
            // RFC 4616: authorization identity (empty), user, password, NUL-separated.
            std::string response;
            response += '\0';
            response += UserId;
            response += '\0';
            response += Password;
            writeCommand("auth PLAIN " + base64Encode(response), "auth PLAIN ***");
            ReadReply(235);
            m_authenticated = true;
            return true;
        }
        SendCommand("auth LOGIN", 334);
        writeCommand(base64Encode(UserId), "***");
        ReadReply(334);
        writeCommand(base64Encode(Password), "***");
        ReadReply(235);
        performed = true;
    }
    m_authenticated = true;
    return performed;
}

void SmtpClient::Send(MailMessage& message) {
    // Every address is checked before the first command, so a bad one leaves the
    // server with no half-begun transaction.
    refuseLineBreaks(message.From.Address, "The sender address");
    for (const MailAddressList* list : {&message.Recipients, &message.CCList, &message.BccList}) {
        for (const auto& item : *list) {
            refuseLineBreaks(item.Address, "A recipient address");
        }
    }
    SendCommand("Rset");
    if (AuthenticationType == atLogin && (announced("LOGIN") || announced("PLAIN")) &&
        !m_authenticated) {
        Authenticate();
    }
    SendCommand("Mail from:<" + message.From.Address + ">", 250);
    for (const MailAddressList* list : {&message.Recipients, &message.CCList, &message.BccList}) {
        for (const auto& item : *list) {
            SendCommand("RCPT to:<" + item.Address + ">", 250);
        }
    }
    SendCommand("Data", 354);
    writeMessageText(message);
    writeCommand(".", ".");
    readReplyWithin(250, DataEndTimeout);
}

void SmtpClient::writeMessageText(MailMessage& message) {
    log('>', "(message text)");
    // The writer's lines come dot-stuffed and without line ends. Should one still hold
    // a CR or LF, it is broken there into lines of its own, each dot-stuffed, so no
    // bare line end can reach the server and end the data early (RFC 5321 4.1.1.4).
    const auto emitLine = [this](std::string_view line) {
        bool first = true;
        for (;;) {
            const std::size_t cut = line.find_first_of("\r\n");
            std::string_view piece = line.substr(0, cut);
            if (!first && !piece.empty() && piece.front() == '.') {
                m_connection.write(".", ReplyTimeout);
            }
            m_connection.write(piece, ReplyTimeout);
            m_connection.write("\r\n", ReplyTimeout);
            if (cut == std::string_view::npos) {
                break;
            }
            const bool crlf = line[cut] == '\r' && cut + 1 < line.size() && line[cut + 1] == '\n';
            line.remove_prefix(cut + (crlf ? 2 : 1));
            first = false;
        }
    };
    // A cancelled send also stops while a large attachment is being encoded.
    writeMessage(message, emitLine, Cancel);
}

void SmtpClient::Disconnect() noexcept {
    if (m_connection.isOpen()) {
        try {
            log('>', "Quit");
            m_connection.write("Quit\r\n", kQuitLimit);
            m_connection.flush(kQuitLimit);
        } catch (...) {
            // The server has gone already; closing is all that is left to do.
        }
        m_connection.close();
    }
    m_authenticated = false;
}

void SmtpClient::writeCommand(std::string_view line, std::string_view logged) {
    refuseLineBreaks(line, "The command");
    if (!m_connection.isOpen()) {
        throw SocketError(10057);
    }
    log('>', logged);
    std::string text(line);
    text += "\r\n";
    m_connection.write(text, ReplyTimeout);
    m_connection.flush(ReplyTimeout);
}

void SmtpClient::SendCommand(std::string_view line, std::optional<int> expected) {
    writeCommand(line, line);
    ReadReply(expected);
}

void SmtpClient::ReadReply(std::optional<int> expected) {
    readReplyWithin(expected, ReplyTimeout);
}

std::string SmtpClient::readTrimmedLine(std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            throw SocketError(10060);
        }
        const std::string line = m_connection.readLine(left, kMaxReplyLine);
        const std::string_view text = trimmed(line);
        if (!text.empty()) {
            log('<', text);
            return std::string(text);
        }
    }
}

void SmtpClient::readReplyWithin(std::optional<int> expected, std::chrono::milliseconds limit) {
    m_replyLines.clear();
    m_replyCode = 0;
    const auto deadline = Clock::now() + limit;
    auto left = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    };
    m_replyLines.push_back(readTrimmedLine(limit));
    const std::string& first = m_replyLines.front();
    if (first.size() > 3 && first[3] == '-') {
        const std::string last = first.substr(0, 3) + ' ';
        for (;;) {
            if (m_replyLines.size() >= kMaxReplyLines) {
                throw ProtocolError("Reply of more than " + std::to_string(kMaxReplyLines) +
                                    " lines.");
            }
            std::string line = readTrimmedLine(left());
            const bool done = line.size() < 4 || startsWithNoCase(line, last);
            m_replyLines.push_back(std::move(line));
            if (done) {
                break;
            }
        }
    }
    m_replyCode = replyCodeOf(m_replyLines.back());
    if (expected && m_replyCode != *expected) {
        throw ProtocolReplyError(m_replyCode, m_replyLines.back());
    }
}

} // namespace zp
