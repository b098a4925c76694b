// The one part of the keyring that needs QtKeychain (and so Qt D-Bus), built as a module of
// its own. QtKeychain speaks the Secret Service (GNOME Keyring, KeePassXC), KWallet and the
// Windows Credential Manager; it never falls back to a plain file of its own.
#include "platform/keyringmodule.h"

#include <qt6keychain/keychain.h>

namespace {

using zp::KeyringReply;
using zp::KeyringStatus;

KeyringStatus statusOf(QKeychain::Error error) {
    switch (error) {
    case QKeychain::NoError:
        return KeyringStatus::Ok;
    case QKeychain::EntryNotFound:
        return KeyringStatus::NotFound;
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
        return KeyringStatus::NoStore;
    case QKeychain::AccessDeniedByUser:
    case QKeychain::AccessDenied:
        return KeyringStatus::Denied;
    default:
        return KeyringStatus::Failed;
    }
}

// Reports the job's outcome once it has finished; the job deletes itself afterwards.
void start(QKeychain::Job* job, const QString& account, zp::KeyringDone done) {
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(account);
    QObject::connect(job, &QKeychain::Job::finished, job,
                     [done = std::move(done)](QKeychain::Job* finished) {
                         KeyringReply reply;
                         reply.status = statusOf(finished->error());
                         if (reply.status != KeyringStatus::Ok)
                             reply.detail = finished->errorString();
                         if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(finished);
                             read && reply.status == KeyringStatus::Ok)
                             reply.secret = read->textData();
                         done(reply);
                     });
    job->start();
}

void readSecret(QObject* owner, const QString& service, const QString& account,
                zp::KeyringDone done) {
    start(new QKeychain::ReadPasswordJob(service, owner), account, std::move(done));
}

void writeSecret(QObject* owner, const QString& service, const QString& account,
                 const QString& secret, zp::KeyringDone done) {
    auto* job = new QKeychain::WritePasswordJob(service, owner);
    job->setTextData(secret);
    start(job, account, std::move(done));
}

void removeSecret(QObject* owner, const QString& service, const QString& account,
                  zp::KeyringDone done) {
    start(new QKeychain::DeletePasswordJob(service, owner), account, std::move(done));
}

const zp::KeyringModuleApi kApi{zp::kKeyringModuleVersion, readSecret, writeSecret, removeSecret};

} // namespace

extern "C" Q_DECL_EXPORT const zp::KeyringModuleApi* zpKeyringModule(int version) {
    return version == zp::kKeyringModuleVersion ? &kApi : nullptr;
}
