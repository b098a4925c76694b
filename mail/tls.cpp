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
// The folder of the running program, from /proc/self/exe; empty when it cannot be told (the
// current folder is no place to load code from).
std::string programFolder() {
    std::vector<char> path(PATH_MAX);
    const ssize_t size = readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (size <= 0)
        return {};
    const std::string exe(path.data(), static_cast<std::size_t>(size));
    const std::size_t slash = exe.rfind('/');
    if (slash == std::string::npos)
        return {};
    return slash == 0 ? "/" : exe.substr(0, slash);
}

// The factory of a loaded module, after its interface version has been checked; null with
// the reason in `why` when the module is of another build.
TlsEngineFactory checkedFactory(void* module, const std::string& file, std::string& why) {
    const auto version = reinterpret_cast<TlsInterfaceVersion>(dlsym(module, ZP_TLS_VERSION_NAME));
    if (!version) {
        why = file + " has no interface version (this program needs version " +
              std::to_string(kTlsInterfaceVersion) + ")";
        return nullptr;
    }
    if (const int found = version(); found != kTlsInterfaceVersion) {
        why = file + " is of interface version " + std::to_string(found) +
              ", this program needs version " + std::to_string(kTlsInterfaceVersion);
        return nullptr;
    }
    const auto create = reinterpret_cast<TlsEngineFactory>(dlsym(module, ZP_TLS_FACTORY_NAME));
    if (!create)
        why = file + " has no " ZP_TLS_FACTORY_NAME;
    return create;
}

// The module, looked for where it is installed relative to the program and beside it (a
// copy carried around with its modules). A module of another interface version is refused
// unused. The one taken stays loaded for the rest of the run.
Factory loadFactory() {
    Factory factory;
    const std::string folder = programFolder();
    std::string tried;
    auto note = [&tried](const std::string& why) { tried += (tried.empty() ? "" : "; ") + why; };
    if (folder.empty())
        note("the program's own folder is unknown");
    const std::vector<std::string> places =
        folder.empty() ? std::vector<std::string>{}
                       : std::vector<std::string>{folder + "/" ZP_TLS_MODULE_DIR, folder};
    for (const std::string& dir : places) {
        const std::string file = dir + "/" ZP_TLS_MODULE_FILE;
        void* module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            const char* why = dlerror();
            note(why ? why : file);
            continue;
        }
        std::string why;
        factory.create = checkedFactory(module, file, why);
        if (factory.create)
            return factory;
        note(why);
        dlclose(module);
    }
    factory.error =
        std::string(kTlsModuleProblem) + ZP_TLS_MODULE_FILE " cannot be loaded (" + tried + ").";
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

std::string tlsModuleName() {
#ifdef _WIN32
    return {};
#else
    return ZP_TLS_MODULE_FILE;
#endif
}

bool isTlsModuleProblem(std::string_view errorText) {
    const std::string start = "TLS Error\r\n" + std::string(kTlsModuleProblem);
    return errorText.substr(0, start.size()) == start;
}

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
