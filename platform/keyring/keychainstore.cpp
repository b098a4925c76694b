// The one part of the keyring that needs QtKeychain (and so Qt D-Bus), built as a module of
// its own. QtKeychain speaks the Secret Service (GNOME Keyring, KeePassXC), KWallet and the
// Windows Credential Manager; it never falls back to a plain file of its own.
#include "platform/keyringmodule.h"

#include <qt6keychain/keychain.h>

#ifndef Q_OS_WIN
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#endif

#include <QTimer>

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

#ifndef Q_OS_WIN
// QtKeychain reports a missing session bus or a bus without any store as an error like any
// other; they are told apart here, where the user can be told that there is no store at all.
QString missingStore() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return QStringLiteral("no D-Bus session: ") + bus.lastError().message();
    const QDBusConnectionInterface* names = bus.interface();
    if (!names)
        return QStringLiteral("no D-Bus session");
    const QStringList running = names->registeredServiceNames().value();
    const QStringList startable = names->activatableServiceNames().value();
    for (const char* store : {"org.freedesktop.secrets", "org.kde.kwalletd6", "org.kde.kwalletd5",
                              "org.kde.kwalletd"}) {
        const QString name = QLatin1String(store);
        if (running.contains(name) || startable.contains(name))
            return QString();
    }
    return QStringLiteral("neither a Secret Service nor KWallet on the D-Bus session");
}

// A Secret Service whose unlock prompt cannot be shown (or is dismissed) answers a lookup as if
// there were no such password. Its own search tells a locked one apart: it lists the matching
// items it holds locked separately.
bool lockedInSecretService(const QString& service, const QString& account) {
    static const bool registered = [] {
        qDBusRegisterMetaType<QMap<QString, QString>>();
        qDBusRegisterMetaType<QList<QDBusObjectPath>>();
        return true;
    }();
    Q_UNUSED(registered);
    QDBusMessage search = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets"),
        QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("SearchItems"));
    // QtKeychain's attributes for the service and the account.
    QMap<QString, QString> attributes{{QStringLiteral("server"), service},
                                      {QStringLiteral("user"), account}};
    search << QVariant::fromValue(attributes);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(search, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2)
        return false;
    return !qdbus_cast<QList<QDBusObjectPath>>(reply.arguments().at(1)).isEmpty();
}
#else
QString missingStore() {
    return QString();
}

bool lockedInSecretService(const QString&, const QString&) {
    return false;
}
#endif

// Reports the job's outcome once it has finished; the job deletes itself afterwards.
void start(QKeychain::Job* job, const QString& account, zp::KeyringDone done) {
    if (const QString missing = missingStore(); !missing.isEmpty()) {
        delete job;
        QTimer::singleShot(0, [done = std::move(done), missing] {
            done({KeyringStatus::NoStore, QString(), missing});
        });
        return;
    }
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(account);
    QObject::connect(job, &QKeychain::Job::finished, job,
                     [done = std::move(done)](QKeychain::Job* finished) {
                         KeyringReply reply;
                         reply.status = statusOf(finished->error());
                         if (reply.status == KeyringStatus::NotFound &&
                             lockedInSecretService(finished->service(), finished->key())) {
                             reply.status = KeyringStatus::Denied;
                             reply.detail = QStringLiteral("the keyring that holds it is locked");
                         } else if (reply.status != KeyringStatus::Ok) {
                             reply.detail = finished->errorString();
                         }
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
