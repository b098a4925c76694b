#include "decoders/codeclibs.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

// The file names the build found for the libraries it compiled against; these are the usual ones
// otherwise.
#ifndef ZP_LIBHEIF_FILE
#ifdef _WIN32
#define ZP_LIBHEIF_FILE "libheif.dll"
#else
#define ZP_LIBHEIF_FILE "libheif.so.1"
#endif
#endif
#ifndef ZP_LIBWEBP_FILE
#ifdef _WIN32
#define ZP_LIBWEBP_FILE "libwebp-7.dll"
#else
#define ZP_LIBWEBP_FILE "libwebp.so.7"
#endif
#endif
#ifndef ZP_LIBWEBPDEMUX_FILE
#ifdef _WIN32
#define ZP_LIBWEBPDEMUX_FILE "libwebpdemux-2.dll"
#else
#define ZP_LIBWEBPDEMUX_FILE "libwebpdemux.so.2"
#endif
#endif
#ifndef ZP_LIBAVIF_FILE
#ifdef _WIN32
#define ZP_LIBAVIF_FILE "libavif-15.dll"
#else
#define ZP_LIBAVIF_FILE "libavif.so.15"
#endif
#endif

namespace zp::detail {

namespace {

// One shared library, opened for the rest of the process: the decoders' tables point into it, and
// nothing is gained by ever closing it.
class SharedLibrary {
public:
    // `what` names the picture type in messages ("HEIF"); the environment variable, when set,
    // names another file to load instead (to try a different build of the library, or none).
    SharedLibrary(const char* what, const char* variable, const char* file) : m_what(what) {
        const char* chosen = std::getenv(variable);
        m_file = chosen != nullptr && *chosen != '\0' ? chosen : file;
    }

    bool open(std::string& error) {
#ifdef _WIN32
        // The program's own folder and the system's, never the current folder.
        m_handle = reinterpret_cast<void*>(
            LoadLibraryExA(m_file.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS));
        const std::string reason = "Windows error " + std::to_string(GetLastError());
#else
        m_handle = dlopen(m_file.c_str(), RTLD_NOW | RTLD_LOCAL);
        const char* text = m_handle == nullptr ? dlerror() : nullptr;
        const std::string reason = text != nullptr ? text : "unknown reason";
#endif
        if (m_handle == nullptr)
            error = std::string(m_what) + " error: the library " + m_file + " cannot be loaded (" +
                    reason + ")";
        return m_handle != nullptr;
    }

    template <class Function> bool bind(Function& function, const char* name, std::string& error) {
#ifdef _WIN32
        // Through the one function type that converts to any other without a warning.
        auto symbol =
            reinterpret_cast<void (*)()>(GetProcAddress(reinterpret_cast<HMODULE>(m_handle), name));
#else
        void* symbol = dlsym(m_handle, name);
#endif
        function = reinterpret_cast<Function>(symbol);
        if (function == nullptr)
            error = std::string(m_what) + " error: the library " + m_file + " lacks the function " +
                    name + " (another library, or too old a version)";
        return function != nullptr;
    }

private:
    const char* m_what;
    std::string m_file;
    void* m_handle = nullptr;
};

template <class Table> struct Loaded {
    Table table;
    std::string error;
    bool ok = false; // every function was found
};

#define ZP_BIND_FUNCTION(name) &&library.bind(table.name, #name, error)
#define ZP_BIND_DEMUX_FUNCTION(name) &&demux.bind(table.name, #name, error)

Loaded<HeifLibrary> loadHeif() {
    Loaded<HeifLibrary> loaded;
    SharedLibrary library("HEIF", "ZP_LIBHEIF_FILE", ZP_LIBHEIF_FILE);
    HeifLibrary& table = loaded.table;
    std::string& error = loaded.error;
    loaded.ok = library.open(error) ZP_HEIF_FUNCTIONS(ZP_BIND_FUNCTION);
    return loaded;
}

Loaded<WebpLibrary> loadWebp() {
    Loaded<WebpLibrary> loaded;
    SharedLibrary library("WebP", "ZP_LIBWEBP_FILE", ZP_LIBWEBP_FILE);
    SharedLibrary demux("WebP", "ZP_LIBWEBPDEMUX_FILE", ZP_LIBWEBPDEMUX_FILE);
    WebpLibrary& table = loaded.table;
    std::string& error = loaded.error;
    loaded.ok = library.open(error) ZP_WEBP_FUNCTIONS(ZP_BIND_FUNCTION) &&
                demux.open(error) ZP_WEBPDEMUX_FUNCTIONS(ZP_BIND_DEMUX_FUNCTION);
    return loaded;
}

Loaded<AvifLibrary> loadAvif() {
    Loaded<AvifLibrary> loaded;
    SharedLibrary library("AVIF", "ZP_LIBAVIF_FILE", ZP_LIBAVIF_FILE);
    AvifLibrary& table = loaded.table;
    std::string& error = loaded.error;
    loaded.ok = library.open(error) ZP_AVIF_FUNCTIONS(ZP_BIND_FUNCTION);
    return loaded;
}

#undef ZP_BIND_FUNCTION
#undef ZP_BIND_DEMUX_FUNCTION

template <class Table> const Table* answer(const Loaded<Table>& loaded, std::string& error) {
    if (!loaded.ok) {
        error = loaded.error;
        return nullptr;
    }
    return &loaded.table;
}

} // namespace

// A function-local static is initialised once, by the first thread to get there, while any other
// waits for it: the libraries are loaded once however many pictures are decoded at the same time.
const HeifLibrary* heifLibrary(std::string& error) {
    static const Loaded<HeifLibrary> loaded = loadHeif();
    return answer(loaded, error);
}

const WebpLibrary* webpLibrary(std::string& error) {
    static const Loaded<WebpLibrary> loaded = loadWebp();
    return answer(loaded, error);
}

const AvifLibrary* avifLibrary(std::string& error) {
    static const Loaded<AvifLibrary> loaded = loadAvif();
    return answer(loaded, error);
}

} // namespace zp::detail
