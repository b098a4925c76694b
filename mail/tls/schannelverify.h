#pragma once
// The checks of the Windows TLS module on the server's certificate: its chain up to a root of
// the system's store or of the user's CA file, its dates and the host name or address it is
// for. The texts are the same as those of the module on Linux.
#include <windows.h>

#include <wincrypt.h>

#include <string>

namespace zp::schannel {

// The certificates of a PEM file (one or more "BEGIN CERTIFICATE" blocks) in a store of its
// own; null when the file cannot be read or holds no certificate.
HCERTSTORE loadCaFile(const std::string& path);

// Empty when the server's certificate is good for `host` (a name or an IP address), else the
// reason ("The server's certificate has expired.", ...). `extraRoots` (may be null) holds
// roots trusted besides the system's.
std::string checkServerCertificate(PCCERT_CONTEXT server, const std::string& host,
                                   HCERTSTORE extraRoots);

// Whether `host` is an IPv4 or IPv6 address, with its bytes in `bytes`.
bool parseIpAddress(const std::string& host, std::string& bytes);

// A wide string from UTF-8.
std::wstring widen(const std::string& text);

} // namespace zp::schannel
