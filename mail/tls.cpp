#include "mail/tls.h"

#include "mail/tlsengine.h"

#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#endif

namespace zp {

namespace {

struct Factory {
    TlsEngineFactory create = nullptr;
    std::string error; // why the module could not be loaded
};

#ifdef _WIN32
using Module = HMODULE;

std::string narrow(const std::wstring& text) {
    if (text.empty())
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                            size, nullptr, nullptr);
    return out;
}

// The folder of the running program; empty when it cannot be told.
std::wstring programFolder() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD size =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (size == 0)
            return {};
        if (size < path.size()) {
            const std::wstring exe(path.data(), size);
            const std::size_t slash = exe.find_last_of(L"\\/");
            return slash == std::wstring::npos ? std::wstring() : exe.substr(0, slash);
        }
        if (path.size() >= 32768)
            return {};
        path.resize(path.size() * 2);
    }
}

// The system's words for the last error of LoadLibrary.
std::string lastErrorText(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD size = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                          FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                      reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = size > 0 && text ? std::wstring(text, size) : std::wstring();
    if (text)
        LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L' ' || message.back() == L'.'))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(code) : narrow(message);
}

void* symbol(Module module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(module, name));
}
#else
using Module = void*;

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

void* symbol(Module module, const char* name) {
    return dlsym(module, name);
}
#endif

// The factory of a loaded module, after its interface version has been checked; null with
// the reason in `why` when the module is of another build.
TlsEngineFactory checkedFactory(Module module, const std::string& file, std::string& why) {
    const auto version = reinterpret_cast<TlsInterfaceVersion>(symbol(module, ZP_TLS_VERSION_NAME));
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
    const auto create = reinterpret_cast<TlsEngineFactory>(symbol(module, ZP_TLS_FACTORY_NAME));
    if (!create)
        why = file + " has no " ZP_TLS_FACTORY_NAME;
    return create;
}

#ifdef _WIN32
// The module beside the program, by its full path only (never from the current folder or
// PATH), its own imports looked for beside it and in the system folder. A module of another
// interface version is refused unused. The one taken stays loaded for the rest of the run.
Factory loadFactory() {
    Factory factory;
    const std::wstring folder = programFolder();
    std::string why;
    if (folder.empty()) {
        why = "the program's own folder is unknown";
    } else {
        const std::wstring file = folder + L"\\" + std::wstring(L"" ZP_TLS_MODULE_FILE);
        const std::string name = narrow(file);
        HMODULE module = LoadLibraryExW(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        if (!module) {
            why = name + ": " + lastErrorText(GetLastError());
        } else {
            factory.create = checkedFactory(module, name, why);
            if (factory.create)
                return factory;
            FreeLibrary(module);
        }
    }
    factory.error =
        std::string(kTlsModuleProblem) + ZP_TLS_MODULE_FILE " cannot be loaded (" + why + ").";
    return factory;
}
#else
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
    return ZP_TLS_MODULE_FILE;
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
