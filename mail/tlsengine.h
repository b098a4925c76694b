#pragma once
// The boundary between the mail library and the TLS module (zp_tls), which holds OpenSSL
// and is loaded with the first protected connection. Nothing is thrown across it: every
// call reports a failure as Result::Failed with the reason in error(), and the mail
// library raises TlsError on its own side.
#include <cstddef>
#include <string>

namespace zp {

class TlsEngine {
public:
    enum class Result { Done, Read, Closed, Failed };

    virtual ~TlsEngine() = default;
    // Failed when the session could not be set up (reason in error()).
    virtual Result setup() noexcept = 0;
    virtual Result handshake() noexcept = 0;
    virtual Result read(char* buffer, std::size_t size, std::size_t& got) noexcept = 0;
    virtual Result write(const char* data, std::size_t size) noexcept = 0;
    virtual void shutdown() noexcept = 0;
    virtual Result outgoing(std::string& out) noexcept = 0;
    virtual Result incoming(const char* data, std::size_t size) noexcept = 0;
    // The reason of the last Failed.
    virtual const std::string& error() const noexcept = 0;
};

// The module's one entry: a session for `host`, trusting the system's store and the CA
// file when it is not empty; null only when memory runs out.
using TlsEngineFactory = TlsEngine* (*)(const char* host, const char* caFile);

} // namespace zp

// Exported by the module under this name.
#define ZP_TLS_FACTORY_NAME "zpTlsCreate"
