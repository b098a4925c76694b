#include "mail/tls.h"

#include "mail/tlsengine.h"

#include <string>
#include <vector>

#ifndef _WIN32
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#endif

#if defined(_WIN32) && !defined(ZP_TLS_NONE)
// Windows links OpenSSL into the program; the session comes straight from the engine.
extern "C" zp::TlsEngine* zpTlsCreate(const char* host, const char* caFile);
#endif

namespace zp {

namespace {

struct Factory {
    TlsEngineFactory create = nullptr;
    std::string error; // why the module could not be loaded
};

#ifndef _WIN32
// The folder of the running program, from /proc/self/exe.
std::string programFolder() {
    std::vector<char> path(PATH_MAX);
    const ssize_t size = readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (size <= 0) {
        return ".";
    }
    const std::string exe(path.data(), static_cast<std::size_t>(size));
    const std::size_t slash = exe.rfind('/');
    return slash == std::string::npos || slash == 0 ? "/" : exe.substr(0, slash);
}

// The module, looked for where it is installed relative to the program and beside it (a
// copy carried around with its modules). It stays loaded for the rest of the run.
Factory loadFactory() {
    Factory factory;
    const std::string folder = programFolder();
    std::string tried;
    for (const std::string& dir : {folder + "/" ZP_TLS_MODULE_DIR, folder}) {
        const std::string file = dir + "/" ZP_TLS_MODULE_FILE;
        void* module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            const char* why = dlerror();
            tried += (tried.empty() ? "" : "; ") + std::string(why ? why : file);
            continue;
        }
        factory.create = reinterpret_cast<TlsEngineFactory>(dlsym(module, ZP_TLS_FACTORY_NAME));
        if (factory.create) {
            return factory;
        }
        tried += (tried.empty() ? "" : "; ") + file + " has no " ZP_TLS_FACTORY_NAME;
        dlclose(module);
    }
    factory.error = "The TLS module " ZP_TLS_MODULE_FILE " cannot be loaded (" + tried + ").";
    return factory;
}
#elif defined(ZP_TLS_NONE)
Factory loadFactory() {
    Factory factory;
    factory.error = "This build has no TLS library: protected connections are not available.";
    return factory;
}
#else
Factory loadFactory() {
    Factory factory;
    factory.create = &zpTlsCreate;
    return factory;
}
#endif

// Loaded once, by the first session of any thread.
const Factory& factory() {
    static const Factory loaded = loadFactory();
    return loaded;
}

TlsSession::Want checked(TlsEngine& engine, TlsEngine::Result result) {
    switch (result) {
    case TlsEngine::Result::Done:
        return TlsSession::Want::Done;
    case TlsEngine::Result::Read:
        return TlsSession::Want::Read;
    case TlsEngine::Result::Closed:
        return TlsSession::Want::Closed;
    case TlsEngine::Result::Failed:
        break;
    }
    throw TlsError(engine.error());
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

TlsSession::TlsSession(const std::string& host, const std::string& caFile) {
    const Factory& loaded = factory();
    if (!loaded.create) {
        throw TlsError(loaded.error);
    }
    m_engine.reset(loaded.create(host.c_str(), caFile.c_str()));
    if (!m_engine) {
        throw TlsError("TLS cannot be set up: out of memory.");
    }
    checked(*m_engine, m_engine->setup());
}

TlsSession::~TlsSession() = default;

TlsSession::Want TlsSession::handshake() {
    return checked(*m_engine, m_engine->handshake());
}

TlsSession::Want TlsSession::read(char* buffer, std::size_t size, std::size_t& got) {
    return checked(*m_engine, m_engine->read(buffer, size, got));
}

void TlsSession::write(std::string_view data) {
    checked(*m_engine, m_engine->write(data.data(), data.size()));
}

void TlsSession::shutdown() noexcept {
    if (m_engine) {
        m_engine->shutdown();
    }
}

std::string TlsSession::outgoing() {
    std::string out;
    checked(*m_engine, m_engine->outgoing(out));
    return out;
}

void TlsSession::incoming(const char* data, std::size_t size) {
    checked(*m_engine, m_engine->incoming(data, size));
}

} // namespace zp
