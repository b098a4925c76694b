// Protected mail connections against real servers on 127.0.0.1 (aiosmtpd with STARTTLS
// and with TLS from the start, Dovecot with STLS and TLS) whose certificates a test CA,
// made at test time, signed; and the refusals, against those servers and a scripted one.
#include "fake_server.h"
#include "mail/mailerror.h"
#include "mail/pop3client.h"
#include "mail/senddialogue.h"
#include "mail/smtpclient.h"
#include "mail/tls.h"
#include "mail/tlsengine.h"
#include "support/command.h"
#include "tls_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace zp {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::FakeServer;
using test::Step;

using test::certFile;
using test::kPassword;
using test::kUser;
using test::TlsEnvironment;
using test::TlsSmtpServer;

const char* kPasswordBase64 = "czNjcmV0";

SendJob makeJob(const std::string& host, std::uint16_t port, MailSecurity security) {
    SendJob job;
    job.smtpHost = host;
    job.smtpPort = port;
    job.smtpSecurity = security;
    job.caFile = certFile("ca.pem");
    job.user = kUser;
    job.password = kPassword;
    job.senderAddress = "me@example.jp";
    job.recipients = "you@example.jp";
    job.subject = "TLS test";
    job.body = "hello over TLS";
    job.xMailer = "zoripost";
    job.connectTimeout = 10s;
    job.replyTimeout = 10s;
    return job;
}

// The fields check_mail.py reads from a saved mail.
std::string readField(const fs::path& eml, const std::string& field) {
    const std::string command = std::string(ZP_SYSTEM_PYTHON) + " " + ZP_TEST_SCRIPTS +
                                "/check_mail.py '" + eml.string() + "'";
    const std::string text = "\n" + test::runShell(command).output;
    const std::string key = "\n" + field + "=";
    const std::size_t at = text.find(key);
    if (at == std::string::npos) {
        return "(missing)";
    }
    const std::size_t start = at + key.size();
    return text.substr(start, text.find('\n', start) - start);
}

std::string lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::ptrdiff_t indexOf(const std::vector<std::string>& lines, const std::string& start) {
    const auto it = std::find_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return lower(line).rfind(lower(start), 0) == 0;
    });
    return it == lines.end() ? -1 : it - lines.begin();
}

// ---- Mails that go through ----

struct SendCase {
    const char* name;
    const char* mode; // of the server
    bool plainOnly;
    MailSecurity security;
    const char* host;
    MailSecurity pop3; // None: no POP before SMTP
    const char* authLine;
};

void PrintTo(const SendCase& c, std::ostream* os) {
    *os << c.name;
}

class TlsSend : public ::testing::TestWithParam<SendCase> {};

TEST_P(TlsSend, MailArrivesAfterAuthOverTheProtectedConnection) {
    const SendCase& c = GetParam();
    TlsSmtpServer server("good", c.mode, c.plainOnly);
    SendJob job = makeJob(c.host, server.port, c.security);
    if (c.pop3 != MailSecurity::None && test::dovecotMissing())
        GTEST_SKIP() << test::dovecotMissing();
    if (c.pop3 != MailSecurity::None) {
        test::DovecotServer& dovecot = TlsEnvironment::instance->dovecot();
        job.popBeforeSmtp = true;
        job.pop3Host = c.host;
        job.pop3Security = c.pop3;
        job.pop3Port = c.pop3 == MailSecurity::Tls ? dovecot.tlsPort : dovecot.port;
    }
    std::vector<std::string> transcript;
    std::vector<SendStep> steps;
    SendDialogue dialogue;
    dialogue.transcript = [&](char direction, std::string_view line) {
        transcript.push_back(std::string(1, direction) + std::string(line));
    };
    dialogue.onStep = [&](SendStep step) { steps.push_back(step); };
    const SendResult result = dialogue.run(job);

    ASSERT_TRUE(result.sent) << result.error;
    const fs::path eml = server.dir / "1.eml";
    ASSERT_TRUE(fs::exists(eml));
    EXPECT_EQ(readField(eml, "subject"), "TLS test");
    EXPECT_EQ(readField(eml, "body"), "hello over TLS\\n");
    EXPECT_NE(indexOf(transcript, ">" + std::string(c.authLine)), -1);
    for (const auto& line : transcript) {
        EXPECT_EQ(line.find(kPassword), std::string::npos) << line;
        EXPECT_EQ(line.find(kPasswordBase64), std::string::npos) << line;
    }
    if (c.security == MailSecurity::StartTls) {
        // The extensions are asked for again once the connection is protected.
        const auto starttls = indexOf(transcript, ">STARTTLS");
        ASSERT_NE(starttls, -1);
        EXPECT_GT(indexOf(transcript, ">auth"), starttls);
        EXPECT_EQ(std::count_if(transcript.begin(), transcript.end(),
                                [](const std::string& l) { return l.rfind(">ehlo ", 0) == 0; }),
                  2);
    }
    if (c.pop3 != MailSecurity::None) {
        EXPECT_NE(std::find(steps.begin(), steps.end(), SendStep::Pop3Connected), steps.end());
        EXPECT_NE(indexOf(transcript, ">PASS ***"), -1);
        EXPECT_EQ(indexOf(transcript, ">STLS") != -1, c.pop3 == MailSecurity::StartTls);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ways, TlsSend,
    ::testing::Values(SendCase{"starttls_login", "starttls", false, MailSecurity::StartTls,
                               "localhost", MailSecurity::None, "auth LOGIN"},
                      SendCase{"tls_login", "tls", false, MailSecurity::Tls, "localhost",
                               MailSecurity::None, "auth LOGIN"},
                      SendCase{"starttls_plain_by_address", "starttls", true,
                               MailSecurity::StartTls, "127.0.0.1", MailSecurity::None,
                               "auth PLAIN ***"},
                      SendCase{"tls_plain", "tls", true, MailSecurity::Tls, "localhost",
                               MailSecurity::None, "auth PLAIN ***"},
                      SendCase{"pop_stls_then_starttls", "starttls", false, MailSecurity::StartTls,
                               "localhost", MailSecurity::StartTls, "auth LOGIN"},
                      SendCase{"pop_tls_then_tls", "tls", false, MailSecurity::Tls, "127.0.0.1",
                               MailSecurity::Tls, "auth LOGIN"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Refusals ----

Step sendLine(const char* text) {
    return test::send(text);
}

const std::vector<Step> kGreeting = {sendLine("220 fake-smtp.test ESMTP\r\n")};
const std::vector<Step> kEhloWithTls =
    test::reply("250-fake-smtp.test\r\n250-AUTH LOGIN PLAIN\r\n250 STARTTLS\r\n");

struct RefusalCase {
    const char* name;
    const char* cert; // a real server with this certificate; nullptr: the script
    const char* mode;
    std::vector<Step> script;
    const char* host;
    MailSecurity security;
    std::chrono::milliseconds replyTimeout;
    std::string error; // start of the error text
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.name;
}

class TlsRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(TlsRefusal, SendEndsWithTheReasonAndNoCredentialsOnTheWire) {
    const RefusalCase& c = GetParam();
    std::unique_ptr<TlsSmtpServer> real;
    std::unique_ptr<FakeServer> scripted;
    std::uint16_t port = 0;
    if (c.cert) {
        real = std::make_unique<TlsSmtpServer>(c.cert, c.mode, false);
        port = real->port;
    } else {
        scripted = std::make_unique<FakeServer>(c.script);
        port = scripted->port();
    }
    SendJob job = makeJob(c.host, port, c.security);
    job.replyTimeout = c.replyTimeout;
    SendDialogue dialogue;
    const SendResult result = dialogue.run(job);

    EXPECT_FALSE(result.sent);
    ASSERT_TRUE(result.failed);
    EXPECT_EQ(result.error.substr(0, c.error.size()), c.error) << result.error;
    if (real) {
        EXPECT_FALSE(fs::exists(real->dir / "1.eml"));
        return;
    }
    scripted->transcript();
    const std::string raw = lower(scripted->rawInput());
    for (const char* never : {"auth", "mail from", "rcpt", "data", "czNjcmV0", "YWxpY2U="}) {
        EXPECT_EQ(raw.find(lower(never)), std::string::npos) << never;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, TlsRefusal,
    ::testing::Values(
        RefusalCase{"wrong_host_name",
                    "wrongname",
                    "tls",
                    {},
                    "localhost",
                    MailSecurity::Tls,
                    10s,
                    "TLS Error\r\nThe server's certificate is for another host name."},
        RefusalCase{"wrong_address",
                    "wrongname",
                    "starttls",
                    {},
                    "127.0.0.1",
                    MailSecurity::StartTls,
                    10s,
                    "TLS Error\r\nThe server's certificate is for another host name."},
        RefusalCase{"expired",
                    "expired",
                    "tls",
                    {},
                    "localhost",
                    MailSecurity::Tls,
                    10s,
                    "TLS Error\r\nThe server's certificate has expired."},
        RefusalCase{"not_yet_valid",
                    "notyet",
                    "starttls",
                    {},
                    "localhost",
                    MailSecurity::StartTls,
                    10s,
                    "TLS Error\r\nThe server's certificate is not yet valid."},
        RefusalCase{"unknown_ca",
                    "unknown",
                    "starttls",
                    {},
                    "localhost",
                    MailSecurity::StartTls,
                    10s,
                    "TLS Error\r\nThe server's certificate was issued by an unknown"},
        RefusalCase{"self_signed",
                    "selfsigned",
                    "tls",
                    {},
                    "127.0.0.1",
                    MailSecurity::Tls,
                    10s,
                    "TLS Error\r\nThe server's certificate is self-signed."},
        RefusalCase{"starttls_not_announced", nullptr, "",
                    test::script({kGreeting, test::reply("250-fake-smtp.test\r\n"
                                                         "250 AUTH LOGIN PLAIN\r\n")}),
                    "127.0.0.1", MailSecurity::StartTls, 10s,
                    "TLS Error\r\nThe server does not offer STARTTLS."},
        RefusalCase{"ehlo_refused", nullptr, "",
                    test::script({kGreeting, test::reply("502 5.5.2 no EHLO here\r\n")}),
                    "127.0.0.1", MailSecurity::StartTls, 10s,
                    "TLS Error\r\nThe server does not offer STARTTLS."},
        RefusalCase{
            "starttls_refused", nullptr, "",
            test::script({kGreeting, kEhloWithTls, test::reply("454 4.7.0 TLS not available\r\n")}),
            "127.0.0.1", MailSecurity::StartTls, 10s,
            "TLS Error\r\nThe server refused STARTTLS: 454 4.7.0 TLS not available"},
        RefusalCase{"injected_after_reply", nullptr, "",
                    test::script({kGreeting, kEhloWithTls,
                                  test::reply("220 2.0.0 Ready\r\n250-fake-smtp.test\r\n"
                                              "250 AUTH PLAIN\r\n")}),
                    "127.0.0.1", MailSecurity::StartTls, 10s,
                    "TLS Error\r\nThe server sent unprotected data before the TLS handshake."},
        RefusalCase{"handshake_stalls_after_starttls", nullptr, "",
                    test::script({kGreeting, kEhloWithTls, test::reply("220 2.0.0 Ready\r\n")}),
                    "127.0.0.1", MailSecurity::StartTls, 300ms,
                    "Socket Error # 10060\r\nConnection timed out."},
        RefusalCase{"handshake_stalls_on_tls_port",
                    nullptr,
                    "",
                    {},
                    "127.0.0.1",
                    MailSecurity::Tls,
                    300ms,
                    "Socket Error # 10060\r\nConnection timed out."},
        RefusalCase{"plain_server_on_tls_port", nullptr, "", kGreeting, "127.0.0.1",
                    MailSecurity::Tls, 10s, "TLS Error\r\nThe TLS handshake failed"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Where trust comes from ----

// The test CA where the program looks for it: in the CA file (alone, or after a CA it does
// not need), installed in the system's store with no CA file, or nowhere. An unreadable CA
// file or one with no certificate is refused before any connection.
struct TrustCase {
    const char* name;
    const char* caFile; // in the certificates' folder; "" for none
    bool installCa;     // the test CA in the system's store for the time of the send
    std::string error;  // start of the error text; empty: sent
};

void PrintTo(const TrustCase& c, std::ostream* os) {
    *os << c.name;
}

class TlsTrust : public ::testing::TestWithParam<TrustCase> {};

TEST_P(TlsTrust, TheServerIsTrustedOnlyThroughTheTestCa) {
    const TrustCase& c = GetParam();
    if (c.installCa && test::systemStoreMissing())
        GTEST_SKIP() << test::systemStoreMissing();
    const fs::path certs = TlsEnvironment::instance->certs();
    {
        std::ofstream(certs / "both.pem") << std::ifstream(certs / "other.pem").rdbuf()
                                          << std::ifstream(certs / "ca.pem").rdbuf();
        std::ofstream(certs / "not-pem.pem") << "no certificate here\n";
    }
    std::unique_ptr<test::InstalledRoot> installed;
    if (c.installCa)
        installed = std::make_unique<test::InstalledRoot>(certFile("ca.pem"));
    TlsSmtpServer server("good", "tls", false);
    SendJob job = makeJob("localhost", server.port, MailSecurity::Tls);
    job.caFile = *c.caFile ? certFile(c.caFile) : std::string();
    SendDialogue dialogue;
    const SendResult result = dialogue.run(job);
    std::string expected = c.error;
    if (const std::size_t at = expected.find("@FILE@"); at != std::string::npos)
        expected.replace(at, 6, job.caFile);
    EXPECT_EQ(result.sent, c.error.empty()) << result.error;
    EXPECT_EQ(result.error.substr(0, expected.size()), expected) << result.error;
    EXPECT_EQ(fs::exists(server.dir / "1.eml"), c.error.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, TlsTrust,
    ::testing::Values(TrustCase{"ca_file", "ca.pem", false, ""},
                      TrustCase{"ca_file_with_another_ca_first", "both.pem", false, ""},
                      TrustCase{"installed_in_the_system_store", "", true, ""},
                      TrustCase{"nowhere", "", false,
                                "TLS Error\r\nThe server's certificate was issued by an unknown"},
                      TrustCase{"only_another_ca", "other.pem", false,
                                "TLS Error\r\nThe server's certificate was issued by an unknown"},
                      TrustCase{"ca_file_missing", "missing.pem", false,
                                "TLS Error\r\nThe CA file @FILE@ cannot be read."},
                      TrustCase{"ca_file_without_certificates", "not-pem.pem", false,
                                "TLS Error\r\nThe CA file @FILE@ cannot be read."}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Protocol versions ----

// A server that speaks only one TLS version (openssl s_server -www, which waits for a
// request and sends no greeting):
// from 1.2 on the handshake succeeds and the wait for the greeting runs out; older
// versions are refused in the handshake.
struct VersionCase {
    const char* option;
    std::string error;
    bool askClientCertificate = false; // the server asks for one; the client has none
};

std::string versionCaseName(const VersionCase& c) {
    return std::string(c.option + 1) + (c.askClientCertificate ? "_client_certificate_asked" : "");
}

void PrintTo(const VersionCase& c, std::ostream* os) {
    *os << versionCaseName(c);
}

class TlsVersion : public ::testing::TestWithParam<VersionCase> {};

TEST_P(TlsVersion, NothingOlderThanTls12) {
    if (std::string(GetParam().option) == "-tls1_3" && test::tls13Missing())
        GTEST_SKIP() << test::tls13Missing();
    const std::uint16_t port = test::unusedPort();
    std::vector<std::string> argv = {"/usr/bin/openssl",
                                     "s_server",
                                     "-accept",
                                     "127.0.0.1:" + std::to_string(port),
                                     "-cert",
                                     certFile("good.pem"),
                                     "-key",
                                     certFile("good.key"),
                                     GetParam().option,
                                     "-cipher",
                                     "DEFAULT@SECLEVEL=0",
                                     "-www",
                                     "-naccept",
                                     "1"};
    if (GetParam().askClientCertificate) {
        argv.insert(argv.end(), {"-verify", "1", "-CAfile", certFile("ca.pem")});
    }
    test::ServerProcess server(argv);
    server.waitForLine("ACCEPT", 10s);
    SmtpClient client;
    client.Host = "127.0.0.1";
    client.Port = port;
    client.Security = MailSecurity::Tls;
    client.CaFile = certFile("ca.pem");
    // A refused version fails in the handshake; an accepted one waits in vain for the
    // greeting, so only those rows need a short wait (a slow machine may take longer than
    // that to refuse).
    const bool accepted = GetParam().error.find("10060") != std::string::npos;
    client.ReplyTimeout = accepted ? 300ms : 10000ms;
    std::string error;
    try {
        client.Connect();
    } catch (const MailError& e) {
        error = e.what();
    }
    EXPECT_EQ(error, GetParam().error) << server.output();
}

INSTANTIATE_TEST_SUITE_P(
    Table, TlsVersion,
    ::testing::Values(
        VersionCase{"-tls1", "TLS Error\r\nThe server offers no TLS version from 1.2 on."},
        VersionCase{"-tls1_1", "TLS Error\r\nThe server offers no TLS version from 1.2 on."},
        VersionCase{"-tls1_2", "Socket Error # 10060\r\nConnection timed out."},
        VersionCase{"-tls1_3", "Socket Error # 10060\r\nConnection timed out."},
        VersionCase{"-tls1_2", "Socket Error # 10060\r\nConnection timed out.", true}),
    [](const auto& info) { return versionCaseName(info.param); });

// ---- POP3 ----

struct Pop3Case {
    const char* name;
    bool dovecotTlsPort; // the real Dovecot (on its TLS port or not); else the script
    bool realServer;
    std::vector<Step> script;
    MailSecurity security;
    std::string error; // start of the error text; empty: logged in
};

void PrintTo(const Pop3Case& c, std::ostream* os) {
    *os << c.name;
}

class TlsPop3 : public ::testing::TestWithParam<Pop3Case> {};

TEST_P(TlsPop3, LogsInOnlyOverTheProtectedConnection) {
    const Pop3Case& c = GetParam();
    if (c.realServer && test::dovecotMissing())
        GTEST_SKIP() << test::dovecotMissing();
    std::unique_ptr<FakeServer> scripted;
    Pop3Client client;
    client.Host = "127.0.0.1";
    client.UserID = kUser;
    client.Password = kPassword;
    client.Security = c.security;
    client.CaFile = certFile("ca.pem");
    client.ConnectTimeout = 10s;
    client.ReplyTimeout = c.realServer ? 10s : 300ms;
    if (c.realServer) {
        test::DovecotServer& dovecot = TlsEnvironment::instance->dovecot();
        client.Port = c.dovecotTlsPort ? dovecot.tlsPort : dovecot.port;
    } else {
        scripted = std::make_unique<FakeServer>(c.script);
        client.Port = scripted->port();
    }
    std::string error;
    try {
        client.Connect();
        EXPECT_EQ(client.MessageCount(), 2);
        client.Disconnect();
    } catch (const std::exception& e) {
        error = e.what();
    }
    EXPECT_EQ(error.substr(0, c.error.size()), c.error) << error;
    EXPECT_EQ(error.empty(), c.error.empty()) << error;
    if (scripted) {
        scripted->transcript();
        const std::string raw = scripted->rawInput();
        EXPECT_EQ(raw.find("USER"), std::string::npos);
        EXPECT_EQ(raw.find("PASS"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, TlsPop3,
    ::testing::Values(
        Pop3Case{"dovecot_stls", false, true, {}, MailSecurity::StartTls, ""},
        Pop3Case{"dovecot_tls_port", true, true, {}, MailSecurity::Tls, ""},
        Pop3Case{"tls_on_the_plain_port",
                 false,
                 true,
                 {},
                 MailSecurity::Tls,
                 "TLS Error\r\nThe TLS handshake failed"},
        Pop3Case{"stls_refused", false, false,
                 test::script({{sendLine("+OK ready\r\n")}, test::reply("-ERR not now\r\n")}),
                 MailSecurity::StartTls, "TLS Error\r\nThe server refused STLS: -ERR not now"},
        Pop3Case{"injected_after_stls", false, false,
                 test::script({{sendLine("+OK ready\r\n")},
                               test::reply("+OK begin\r\n+OK injected\r\n")}),
                 MailSecurity::StartTls,
                 "TLS Error\r\nThe server sent unprotected data before the TLS handshake."},
        Pop3Case{"handshake_stalls", false, false, {}, MailSecurity::Tls, "Socket readln aborted"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- The names and ports of the modes ----

TEST(TlsModes, SettingsValuesAndUsualPorts) {
    struct Row {
        int value;
        MailSecurity security;
        int smtp;
        int pop3;
    };
    for (const Row& r :
         {Row{0, MailSecurity::None, 25, 110}, Row{1, MailSecurity::StartTls, 587, 110},
          Row{2, MailSecurity::Tls, 465, 995}, Row{3, MailSecurity::None, 25, 110},
          Row{-1, MailSecurity::None, 25, 110}}) {
        EXPECT_EQ(mailSecurityFromInt(r.value), r.security) << r.value;
        EXPECT_EQ(usualSmtpPort(r.security), r.smtp) << r.value;
        EXPECT_EQ(usualPop3Port(r.security), r.pop3) << r.value;
    }
}

// ---- The TLS module ----

// Where a copy of this program is made from, its file name, and what its error says of the
// first place it looks for the module: ../lib/zoripost on Linux; on Windows the one place,
// the copy's folder (named as Windows sees it, so only from the folder's own name on).
#ifdef _WIN32
std::string thisProgram() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return fs::path(path).string();
}
const char* kCopyName = "mail_tls_test.exe";
std::string firstPlace(const test::TempDir&) {
    return "cannot be loaded (";
}
const char* kNotFoundWords = "";
// The module beside the copy, as its error names it.
std::string besideText(const test::TempDir& dir) {
    return dir.path().filename().string() + "\\" + tlsModuleName();
}
#else
std::string thisProgram() {
    return "/proc/self/exe";
}
const char* kCopyName = "mail_tls_test";
std::string firstPlace(const test::TempDir& dir) {
    return "cannot be loaded (" + dir.file("../lib");
}
std::string besideText(const test::TempDir& dir) {
    return "; " + dir.file(tlsModuleName());
}
const char* kNotFoundWords = "cannot open";
#endif

// Run only in the copy made below: sets up one session and says what happened.
TEST(TlsModule, SessionInACopy) {
    if (!std::getenv("ZP_TLS_IN_A_COPY"))
        GTEST_SKIP() << "run by NotFoundIsATlsError in a copy of this program";
    std::fflush(stdout);
#ifdef _WIN32
    // The error's CR LF as it is, not with a second CR before the LF.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    try {
        TlsSession session("localhost", "");
        std::printf("session set up\n");
    } catch (const TlsError& e) {
        std::printf("%s\n", e.what());
    }
    std::fflush(stdout);
}

// A copy of this program with no module where it looks: a session fails with a TLS error
// naming the module and the places looked in; with the module beside the copy (a portable
// copy), the session is set up.
TEST(TlsModule, NotFoundIsATlsError) {
    if (std::getenv("ZP_TLS_IN_A_COPY"))
        GTEST_SKIP();
    test::TempDir dir;
    const std::string copy = dir.file(kCopyName);
    fs::copy_file(thisProgram(), copy);
    const std::string run = "ZP_TLS_IN_A_COPY=1 " + test::shellQuote(copy) +
                            " --gtest_filter=TlsModule.SessionInACopy 2>&1";
    const std::string missing = test::runShell(run).output;
    EXPECT_NE(
        missing.find("TLS Error\r\nThe TLS module " + tlsModuleName() + " cannot be loaded ("),
        std::string::npos)
        << missing;
    EXPECT_NE(missing.find(firstPlace(dir)), std::string::npos) << missing;
    EXPECT_NE(missing.find(besideText(dir) + ": " + kNotFoundWords), std::string::npos) << missing;
    EXPECT_EQ(missing.find("session set up"), std::string::npos) << missing;
    fs::copy_file(ZP_TLS_MODULE_PATH, dir.file(tlsModuleName()));
    const std::string beside = test::runShell(run).output;
    EXPECT_NE(beside.find("session set up"), std::string::npos) << beside;
}

// A module of another build where the program looks is refused before anything in it is
// called, with a message naming the file and both versions; the place beside the program is
// still tried.
struct OtherBuildCase {
    const char* name;
    const char* module;
    std::string reason;
};

void PrintTo(const OtherBuildCase& c, std::ostream* os) {
    *os << c.name;
}

class TlsModuleOfAnotherBuild : public ::testing::TestWithParam<OtherBuildCase> {};

TEST_P(TlsModuleOfAnotherBuild, IsRefusedWithItsVersion) {
    if (std::getenv("ZP_TLS_IN_A_COPY"))
        GTEST_SKIP();
    const OtherBuildCase& c = GetParam();
    test::TempDir dir;
    const std::string copy = dir.file(kCopyName);
    fs::copy_file(thisProgram(), copy);
    fs::copy_file(c.module, dir.file(tlsModuleName()));
    const std::string run = "ZP_TLS_IN_A_COPY=1 " + test::shellQuote(copy) +
                            " --gtest_filter=TlsModule.SessionInACopy 2>&1";
    const std::string out = test::runShell(run).output;
    const std::size_t error = out.find("TLS Error");
    ASSERT_NE(error, std::string::npos) << out;
    EXPECT_EQ(out.find("TLS Error\r\nThe TLS module " + tlsModuleName() + " cannot be loaded ("),
              error)
        << out;
    EXPECT_NE(out.find(besideText(dir) + c.reason + ")."), std::string::npos) << out;
    EXPECT_TRUE(isTlsModuleProblem(out.substr(error))) << out;
    EXPECT_EQ(out.find("factory was called"), std::string::npos) << out;
    EXPECT_EQ(out.find("session set up"), std::string::npos) << out;
}

INSTANTIATE_TEST_SUITE_P(
    Table, TlsModuleOfAnotherBuild,
    ::testing::Values(
        OtherBuildCase{"NextVersion", ZP_TLS_OTHER_NEXT,
                       " is of interface version " + std::to_string(kTlsInterfaceVersion + 1) +
                           ", this program needs version " + std::to_string(kTlsInterfaceVersion)},
        OtherBuildCase{"NoVersion", ZP_TLS_OTHER_NONE,
                       " has no interface version (this program needs version " +
                           std::to_string(kTlsInterfaceVersion) + ")"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace zp
