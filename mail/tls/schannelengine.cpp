// The TLS module on Windows: a client session on the system's own TLS (Schannel, through
// SSPI) working on bytes in memory. The certificate is not left to Schannel: once the
// handshake is through it is checked against the system's certificate store (a company's CA
// installed there is trusted as it is) and the user's CA file, and the host name or address
// against the certificate. Nothing older than TLS 1.2 is offered. Failures come back as
// Result::Failed with the reason, in the words of the module on Linux.
#include "mail/tls/schannelverify.h"
#include "mail/tlsengine.h"

#include <windows.h>

#define SECURITY_WIN32
// The newer credentials (SCH_CREDENTIALS), which name the versions to leave out.
#define SCHANNEL_USE_BLACKLISTS
#include <subauth.h>

#include <schannel.h>
#include <security.h>
#include <sspi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace zp {

namespace {

constexpr DWORD kRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                           ISC_REQ_CONFIDENTIALITY | ISC_REQ_EXTENDED_ERROR |
                           ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                           ISC_REQ_MANUAL_CRED_VALIDATION;

constexpr DWORD kOlderThanTls12 =
    SP_PROT_SSL2_CLIENT | SP_PROT_SSL3_CLIENT | SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT;

// Bytes from the server not yet taken; more than this unread means no TLS peer.
constexpr std::size_t kMaxPending = 1024 * 1024;

std::string hexCode(SECURITY_STATUS status) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(status));
    return text;
}

// The reason of a failed handshake or record, in the Linux module's words where there are
// such; the system's code otherwise.
std::string statusText(SECURITY_STATUS status) {
    switch (status) {
    case SEC_E_ILLEGAL_MESSAGE:
        return "unexpected message";
    case SEC_E_DECRYPT_FAILURE:
        return "decryption failed or bad record mac";
    case SEC_E_MESSAGE_ALTERED:
        return "bad record mac";
    case SEC_E_ALGORITHM_MISMATCH:
        return "no shared cipher";
    case SEC_E_INVALID_TOKEN:
        return "wrong version number";
    case SEC_E_INTERNAL_ERROR:
        return "internal error";
    default:
        return "error " + hexCode(status);
    }
}

struct OwnedBuffer {
    void* data = nullptr;
    ~OwnedBuffer() {
        if (data) {
            FreeContextBuffer(data);
        }
    }
};

class SchannelEngine final : public TlsEngine {
public:
    SchannelEngine(const char* host, const char* caFile) : m_host(host), m_caFile(caFile) {}
    ~SchannelEngine() override {
        if (m_haveContext) {
            DeleteSecurityContext(&m_context);
        }
        if (m_haveCredentials) {
            FreeCredentialsHandle(&m_credentials);
        }
        if (m_roots) {
            CertCloseStore(m_roots, 0);
        }
    }

    Result setup() noexcept override {
        try {
            return setupSession();
        } catch (const std::exception& e) {
            return fail(e.what());
        }
    }
    Result handshake() noexcept override {
        try {
            return handshakeStep();
        } catch (const std::exception& e) {
            return fail(e.what());
        }
    }
    Result read(char* buffer, std::size_t size, std::size_t& got) noexcept override;
    Result write(const char* data, std::size_t size) noexcept override {
        try {
            return encrypt(data, size);
        } catch (const std::exception& e) {
            return fail(e.what());
        }
    }
    void shutdown() noexcept override;
    Result outgoing(std::string& out) noexcept override {
        out.swap(m_out);
        m_out.clear();
        return Result::Done;
    }
    Result incoming(const char* data, std::size_t size) noexcept override {
        try {
            if (m_in.size() + size > kMaxPending) {
                return fail("TLS cannot take the server's data.");
            }
            m_in.append(data, size);
            if (!m_established && m_serverStart.size() < 16) {
                m_serverStart.append(data, std::min<std::size_t>(size, 16 - m_serverStart.size()));
            }
            return Result::Done;
        } catch (const std::exception&) {
            return fail("TLS cannot take the server's data.");
        }
    }
    const std::string& error() const noexcept override { return m_error; }

private:
    Result setupSession();
    SECURITY_STATUS acquireCredentials();
    Result handshakeStep();
    Result afterHandshake();
    Result decryptOne();
    Result encrypt(const char* data, std::size_t size);
    Result handshakeFailure(SECURITY_STATUS status);
    SECURITY_STATUS callInitialize(SecBufferDesc* input);
    void keepExtra(const SecBuffer& extra);
    Result fail(std::string reason) noexcept {
        m_error = std::move(reason);
        return Result::Failed;
    }

    std::string m_host;
    std::string m_caFile;
    std::wstring m_target; // the name for the server name indication
    std::string m_error;
    HCERTSTORE m_roots = nullptr; // the CA file's certificates
    CredHandle m_credentials{};
    CtxtHandle m_context{};
    bool m_haveCredentials = false;
    bool m_haveContext = false;
    bool m_established = false;
    bool m_askedForClientCertificate = false;
    SecPkgContext_StreamSizes m_sizes{};
    std::string m_in;          // from the server, not yet taken
    std::string m_out;         // to the server
    std::string m_plain;       // decrypted, not yet read
    std::string m_serverStart; // the first bytes of the server's handshake
};

// Whether the server's first record refused the versions offered (an alert "protocol
// version") or chose one older than TLS 1.2 in its hello. Schannel's own codes for that differ
// between systems.
bool refusedVersion(const std::string& start) {
    const auto byte = [&start](std::size_t at) {
        return at < start.size() ? static_cast<unsigned char>(start[at]) : 0u;
    };
    constexpr unsigned kAlert = 21, kHandshake = 22, kProtocolVersion = 70, kServerHello = 2;
    if (byte(0) == kAlert) {
        return byte(6) == kProtocolVersion;
    }
    return byte(0) == kHandshake && byte(5) == kServerHello && start.size() >= 11 &&
           (byte(9) << 8 | byte(10)) < 0x0303;
}

TlsEngine::Result SchannelEngine::setupSession() {
    if (!m_caFile.empty()) {
        m_roots = schannel::loadCaFile(m_caFile);
        if (!m_roots) {
            return fail("The CA file " + m_caFile + " cannot be read.");
        }
    }
    std::string address;
    if (!schannel::parseIpAddress(m_host, address)) {
        m_target = schannel::widen(m_host);
    }
    const SECURITY_STATUS status = acquireCredentials();
    if (status != SEC_E_OK) {
        return fail("TLS cannot be set up: " + statusText(status) + ".");
    }
    m_haveCredentials = true;
    return Result::Done;
}

// The client's credentials: the certificate is checked by this module once the handshake is
// through, and no client certificate is offered. Systems from Windows 10 1809 on take the
// newer form, where the versions before TLS 1.2 are turned off and every later one stays on;
// older systems are offered TLS 1.2 and 1.3 by name, or 1.2 alone where 1.3 is
// unknown to them.
SECURITY_STATUS SchannelEngine::acquireCredentials() {
    const DWORD flags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
    auto acquire = [this](void* data) {
        return AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W),
                                         SECPKG_CRED_OUTBOUND, nullptr, data, nullptr, nullptr,
                                         &m_credentials, nullptr);
    };
    TLS_PARAMETERS parameters{};
    parameters.grbitDisabledProtocols =
        SP_PROT_SSL2_CLIENT | SP_PROT_SSL3_CLIENT | SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT;
    SCH_CREDENTIALS newer{};
    newer.dwVersion = SCH_CREDENTIALS_VERSION;
    newer.dwFlags = flags;
    newer.cTlsParameters = 1;
    newer.pTlsParameters = &parameters;
    SECURITY_STATUS status = acquire(&newer);
    if (status == SEC_E_OK) {
        return status;
    }
    SCHANNEL_CRED cred{};
    cred.dwVersion = SCHANNEL_CRED_VERSION;
    cred.dwFlags = flags;
    for (const DWORD protocols :
         {DWORD(SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT), DWORD(SP_PROT_TLS1_2_CLIENT)}) {
        cred.grbitEnabledProtocols = protocols;
        status = acquire(&cred);
        if (status == SEC_E_OK) {
            return status;
        }
    }
    return status;
}

SECURITY_STATUS SchannelEngine::callInitialize(SecBufferDesc* input) {
    SecBuffer outBuffers[1] = {{0, SECBUFFER_TOKEN, nullptr}};
    SecBufferDesc output{SECBUFFER_VERSION, 1, outBuffers};
    ULONG attributes = 0;
    SECURITY_STATUS status = InitializeSecurityContextW(
        &m_credentials, m_haveContext ? &m_context : nullptr,
        m_target.empty() ? nullptr : m_target.data(), kRequest, 0, 0, input, 0,
        m_haveContext ? nullptr : &m_context, &output, &attributes, nullptr);
    OwnedBuffer token{outBuffers[0].pvBuffer};
    if (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED || FAILED(status)) {
        // A failure may come with an alert for the server.
        if (token.data && outBuffers[0].cbBuffer > 0) {
            m_out.append(static_cast<const char*>(token.data), outBuffers[0].cbBuffer);
        }
    }
    if (!m_haveContext && (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED ||
                           status == SEC_I_INCOMPLETE_CREDENTIALS)) {
        m_haveContext = true;
    }
    return status;
}

// The bytes the last call did not take, which Schannel reports at the end of its input.
void SchannelEngine::keepExtra(const SecBuffer& extra) {
    if (extra.BufferType == SECBUFFER_EXTRA && extra.cbBuffer > 0 &&
        extra.cbBuffer <= m_in.size()) {
        m_in.erase(0, m_in.size() - extra.cbBuffer);
    } else {
        m_in.clear();
    }
}

TlsEngine::Result SchannelEngine::handshakeStep() {
    if (m_established) {
        return Result::Done;
    }
    if (!m_haveContext) {
        const SECURITY_STATUS status = callInitialize(nullptr);
        if (status != SEC_I_CONTINUE_NEEDED) {
            return handshakeFailure(status);
        }
        return Result::Read;
    }
    while (!m_in.empty()) {
        // A TLS record starts with its type (20 to 23) and the major version 3; anything
        // else is no TLS server (a plain greeting), which Schannel would wait on for ever.
        const auto type = static_cast<unsigned char>(m_in[0]);
        if (type < 20 || type > 23 || (m_in.size() > 1 && m_in[1] != 3)) {
            m_in.clear();
            return fail("The TLS handshake failed: wrong version number.");
        }
        SecBuffer inBuffers[2] = {
            {static_cast<unsigned long>(m_in.size()), SECBUFFER_TOKEN, m_in.data()},
            {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc input{SECBUFFER_VERSION, 2, inBuffers};
        const SECURITY_STATUS status = callInitialize(&input);
        if (status == SEC_E_INCOMPLETE_MESSAGE) {
            return Result::Read;
        }
        if (status == SEC_E_OK) {
            keepExtra(inBuffers[1]);
            return afterHandshake();
        }
        if (status == SEC_I_CONTINUE_NEEDED) {
            keepExtra(inBuffers[1]);
            continue;
        }
        if (status == SEC_I_INCOMPLETE_CREDENTIALS && !m_askedForClientCertificate) {
            // The server asks for a client certificate; there is none, and the same input
            // goes in again to go on without one.
            m_askedForClientCertificate = true;
            continue;
        }
        return handshakeFailure(status);
    }
    return Result::Read;
}

TlsEngine::Result SchannelEngine::handshakeFailure(SECURITY_STATUS status) {
    m_in.clear();
    if (refusedVersion(m_serverStart)) {
        return fail("The server offers no TLS version from 1.2 on.");
    }
    switch (status) {
    case SEC_E_UNSUPPORTED_FUNCTION:
    case SEC_E_ALGORITHM_MISMATCH:
        // What Schannel says when the server's version is not among those offered (an
        // alert "protocol version" from either side).
        return fail("The server offers no TLS version from 1.2 on.");
    default:
        return fail("The TLS handshake failed: " + statusText(status) + ".");
    }
}

TlsEngine::Result SchannelEngine::afterHandshake() {
    // The version actually spoken, whatever the credentials were taken to mean (a system
    // may accept the newer credentials and not leave the old versions out).
    SecPkgContext_ConnectionInfo connection{};
    if (QueryContextAttributesW(&m_context, SECPKG_ATTR_CONNECTION_INFO, &connection) != SEC_E_OK ||
        (connection.dwProtocol & kOlderThanTls12) != 0) {
        return fail("The server offers no TLS version from 1.2 on.");
    }
    PCCERT_CONTEXT server = nullptr;
    const SECURITY_STATUS got =
        QueryContextAttributesW(&m_context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &server);
    if (got != SEC_E_OK || !server) {
        return fail("The server sent no certificate.");
    }
    std::string why;
    try {
        why = schannel::checkServerCertificate(server, m_host, m_roots);
    } catch (...) {
        CertFreeCertificateContext(server);
        throw;
    }
    CertFreeCertificateContext(server);
    if (!why.empty()) {
        // The server is told with an alert; a refused certificate ends the connection.
        return fail(why);
    }
    const SECURITY_STATUS sizes =
        QueryContextAttributesW(&m_context, SECPKG_ATTR_STREAM_SIZES, &m_sizes);
    if (sizes != SEC_E_OK) {
        return fail("The TLS handshake failed: " + statusText(sizes) + ".");
    }
    m_established = true;
    return Result::Done;
}

TlsEngine::Result SchannelEngine::encrypt(const char* data, std::size_t size) {
    if (!m_established) {
        return fail("The TLS connection failed: no session.");
    }
    std::string record;
    while (size > 0) {
        const std::size_t chunk = std::min<std::size_t>(size, m_sizes.cbMaximumMessage);
        record.assign(m_sizes.cbHeader + chunk + m_sizes.cbTrailer, '\0');
        std::memcpy(record.data() + m_sizes.cbHeader, data, chunk);
        SecBuffer buffers[4] = {
            {m_sizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
            {static_cast<unsigned long>(chunk), SECBUFFER_DATA, record.data() + m_sizes.cbHeader},
            {m_sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + m_sizes.cbHeader + chunk},
            {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc message{SECBUFFER_VERSION, 4, buffers};
        const SECURITY_STATUS status = EncryptMessage(&m_context, 0, &message, 0);
        if (status != SEC_E_OK) {
            return fail("The TLS connection failed: " + statusText(status) + ".");
        }
        m_out.append(record.data(),
                     buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
        data += chunk;
        size -= chunk;
    }
    return Result::Done;
}

// One record from the pending input into m_plain: Done when one was taken (which may hold no
// data), Read when it is not all there yet, Closed when the server said goodbye.
TlsEngine::Result SchannelEngine::decryptOne() {
    SecBuffer buffers[4] = {{static_cast<unsigned long>(m_in.size()), SECBUFFER_DATA, m_in.data()},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc message{SECBUFFER_VERSION, 4, buffers};
    const SECURITY_STATUS status = DecryptMessage(&m_context, &message, 0, nullptr);
    if (status == SEC_E_INCOMPLETE_MESSAGE) {
        return Result::Read;
    }
    if (status == SEC_I_CONTEXT_EXPIRED) {
        m_in.clear();
        return Result::Closed;
    }
    if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE) {
        m_in.clear();
        return fail("The TLS connection failed: " + statusText(status) + ".");
    }
    const SecBuffer* extra = nullptr;
    for (const SecBuffer& buffer : buffers) {
        if (buffer.BufferType == SECBUFFER_DATA && buffer.cbBuffer > 0) {
            m_plain.append(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
        } else if (buffer.BufferType == SECBUFFER_EXTRA) {
            extra = &buffer;
        }
    }
    keepExtra(extra ? *extra : SecBuffer{0, SECBUFFER_EMPTY, nullptr});
    if (status == SEC_I_RENEGOTIATE) {
        // A handshake message after the handshake (a TLS 1.3 session ticket, a key update):
        // Schannel takes it through the handshake call.
        m_established = false;
        const Result again = handshakeStep();
        if (again == Result::Failed) {
            return again;
        }
        m_established = true;
    }
    return Result::Done;
}

TlsEngine::Result SchannelEngine::read(char* buffer, std::size_t size, std::size_t& got) noexcept {
    try {
        got = 0;
        if (!m_established) {
            return fail("The TLS connection failed: no session.");
        }
        while (m_plain.empty()) {
            if (m_in.empty()) {
                return Result::Read;
            }
            const Result result = decryptOne();
            if (result != Result::Done) {
                return result;
            }
        }
        got = std::min(size, m_plain.size());
        std::memcpy(buffer, m_plain.data(), got);
        m_plain.erase(0, got);
        return Result::Done;
    } catch (const std::exception& e) {
        return fail(e.what());
    }
}

void SchannelEngine::shutdown() noexcept {
    if (!m_established) {
        return;
    }
    try {
        DWORD type = SCHANNEL_SHUTDOWN;
        SecBuffer tokenBuffer{sizeof type, SECBUFFER_TOKEN, &type};
        SecBufferDesc token{SECBUFFER_VERSION, 1, &tokenBuffer};
        if (ApplyControlToken(&m_context, &token) == SEC_E_OK) {
            callInitialize(nullptr);
        }
        m_established = false;
    } catch (...) {
        // Without a goodbye the server sees the socket close; nothing is lost.
    }
}

} // namespace

} // namespace zp

ZP_TLS_MODULE_ENTRIES(zp::SchannelEngine)
