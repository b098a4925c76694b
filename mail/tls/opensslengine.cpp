// The TLS module: a client session on OpenSSL working on bytes in memory. The server's
// certificate is checked against the system's trust store (and an optional CA file of the
// user's), the host name or IP address against the certificate, and nothing older than
// TLS 1.2 is spoken. Failures come back as Result::Failed with the reason; nothing is
// thrown out of the module.
#include "mail/tlsengine.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <climits>
#include <new>

#include <arpa/inet.h>

namespace zp {

namespace {

bool isIpAddress(const std::string& host) {
    unsigned char buffer[16];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 ||
           inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

// The library's own words for the first queued error, or `fallback` when there is none.
std::string queuedErrorText(const char* fallback) {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) {
        return fallback;
    }
    const char* reason = ERR_reason_error_string(code);
    return reason ? reason : fallback;
}

// The system's trust store, where its administrator installs a company's CA.
void trustSystemStore(SSL_CTX* context) {
    SSL_CTX_set_default_verify_paths(context);
}

// The reason for an X509 verification result code (X509_V_ERR_...).
std::string certificateFailureText(long verifyResult) {
    switch (verifyResult) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return "The server's certificate has expired.";
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return "The server's certificate is not yet valid.";
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return "The server's certificate is for another host name.";
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        return "The server's certificate is self-signed.";
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        return "The server's certificate was issued by an unknown authority.";
    case X509_V_ERR_CERT_REVOKED:
        return "The server's certificate has been revoked.";
    default:
        return std::string("The server's certificate was not accepted (") +
               X509_verify_cert_error_string(verifyResult) + ").";
    }
}

class OpenSslEngine final : public TlsEngine {
public:
    OpenSslEngine(const char* host, const char* caFile) : m_host(host), m_caFile(caFile) {}
    ~OpenSslEngine() override {
        if (m_ssl) {
            SSL_free(m_ssl);
        }
        if (m_context) {
            SSL_CTX_free(m_context);
        }
    }

    Result setup() noexcept override {
        try {
            return setupSession();
        } catch (const std::exception& e) {
            return fail(e.what());
        }
    }
    Result handshake() noexcept override;
    Result read(char* buffer, std::size_t size, std::size_t& got) noexcept override;
    Result write(const char* data, std::size_t size) noexcept override;
    void shutdown() noexcept override {
        if (m_ssl && SSL_is_init_finished(m_ssl)) {
            SSL_shutdown(m_ssl);
        }
        ERR_clear_error();
    }
    Result outgoing(std::string& out) noexcept override;
    Result incoming(const char* data, std::size_t size) noexcept override;
    const std::string& error() const noexcept override { return m_error; }

private:
    Result setupSession();
    Result fail(std::string reason) noexcept {
        m_error = std::move(reason);
        return Result::Failed;
    }

    std::string m_host;
    std::string m_caFile;
    std::string m_error;
    SSL_CTX* m_context = nullptr;
    SSL* m_ssl = nullptr;
    BIO* m_toServer = nullptr; // owned by m_ssl once attached
};

TlsEngine::Result OpenSslEngine::setupSession() {
    ERR_clear_error();
    m_context = SSL_CTX_new(TLS_client_method());
    if (!m_context) {
        return fail("TLS cannot be set up: " + queuedErrorText("no context") + ".");
    }
    SSL_CTX_set_min_proto_version(m_context, TLS1_2_VERSION);
    SSL_CTX_set_verify(m_context, SSL_VERIFY_PEER, nullptr);
    trustSystemStore(m_context);
    if (!m_caFile.empty() &&
        SSL_CTX_load_verify_locations(m_context, m_caFile.c_str(), nullptr) != 1) {
        ERR_clear_error();
        return fail("The CA file " + m_caFile + " cannot be read.");
    }
    m_ssl = SSL_new(m_context);
    BIO* fromServer = BIO_new(BIO_s_mem());
    BIO* toServer = BIO_new(BIO_s_mem());
    if (!m_ssl || !fromServer || !toServer) {
        BIO_free(fromServer);
        BIO_free(toServer);
        return fail("TLS cannot be set up: " + queuedErrorText("no session") + ".");
    }
    SSL_set_bio(m_ssl, fromServer, toServer);
    m_toServer = toServer;
    // An address is matched against the certificate's IP entries, a name against its
    // DNS entries; only a name goes into the server name indication.
    X509_VERIFY_PARAM* param = SSL_get0_param(m_ssl);
    const char* host = m_host.c_str();
    const bool bound = isIpAddress(m_host) ? X509_VERIFY_PARAM_set1_ip_asc(param, host) == 1
                                           : SSL_set1_host(m_ssl, host) == 1 &&
                                                 SSL_set_tlsext_host_name(m_ssl, host) == 1;
    if (!bound) {
        return fail("The host name " + m_host + " cannot be checked.");
    }
    return Result::Done;
}

TlsEngine::Result OpenSslEngine::handshake() noexcept {
    try {
        ERR_clear_error();
        const int rc = SSL_connect(m_ssl);
        if (rc == 1) {
            return Result::Done;
        }
        const int error = SSL_get_error(m_ssl, rc);
        if (error == SSL_ERROR_WANT_READ) {
            return Result::Read;
        }
        const long verify = SSL_get_verify_result(m_ssl);
        if (verify != X509_V_OK) {
            ERR_clear_error();
            return fail(certificateFailureText(verify));
        }
        if (error == SSL_ERROR_ZERO_RETURN ||
            (error == SSL_ERROR_SYSCALL && ERR_peek_error() == 0)) {
            ERR_clear_error();
            return fail("The server closed the connection during the TLS handshake.");
        }
        const int reason = ERR_GET_REASON(ERR_peek_error());
        if (reason == SSL_R_TLSV1_ALERT_PROTOCOL_VERSION || reason == SSL_R_UNSUPPORTED_PROTOCOL ||
            reason == SSL_R_WRONG_SSL_VERSION) {
            ERR_clear_error();
            return fail("The server offers no TLS version from 1.2 on.");
        }
        return fail("The TLS handshake failed: " + queuedErrorText("unknown reason") + ".");
    } catch (const std::exception& e) {
        return fail(e.what());
    }
}

TlsEngine::Result OpenSslEngine::read(char* buffer, std::size_t size, std::size_t& got) noexcept {
    try {
        ERR_clear_error();
        got = 0;
        const int rc = SSL_read_ex(m_ssl, buffer, size, &got);
        if (rc == 1) {
            return Result::Done;
        }
        switch (SSL_get_error(m_ssl, rc)) {
        case SSL_ERROR_WANT_READ:
            return Result::Read;
        case SSL_ERROR_ZERO_RETURN:
            return Result::Closed;
        case SSL_ERROR_SYSCALL:
            if (ERR_peek_error() == 0) {
                return Result::Closed; // the peer closed the socket without a goodbye
            }
            break;
        default:
            break;
        }
        return fail("The TLS connection failed: " + queuedErrorText("unknown reason") + ".");
    } catch (const std::exception& e) {
        return fail(e.what());
    }
}

TlsEngine::Result OpenSslEngine::write(const char* data, std::size_t size) noexcept {
    try {
        ERR_clear_error();
        while (size > 0) {
            std::size_t sent = 0;
            if (SSL_write_ex(m_ssl, data, size, &sent) != 1) {
                return fail("The TLS connection failed: " + queuedErrorText("unknown reason") +
                            ".");
            }
            data += sent;
            size -= sent;
        }
        return Result::Done;
    } catch (const std::exception& e) {
        return fail(e.what());
    }
}

TlsEngine::Result OpenSslEngine::outgoing(std::string& out) noexcept {
    try {
        out.clear();
        char* data = nullptr;
        const long size = BIO_get_mem_data(m_toServer, &data);
        if (size > 0) {
            out.assign(data, static_cast<std::size_t>(size));
            (void)BIO_reset(m_toServer);
        }
        return Result::Done;
    } catch (const std::exception& e) {
        return fail(e.what());
    }
}

TlsEngine::Result OpenSslEngine::incoming(const char* data, std::size_t size) noexcept {
    BIO* fromServer = SSL_get_rbio(m_ssl);
    while (size > 0) {
        const int chunk = static_cast<int>(std::min<std::size_t>(size, INT_MAX));
        const int put = BIO_write(fromServer, data, chunk);
        if (put <= 0) {
            return fail("TLS cannot take the server's data.");
        }
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return Result::Done;
}

} // namespace

} // namespace zp

ZP_TLS_MODULE_ENTRIES(zp::OpenSslEngine)
