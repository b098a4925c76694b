// The server's certificate, checked in the order the Linux module reports: who issued it, the
// host name or address, then its dates. The chain is built by the system against its own
// store ("ROOT", where a company's CA is installed) with the user's CA file as one more place
// to find roots; a chain that ends in a certificate of that file is trusted like one of the
// system's.
#include "mail/tls/schannelverify.h"

#include "fileio/fileio.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <memory>
#include <string_view>
#include <vector>

// The checks the SSL policy can be told to skip (declared with the internet headers).
#ifndef SECURITY_FLAG_IGNORE_REVOCATION
#define SECURITY_FLAG_IGNORE_REVOCATION 0x00000080
#define SECURITY_FLAG_IGNORE_UNKNOWN_CA 0x00000100
#define SECURITY_FLAG_IGNORE_WRONG_USAGE 0x00000200
#define SECURITY_FLAG_IGNORE_CERT_DATE_INVALID 0x00002000
#endif

namespace zp::schannel {

namespace {

// A CA file larger than this is not a CA file.
constexpr LONGLONG kMaxCaFileBytes = 64 * 1024 * 1024;

struct StoreCloser {
    void operator()(void* store) const { CertCloseStore(static_cast<HCERTSTORE>(store), 0); }
};
using Store = std::unique_ptr<void, StoreCloser>;

struct ChainFreer {
    void operator()(PCCERT_CHAIN_CONTEXT chain) const { CertFreeCertificateChain(chain); }
};
using Chain = std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainFreer>;

// The path in the file library's `\\?\` form, so that a CA file in a folder whose name ends in
// a dot or a space, or on a path longer than 260 characters, is found under its real name.
// Shared for reading and deletion: the user's own tools may replace the file meanwhile.
bool readWholeFile(const std::string& path, std::string& data) {
    const std::wstring name =
        fileio::win32Path(fileio::fs::path(std::u8string(path.begin(), path.end())));
    HANDLE file = name.empty()
                      ? INVALID_HANDLE_VALUE
                      : CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart <= kMaxCaFileBytes;
    if (ok) {
        data.resize(static_cast<std::size_t>(size.QuadPart));
        std::size_t done = 0;
        while (ok && done < data.size()) {
            DWORD got = 0;
            ok = ReadFile(file, data.data() + done, static_cast<DWORD>(data.size() - done), &got,
                          nullptr) &&
                 got > 0;
            done += got;
        }
    }
    CloseHandle(file);
    return ok;
}

// The DER bytes of each PEM certificate block of `text`, into `store`; how many were taken.
int addPemCertificates(const std::string& text, HCERTSTORE store) {
    static constexpr std::string_view kBegin = "-----BEGIN CERTIFICATE-----";
    static constexpr std::string_view kEnd = "-----END CERTIFICATE-----";
    int added = 0;
    for (std::size_t at = text.find(kBegin); at != std::string::npos;
         at = text.find(kBegin, at + kBegin.size())) {
        const std::size_t end = text.find(kEnd, at);
        if (end == std::string::npos) {
            break;
        }
        const std::string block = text.substr(at, end + kEnd.size() - at);
        DWORD size = 0;
        if (!CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()),
                                  CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
            continue;
        }
        std::vector<BYTE> der(size);
        if (CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()),
                                 CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr) &&
            CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size,
                                             CERT_STORE_ADD_USE_EXISTING, nullptr)) {
            ++added;
        }
    }
    return added;
}

// The server's certificate and the certificates it sent with it, and the user's roots.
Store searchStore(PCCERT_CONTEXT server, HCERTSTORE extraRoots) {
    Store all(CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr));
    if (all) {
        if (server->hCertStore) {
            CertAddStoreToCollection(all.get(), server->hCertStore, 0, 0);
        }
        if (extraRoots) {
            CertAddStoreToCollection(all.get(), extraRoots, 0, 0);
        }
    }
    return all;
}

Chain buildChain(PCCERT_CONTEXT server, HCERTSTORE extraRoots) {
    Store all = searchStore(server, extraRoots);
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    LPSTR usage[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH)};
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = usage;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    if (!CertGetCertificateChain(nullptr, server, nullptr, all.get(), &para, 0, nullptr, &chain)) {
        return nullptr;
    }
    return Chain(chain);
}

bool isInStore(HCERTSTORE store, PCCERT_CONTEXT cert) {
    if (!store) {
        return false;
    }
    PCCERT_CONTEXT found =
        CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, cert, nullptr);
    if (found) {
        CertFreeCertificateContext(found);
    }
    return found != nullptr;
}

// Why the chain is not trusted; empty when it is.
std::string trustFailure(const CERT_CHAIN_CONTEXT& chain, HCERTSTORE extraRoots) {
    const CERT_SIMPLE_CHAIN& simple = *chain.rgpChain[0];
    const CERT_CHAIN_ELEMENT& root = *simple.rgpElement[simple.cElement - 1];
    DWORD status = chain.TrustStatus.dwErrorStatus;
    if (isInStore(extraRoots, root.pCertContext)) {
        status &= ~static_cast<DWORD>(CERT_TRUST_IS_UNTRUSTED_ROOT);
    }
    if (status & CERT_TRUST_IS_REVOKED) {
        return "The server's certificate has been revoked.";
    }
    if (status & CERT_TRUST_IS_PARTIAL_CHAIN) {
        return "The server's certificate was issued by an unknown authority.";
    }
    if (status & CERT_TRUST_IS_UNTRUSTED_ROOT) {
        const bool selfSigned =
            simple.cElement == 1 && (root.TrustStatus.dwInfoStatus & CERT_TRUST_IS_SELF_SIGNED);
        return selfSigned ? "The server's certificate is self-signed."
                          : "The server's certificate was issued by an unknown authority.";
    }
    if (status & CERT_TRUST_IS_NOT_SIGNATURE_VALID) {
        return "The server's certificate was not accepted (certificate signature failure).";
    }
    if (status & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) {
        return "The server's certificate was not accepted (unsuitable certificate purpose).";
    }
    return {};
}

// Whether the certificate names the address among its alternative names.
bool certificateHasAddress(PCCERT_CONTEXT cert, const std::string& address) {
    const CERT_INFO& info = *cert->pCertInfo;
    PCERT_EXTENSION extension =
        CertFindExtension(szOID_SUBJECT_ALT_NAME2, info.cExtension, info.rgExtension);
    if (!extension) {
        return false;
    }
    CERT_ALT_NAME_INFO* names = nullptr;
    DWORD size = 0;
    if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData,
                             extension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &names,
                             &size)) {
        return false;
    }
    bool found = false;
    for (DWORD i = 0; i < names->cAltEntry && !found; ++i) {
        const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[i];
        found = entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS &&
                std::string_view(reinterpret_cast<const char*>(entry.IPAddress.pbData),
                                 entry.IPAddress.cbData) == address;
    }
    LocalFree(names);
    return found;
}

// Whether the certificate is for the host name, by the system's own rules (alternative
// names, wild cards).
bool certificateHasName(const CERT_CHAIN_CONTEXT& chain, const std::string& host) {
    std::wstring name = widen(host);
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    // Trust and dates are judged above; here only the name.
    ssl.fdwChecks = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                    SECURITY_FLAG_IGNORE_WRONG_USAGE | SECURITY_FLAG_IGNORE_REVOCATION;
    ssl.pwszServerName = name.data();
    CERT_CHAIN_POLICY_PARA para{};
    para.cbSize = sizeof para;
    para.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, &chain, &para, &status)) {
        return false;
    }
    return status.dwError != static_cast<DWORD>(CERT_E_CN_NO_MATCH);
}

} // namespace

std::wstring widen(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
    if (size > 0) {
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                            size);
    }
    return wide;
}

bool parseIpAddress(const std::string& host, std::string& bytes) {
    unsigned char buffer[16];
    if (inet_pton(AF_INET, host.c_str(), buffer) == 1) {
        bytes.assign(reinterpret_cast<const char*>(buffer), 4);
        return true;
    }
    if (inet_pton(AF_INET6, host.c_str(), buffer) == 1) {
        bytes.assign(reinterpret_cast<const char*>(buffer), 16);
        return true;
    }
    return false;
}

HCERTSTORE loadCaFile(const std::string& path) {
    std::string text;
    if (!readWholeFile(path, text)) {
        return nullptr;
    }
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
    if (store && addPemCertificates(text, store) == 0) {
        CertCloseStore(store, 0);
        store = nullptr;
    }
    return store;
}

std::string checkServerCertificate(PCCERT_CONTEXT server, const std::string& host,
                                   HCERTSTORE extraRoots) {
    const Chain chain = buildChain(server, extraRoots);
    if (!chain || chain->cChain == 0 || chain->rgpChain[0]->cElement == 0) {
        return "The server's certificate was not accepted (no chain could be built).";
    }
    if (std::string why = trustFailure(*chain, extraRoots); !why.empty()) {
        return why;
    }
    std::string address;
    const bool named = parseIpAddress(host, address) ? certificateHasAddress(server, address)
                                                     : certificateHasName(*chain, host);
    if (!named) {
        return "The server's certificate is for another host name.";
    }
    const CERT_SIMPLE_CHAIN& simple = *chain->rgpChain[0];
    for (DWORD i = 0; i < simple.cElement; ++i) {
        const LONG when =
            CertVerifyTimeValidity(nullptr, simple.rgpElement[i]->pCertContext->pCertInfo);
        if (when < 0) {
            return "The server's certificate is not yet valid.";
        }
        if (when > 0) {
            return "The server's certificate has expired.";
        }
    }
    return {};
}

} // namespace zp::schannel
