#pragma once
// A real POP3 server (Dovecot) on 127.0.0.1 for the POP before SMTP tests.
#include "fake_server.h"
#include "support/files.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <pwd.h>
#include <sstream>
#include <unistd.h>

namespace zp::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline const char* kDovecot = "/usr/sbin/dovecot";

inline std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// Dovecot slows each further failed log-in from one address down (2 s, then 4 s, ...),
// so the failing cases are few.
// One Dovecot for the whole suite, with one user "alice" whose mailbox holds two
// messages. As root, Dovecot runs its login and internal processes as its own users
// and the mailbox as "nobody"; otherwise everything runs as the current user.
// With certDir (good.pem and good.key of make_test_certs.sh), it offers STLS on `port`,
// takes passwords only over TLS, and speaks TLS from the start on `tlsPort`.
class DovecotServer {
public:
    explicit DovecotServer(const std::string& certDir = {}) {
        const bool root = geteuid() == 0;
        const uid_t uid = root ? 65534 : getuid();
        const gid_t gid = root ? 65534 : getgid();
        const passwd* me = getpwuid(getuid());
        const std::string self = me ? me->pw_name : "root";
        // Dovecot's own users must be able to reach the files below the folder.
        fs::permissions(m_dir, fs::perms::owner_all | fs::perms::group_read |
                                   fs::perms::group_exec | fs::perms::others_read |
                                   fs::perms::others_exec);
        for (const char* sub :
             {"run", "state", "home", "mail/alice/cur", "mail/alice/new", "mail/alice/tmp"}) {
            fs::create_directories(m_dir / sub);
        }
        std::ofstream(m_dir / "mail/alice/new/1.zp") << "Subject: one\n\nfirst\n";
        std::ofstream(m_dir / "mail/alice/new/2.zp") << "Subject: two\n\nsecond\n";
        for (const char* sub : {"home", "mail", "mail/alice", "mail/alice/cur", "mail/alice/new",
                                "mail/alice/tmp", "mail/alice/new/1.zp", "mail/alice/new/2.zp"}) {
            if (chown((m_dir / sub).c_str(), uid, gid) != 0) {
                throw std::runtime_error("chown failed");
            }
        }
        std::ofstream(m_dir / "users") << "alice:{PLAIN}s3cret:" << uid << ":" << gid
                                       << "::" << (m_dir / "home").string() << "\n";
        port = unusedPort();
        std::string conf =
            replaceAll(readText(ZP_TEST_SCRIPTS "/dovecot.conf.in"), "@DIR@", m_dir.string());
        conf = replaceAll(conf, "@PORT@", std::to_string(port));
        conf = replaceAll(conf, "@LOGIN_USER@", root ? "dovenull" : self);
        conf = replaceAll(conf, "@INTERNAL_USER@", root ? "dovecot" : self);
        std::string ssl = "ssl = no\ndisable_plaintext_auth = no";
        std::string listener;
        if (!certDir.empty()) {
            tlsPort = unusedPort();
            ssl = "ssl = required\ndisable_plaintext_auth = yes\nssl_min_protocol = TLSv1.2\n"
                  "ssl_cert = <" +
                  certDir + "/good.pem\nssl_key = <" + certDir + "/good.key";
            listener = "  inet_listener pop3s {\n    port = " + std::to_string(tlsPort) +
                       "\n    ssl = yes\n  }";
        }
        conf = replaceAll(conf, "@SSL@", ssl);
        conf = replaceAll(conf, "@TLS_LISTENER@", listener);
        std::ofstream(m_dir / "dovecot.conf") << conf;
        m_process = std::make_unique<ServerProcess>(
            std::vector<std::string>{kDovecot, "-F", "-c", (m_dir / "dovecot.conf").string()});
        m_process->waitForLine("starting up", 15s);
    }
    ~DovecotServer() {
        if (m_process) {
            m_process->stop(SIGTERM, 5s);
        }
    }
    std::uint16_t port = 0;
    std::uint16_t tlsPort = 0;

private:
    TempDir m_tmp{"zp_dovecot_"};
    const fs::path m_dir = m_tmp.path();
    std::unique_ptr<test::ServerProcess> m_process;
};

} // namespace zp::test
