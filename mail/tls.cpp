#include "mail/tls.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <climits>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
// wincrypt.h after the socket headers; its names clash with OpenSSL's, which are not used
// below once it is in.
#include <wincrypt.h>
#ifdef _MSC_VER
#pragma comment(lib, "crypt32.lib")
#endif
#else
#include <arpa/inet.h>
#endif

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

// OpenSSL's default paths are those of its own build; on Windows the trust store is the
// system's "ROOT" store, copied into the context here.
void trustSystemStore(SSL_CTX* context) {
#ifdef _WIN32
    HCERTSTORE store = CertOpenSystemStoreW(0, L"ROOT");
    if (!store) {
        return;
    }
    X509_STORE* trusted = SSL_CTX_get_cert_store(context);
    PCCERT_CONTEXT cert = nullptr;
    while ((cert = CertEnumCertificatesInStore(store, cert)) != nullptr) {
        const unsigned char* der = cert->pbCertEncoded;
        X509* x509 = d2i_X509(nullptr, &der, static_cast<long>(cert->cbCertEncoded));
        if (x509) {
            X509_STORE_add_cert(trusted, x509);
            X509_free(x509);
        }
    }
    CertCloseStore(store, 0);
    ERR_clear_error();
#else
    SSL_CTX_set_default_verify_paths(context);
#endif
}

} // namespace

int usualSmtpPort(MailSecurity security) {
    switch (security) {
    case MailSecurity::StartTls:
        return 587;
    case MailSecurity::Tls:
        return 465;
    default:
        return 25;
    }
}

int usualPop3Port(MailSecurity security) {
    return security == MailSecurity::Tls ? 995 : 110;
}

MailSecurity mailSecurityFromInt(int value) {
    switch (value) {
    case 1:
        return MailSecurity::StartTls;
    case 2:
        return MailSecurity::Tls;
    default:
        return MailSecurity::None;
    }
}

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

struct TlsSession::State {
    SSL_CTX* context = nullptr;
    SSL* ssl = nullptr;
    BIO* toServer = nullptr; // owned by ssl once attached
    ~State() {
        if (ssl) {
            SSL_free(ssl);
        }
        if (context) {
            SSL_CTX_free(context);
        }
    }
};

TlsSession::TlsSession(const std::string& host, const std::string& caFile)
    : m_state(std::make_unique<State>()) {
    ERR_clear_error();
    m_state->context = SSL_CTX_new(TLS_client_method());
    if (!m_state->context) {
        throw TlsError("TLS cannot be set up: " + queuedErrorText("no context") + ".");
    }
    SSL_CTX* context = m_state->context;
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    trustSystemStore(context);
    if (!caFile.empty() && SSL_CTX_load_verify_locations(context, caFile.c_str(), nullptr) != 1) {
        ERR_clear_error();
        throw TlsError("The CA file " + caFile + " cannot be read.");
    }
    m_state->ssl = SSL_new(context);
    BIO* fromServer = BIO_new(BIO_s_mem());
    BIO* toServer = BIO_new(BIO_s_mem());
    if (!m_state->ssl || !fromServer || !toServer) {
        BIO_free(fromServer);
        BIO_free(toServer);
        throw TlsError("TLS cannot be set up: " + queuedErrorText("no session") + ".");
    }
    SSL* ssl = m_state->ssl;
    SSL_set_bio(ssl, fromServer, toServer);
    m_state->toServer = toServer;
    // An address is matched against the certificate's IP entries, a name against its
    // DNS entries; only a name goes into the server name indication.
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
    const bool ip = isIpAddress(host);
    const bool bound = ip ? X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) == 1
                          : SSL_set1_host(ssl, host.c_str()) == 1 &&
                                SSL_set_tlsext_host_name(ssl, host.c_str()) == 1;
    if (!bound) {
        throw TlsError("The host name " + host + " cannot be checked.");
    }
}

TlsSession::~TlsSession() = default;

TlsSession::Want TlsSession::handshake() {
    ERR_clear_error();
    const int rc = SSL_connect(m_state->ssl);
    if (rc == 1) {
        return Want::Done;
    }
    const int error = SSL_get_error(m_state->ssl, rc);
    if (error == SSL_ERROR_WANT_READ) {
        return Want::Read;
    }
    const long verify = SSL_get_verify_result(m_state->ssl);
    if (verify != X509_V_OK) {
        ERR_clear_error();
        throw TlsError(certificateFailureText(verify));
    }
    if (error == SSL_ERROR_ZERO_RETURN || (error == SSL_ERROR_SYSCALL && ERR_peek_error() == 0)) {
        ERR_clear_error();
        throw TlsError("The server closed the connection during the TLS handshake.");
    }
    const int reason = ERR_GET_REASON(ERR_peek_error());
    if (reason == SSL_R_TLSV1_ALERT_PROTOCOL_VERSION || reason == SSL_R_UNSUPPORTED_PROTOCOL ||
        reason == SSL_R_WRONG_SSL_VERSION) {
        ERR_clear_error();
        throw TlsError("The server offers no TLS version from 1.2 on.");
    }
    throw TlsError("The TLS handshake failed: " + queuedErrorText("unknown reason") + ".");
}

TlsSession::Want TlsSession::read(char* buffer, std::size_t size, std::size_t& got) {
    ERR_clear_error();
    got = 0;
    const int rc = SSL_read_ex(m_state->ssl, buffer, size, &got);
    if (rc == 1) {
        return Want::Done;
    }
    switch (SSL_get_error(m_state->ssl, rc)) {
    case SSL_ERROR_WANT_READ:
        return Want::Read;
    case SSL_ERROR_ZERO_RETURN:
        return Want::Closed;
    case SSL_ERROR_SYSCALL:
        if (ERR_peek_error() == 0) {
            return Want::Closed; // the peer closed the socket without a goodbye
        }
        break;
    default:
        break;
    }
    throw TlsError("The TLS connection failed: " + queuedErrorText("unknown reason") + ".");
}

void TlsSession::write(std::string_view data) {
    ERR_clear_error();
    while (!data.empty()) {
        std::size_t sent = 0;
        if (SSL_write_ex(m_state->ssl, data.data(), data.size(), &sent) != 1) {
            throw TlsError("The TLS connection failed: " + queuedErrorText("unknown reason") + ".");
        }
        data.remove_prefix(sent);
    }
}

void TlsSession::shutdown() noexcept {
    if (m_state && m_state->ssl && SSL_is_init_finished(m_state->ssl)) {
        SSL_shutdown(m_state->ssl);
    }
    ERR_clear_error();
}

std::string TlsSession::outgoing() {
    std::string out;
    char* data = nullptr;
    const long size = BIO_get_mem_data(m_state->toServer, &data);
    if (size > 0) {
        out.assign(data, static_cast<std::size_t>(size));
        (void)BIO_reset(m_state->toServer);
    }
    return out;
}

void TlsSession::incoming(const char* data, std::size_t size) {
    BIO* fromServer = SSL_get_rbio(m_state->ssl);
    while (size > 0) {
        const int chunk = static_cast<int>(std::min<std::size_t>(size, INT_MAX));
        const int put = BIO_write(fromServer, data, chunk);
        if (put <= 0) {
            throw TlsError("TLS cannot take the server's data.");
        }
        data += put;
        size -= static_cast<std::size_t>(put);
    }
}

} // namespace zp
