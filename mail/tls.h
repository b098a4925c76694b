#pragma once
// TLS for the mail connections: a client session over a socket that is already
// connected. The server's certificate is checked against the system's trust store (and an
// optional CA file of the user's), the host name or IP address against the certificate,
// and nothing older than TLS 1.2 is spoken. The TLS library lives in the module zp_tls
// (OpenSSL on Linux, the system's Schannel on Windows), loaded with the first session, so
// a program that never protects a connection never loads it.
#include "mail/mailerror.h"

#include <memory>
#include <string>
#include <string_view>

namespace zp {

// How a mail connection is protected: not at all, by STARTTLS (SMTP) or STLS (POP3)
// after the greeting, or by TLS from the first byte (SMTP 465, POP3 995).
enum class MailSecurity { None = 0, StartTls = 1, Tls = 2 };

// The usual port for a security mode: 25/587/465 for SMTP, 110/110/995 for POP3.
int usualSmtpPort(MailSecurity security);
int usualPop3Port(MailSecurity security);
// 0, 1, 2 as written in the settings file; anything else is None.
MailSecurity mailSecurityFromInt(int value);

// A failed handshake or a refused protection: "TLS Error" CR LF and the reason
// ("The server's certificate has expired.", ...).
class TlsError : public MailError {
public:
    explicit TlsError(const std::string& reason)
        : MailError("TLS Error\r\n" + reason), m_reason(reason) {}
    const std::string& reason() const { return m_reason; }

private:
    std::string m_reason;
};

// How the reason begins when the TLS module is missing or of another build; the rest
// names the file, the places looked in and the versions.
inline constexpr std::string_view kTlsModuleProblem = "The TLS module ";
// The module's file name ("libzp_tls.so", "zp_tls.dll").
std::string tlsModuleName();
// Whether an error's text ("TLS Error" CR LF ...) says the module could not be used.
bool isTlsModuleProblem(std::string_view errorText);

class TlsEngine;

// One client session that works on bytes in memory: the socket layer carries what
// outgoing() gives to the server and hands what arrives to incoming(), so every wait,
// time limit and error of the socket stays where it is. A call that needs more bytes
// from the server says so (Want::Read); the caller sends the pending output, receives
// and calls again.
class TlsSession {
public:
    enum class Want { Done, Read, Closed };

    // Raises TlsError when the module cannot be loaded, the library cannot be set up or
    // the CA file is unreadable.
    TlsSession(const std::string& host, const std::string& caFile);
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    // Raises TlsError with the reason when the handshake fails.
    Want handshake();
    // Bytes read into `got` (Done), or what to wait for; Closed when the peer ended
    // the session. Raises TlsError on a failure of the protocol.
    Want read(char* buffer, std::size_t size, std::size_t& got);
    // Encrypts all of `data` into the pending output.
    void write(std::string_view data);
    // Queues the goodbye into the pending output.
    void shutdown() noexcept;
    // Takes the bytes waiting to go to the server.
    std::string outgoing();
    // Gives the session bytes that came from the server.
    void incoming(const char* data, std::size_t size);

private:
    std::unique_ptr<TlsEngine> m_engine;
};

} // namespace zp
