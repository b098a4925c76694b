#pragma once
// The boundary between the mail library and the TLS module (zp_tls), which holds the TLS library
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

// The version of this boundary: the class above, the factory and the standard library
// types they pass (a module from another build may lay out std::string or the vtable
// differently). Raised with every change to any of them; the program asks the module for
// its version before it touches anything else in it and refuses any other.
inline constexpr int kTlsInterfaceVersion = 1;
using TlsInterfaceVersion = int (*)();

} // namespace zp

// Exported by the module under these names.
#define ZP_TLS_FACTORY_NAME "zpTlsCreate"
#define ZP_TLS_VERSION_NAME "zpTlsInterfaceVersion"

// The module's two exported entries, the same in every module: its interface version, and the
// factory of `Engine` (constructed from the host and the CA file), which throws nothing across.
#ifdef _WIN32
#define ZP_TLS_EXPORT extern "C" __declspec(dllexport)
#else
#define ZP_TLS_EXPORT extern "C" __attribute__((visibility("default")))
#endif
#define ZP_TLS_MODULE_ENTRIES(Engine)                                                              \
    ZP_TLS_EXPORT int zpTlsInterfaceVersion() {                                                    \
        return zp::kTlsInterfaceVersion;                                                           \
    }                                                                                              \
    ZP_TLS_EXPORT zp::TlsEngine* zpTlsCreate(const char* host, const char* caFile) {               \
        try {                                                                                      \
            return new Engine(host ? host : "", caFile ? caFile : "");                             \
        } catch (...) {                                                                            \
            return nullptr;                                                                        \
        }                                                                                          \
    }
