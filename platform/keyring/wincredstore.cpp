// The keyring module of the Windows build: the password is kept in the user's Windows
// Credential Manager as a generic credential named "<service>/<account>", readable only by
// this user's log-on. The calls are local and quick, so each answer is handed back on the
// next turn of the caller's event loop, as the other stores' answers are.
#include "platform/keyringmodule.h"

#include <QTimer>

#include <windows.h>
// After windows.h, which it needs.
#include <wincred.h>

namespace {

using zp::KeyringReply;
using zp::KeyringStatus;

std::wstring targetName(const QString& service, const QString& account) {
    return (service + QLatin1Char('/') + account).toStdWString();
}

KeyringReply failure(DWORD code) {
    KeyringReply reply;
    reply.status = code == ERROR_NOT_FOUND               ? KeyringStatus::NotFound
                   : code == ERROR_ACCESS_DENIED         ? KeyringStatus::Denied
                   : code == ERROR_NO_SUCH_LOGON_SESSION ? KeyringStatus::NoStore
                                                         : KeyringStatus::Failed;
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    reply.detail = QStringLiteral("Windows error %1").arg(code);
    if (text) {
        reply.detail += QStringLiteral(": ") + QString::fromWCharArray(text).trimmed();
        LocalFree(text);
    }
    return reply;
}

void answer(QObject* owner, zp::KeyringDone done, KeyringReply reply) {
    QTimer::singleShot(0, owner,
                       [done = std::move(done), reply = std::move(reply)] { done(reply); });
}

void readSecret(QObject* owner, const QString& service, const QString& account,
                zp::KeyringDone done) {
    PCREDENTIALW credential = nullptr;
    if (!CredReadW(targetName(service, account).c_str(), CRED_TYPE_GENERIC, 0, &credential)) {
        answer(owner, std::move(done), failure(GetLastError()));
        return;
    }
    KeyringReply reply;
    reply.status = KeyringStatus::Ok;
    // Written below as UTF-16 without a terminator.
    reply.secret = QString::fromUtf16(reinterpret_cast<const char16_t*>(credential->CredentialBlob),
                                      qsizetype(credential->CredentialBlobSize / sizeof(char16_t)));
    SecureZeroMemory(credential->CredentialBlob, credential->CredentialBlobSize);
    CredFree(credential);
    answer(owner, std::move(done), std::move(reply));
}

void writeSecret(QObject* owner, const QString& service, const QString& account,
                 const QString& secret, zp::KeyringDone done) {
    std::wstring target = targetName(service, account);
    std::wstring user = account.toStdWString();
    std::u16string blob = secret.toStdU16String();
    CREDENTIALW credential{};
    credential.Type = CRED_TYPE_GENERIC;
    credential.TargetName = target.data();
    credential.UserName = user.data();
    credential.CredentialBlob = reinterpret_cast<LPBYTE>(blob.data());
    credential.CredentialBlobSize = DWORD(blob.size() * sizeof(char16_t));
    credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
    const bool ok = CredWriteW(&credential, 0);
    const DWORD code = GetLastError();
    SecureZeroMemory(blob.data(), blob.size() * sizeof(char16_t));
    answer(owner, std::move(done), ok ? KeyringReply{KeyringStatus::Ok, {}, {}} : failure(code));
}

void removeSecret(QObject* owner, const QString& service, const QString& account,
                  zp::KeyringDone done) {
    const bool ok = CredDeleteW(targetName(service, account).c_str(), CRED_TYPE_GENERIC, 0);
    answer(owner, std::move(done),
           ok ? KeyringReply{KeyringStatus::Ok, {}, {}} : failure(GetLastError()));
}

const zp::KeyringModuleApi kApi{zp::kKeyringModuleVersion, readSecret, writeSecret, removeSecret};

} // namespace

extern "C" Q_DECL_EXPORT const zp::KeyringModuleApi* zpKeyringModule(int version) {
    return version == zp::kKeyringModuleVersion ? &kApi : nullptr;
}
