// A TLS module as another build of the program would have made it: an interface version
// after ours (ZP_NEXT_VERSION), or none at all. The program must refuse it before
// calling anything else in it, so its factory only says that it was called.
#include "mail/tlsengine.h"

#include <cstdio>

#ifdef _WIN32
#define ZP_EXPORT extern "C" __declspec(dllexport)
#else
#define ZP_EXPORT extern "C" __attribute__((visibility("default")))
#endif

#ifdef ZP_NEXT_VERSION
ZP_EXPORT int zpTlsInterfaceVersion() {
    return zp::kTlsInterfaceVersion + 1;
}
#endif

ZP_EXPORT zp::TlsEngine* zpTlsCreate(const char*, const char*) {
    std::printf("the other build's factory was called\n");
    return nullptr;
}
