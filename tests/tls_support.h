#pragma once
// The test CA and server certificates (made once per run by make_test_certs.sh), one
// Dovecot offering STLS and TLS with them, and aiosmtpd speaking TLS with a chosen one.
#ifdef _WIN32
#include <windows.h>

#include <wincrypt.h>
#else
#include "dovecot_server.h"
#endif
#include "fake_server.h"
#include "support/command.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace zp::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

#ifdef _WIN32
// The Dovecot fixture looks up POSIX users (pwd.h) for its configuration.
inline const char* dovecotMissing() {
    return "the Dovecot fixture runs only on Linux (it looks up POSIX users)";
}
struct DovecotServer {
    std::uint16_t port = 0;
    std::uint16_t tlsPort = 0;
};
#else
inline const char* dovecotMissing() {
    return nullptr;
}
#endif

// Why the client cannot speak TLS 1.3 here; null where it can.
inline const char* tls13Missing() {
#ifdef _WIN32
    if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version"))
        return "Wine's Schannel (on GnuTLS) offers no TLS 1.3: its client hello stops at 1.2";
#endif
    return nullptr;
}

#ifdef _WIN32
// A CA installed in the current user's "Root" store of the system for as long as it lives, as
// a company's administrator would install theirs.
class InstalledRoot {
public:
    explicit InstalledRoot(const std::string& pemFile) {
        std::ifstream in(pemFile, std::ios::binary);
        const std::string pem((std::istreambuf_iterator<char>(in)), {});
        DWORD size = 0;
        CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                             nullptr, &size, nullptr, nullptr);
        std::vector<BYTE> der(size);
        m_store =
            CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
        if (size == 0 || !m_store ||
            !CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()),
                                  CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr) ||
            !CertAddEncodedCertificateToStore(m_store, X509_ASN_ENCODING, der.data(), size,
                                              CERT_STORE_ADD_REPLACE_EXISTING, &m_cert)) {
            throw std::runtime_error("the CA cannot be installed: " + pemFile);
        }
        // Written through to the registry now, where the program's own store opens it.
        CertControlStore(m_store, 0, CERT_STORE_CTRL_COMMIT, nullptr);
    }
    ~InstalledRoot() {
        CertDeleteCertificateFromStore(m_cert); // frees m_cert
        CertControlStore(m_store, 0, CERT_STORE_CTRL_COMMIT, nullptr);
        CertCloseStore(m_store, 0);
    }
    InstalledRoot(const InstalledRoot&) = delete;
    InstalledRoot& operator=(const InstalledRoot&) = delete;

private:
    HCERTSTORE m_store = nullptr;
    PCCERT_CONTEXT m_cert = nullptr;
};
inline const char* systemStoreMissing() {
    if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version"))
        return "Wine builds its trusted roots from the host's CA certificates: a CA added to the "
               "current user's Root store is not trusted by the next chain";
    return nullptr;
}
#else
// Stands for the above where the test cannot install a CA in the system's store.
struct InstalledRoot {
    explicit InstalledRoot(const std::string&) {}
};
inline const char* systemStoreMissing() {
    return "a test cannot install a CA in the system's trust store here (it takes root and "
           "changes the machine)";
}
#endif

inline const char* kUser = "alice";
inline const char* kPassword = "s3cret"; // Dovecot's user; aiosmtpd takes the same

// The certificates and the one Dovecot, made once for the whole run and removed after it.
class TlsEnvironment : public ::testing::Environment {
public:
    static TlsEnvironment* instance;
    const fs::path& certs() {
        if (!m_certsDir) {
            m_certsDir = std::make_unique<TempDir>("zp_certs_");
            m_certs = m_certsDir->path();
            const std::string command = "bash '" ZP_TEST_SCRIPTS "/make_test_certs.sh' '" +
                                        m_certs.string() + "' >/dev/null 2>&1";
            if (runShell(command).status != 0) {
                throw std::runtime_error("make_test_certs.sh failed");
            }
        }
        return m_certs;
    }
#ifdef _WIN32
    DovecotServer& dovecot() {
        static DovecotServer none;
        return none;
    }
#else
    DovecotServer& dovecot() {
        if (!m_dovecot) {
            m_dovecot = std::make_unique<DovecotServer>(certs().string());
        }
        return *m_dovecot;
    }
#endif
    void TearDown() override {
#ifndef _WIN32
        m_dovecot.reset();
#endif
        m_certsDir.reset();
    }

private:
    std::unique_ptr<TempDir> m_certsDir;
    fs::path m_certs;
#ifndef _WIN32
    std::unique_ptr<DovecotServer> m_dovecot;
#endif
};
inline TlsEnvironment* TlsEnvironment::instance =
    static_cast<TlsEnvironment*>(::testing::AddGlobalTestEnvironment(new TlsEnvironment));

inline std::string certFile(const std::string& name) {
    return (TlsEnvironment::instance->certs() / name).string();
}

// One aiosmtpd speaking TLS with the named certificate, saving into its own folder.
struct TlsSmtpServer {
    TlsSmtpServer(const std::string& cert, const std::string& mode, bool plainOnly) {
        std::vector<std::string> argv = {ZP_SYSTEM_PYTHON,
                                         ZP_TEST_SCRIPTS "/smtp_server.py",
                                         dir.string(),
                                         "--auth",
                                         std::string(kUser) + ":" + kPassword,
                                         "--tls",
                                         certFile(cert + ".pem"),
                                         certFile(cert + ".key"),
                                         "--mode",
                                         mode};
        if (plainOnly) {
            argv.push_back("--plain-only");
        }
        process = std::make_unique<ServerProcess>(argv);
        const std::string line = process->waitForLine("PORT ", 15s);
        port = static_cast<std::uint16_t>(std::stoi(line.substr(line.find("PORT ") + 5)));
    }
    TempDir tmp{"zp_tls_smtp_"};
    const fs::path dir = tmp.path();
    std::unique_ptr<ServerProcess> process;
    std::uint16_t port = 0;
};

} // namespace zp::test
