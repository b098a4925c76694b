#include "keyring.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLibrary>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <memory>

namespace zp {

namespace {

struct Loaded {
    const KeyringModuleApi* api = nullptr;
    QString error; // why the module could not be used
};

bool s_loaded = false;

// The module, looked for where it is installed relative to the program and beside it (a
// copy carried around with its modules); loaded once, by the first request, and kept.
const Loaded& module() {
    static const Loaded loaded = [] {
        s_loaded = true;
        Loaded result;
        const QString dir = QCoreApplication::applicationDirPath();
        QStringList tried;
        for (const QString& folder : {dir + QStringLiteral("/" ZP_KEYRING_MODULE_DIR), dir}) {
            QLibrary library(folder + QStringLiteral("/zp_keyring"));
            auto entry =
                reinterpret_cast<KeyringModuleEntry>(library.resolve(ZP_KEYRING_ENTRY_NAME));
            if (!entry) {
                tried << library.errorString();
                continue;
            }
            const KeyringModuleApi* api = entry(kKeyringModuleVersion);
            if (api && api->version == kKeyringModuleVersion) {
                result.api = api;
                return result;
            }
            tried << QStringLiteral("%1 is of another version than the program (%2 expected)")
                         .arg(library.fileName())
                         .arg(kKeyringModuleVersion);
        }
        result.error = QStringLiteral("The keyring module cannot be loaded (%1).")
                           .arg(tried.join(QStringLiteral("; ")));
        qWarning("zoripost: %s", qPrintable(result.error));
        return result;
    }();
    return loaded;
}

} // namespace

Keyring::Keyring(QObject* parent) : QObject(parent) {}

void Keyring::read(const QString& account, KeyringDone done) {
    run(Op::Read, account, QString(), std::move(done));
}

void Keyring::write(const QString& account, const QString& secret, KeyringDone done) {
    run(Op::Write, account, secret, std::move(done));
}

void Keyring::remove(const QString& account, KeyringDone done) {
    run(Op::Remove, account, QString(), std::move(done));
}

// The first of the store's answer and the time limit wins; the other is dropped.
void Keyring::run(Op op, const QString& account, const QString& secret, KeyringDone done) {
    auto pending = std::make_shared<KeyringDone>(std::move(done));
    auto finish = [pending](const KeyringReply& reply) {
        if (KeyringDone d = std::exchange(*pending, nullptr))
            d(reply);
    };
    const Loaded& loaded = module();
    if (!loaded.api) {
        QTimer::singleShot(0, this, [finish, error = loaded.error] {
            finish({KeyringStatus::NoModule, QString(), error});
        });
        return;
    }
    QTimer::singleShot(m_limit, this, [finish] { finish({KeyringStatus::TimedOut, {}, {}}); });
    // A reply that comes after this object is gone is dropped with it.
    QPointer<Keyring> self(this);
    auto answer = [self, finish](const KeyringReply& reply) {
        if (self)
            finish(reply);
    };
    switch (op) {
    case Op::Read:
        loaded.api->read(this, service(), account, answer);
        break;
    case Op::Write:
        loaded.api->write(this, service(), account, secret, answer);
        break;
    case Op::Remove:
        loaded.api->remove(this, service(), account, answer);
        break;
    }
}

KeyringReply Keyring::wait(Op op, const QString& account, const QString& secret) {
    QEventLoop loop;
    auto result = std::make_shared<KeyringReply>();
    auto answered = std::make_shared<bool>(false);
    run(op, account, secret, [result, answered, &loop](const KeyringReply& reply) {
        *result = reply;
        *answered = true;
        loop.quit();
    });
    if (!*answered)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return *result;
}

KeyringReply Keyring::readAndWait(const QString& account) {
    return wait(Op::Read, account, QString());
}

KeyringReply Keyring::writeAndWait(const QString& account, const QString& secret) {
    return wait(Op::Write, account, secret);
}

KeyringReply Keyring::removeAndWait(const QString& account) {
    return wait(Op::Remove, account, QString());
}

Keyring& keyring() {
    static QPointer<Keyring> store;
    if (!store)
        store = new Keyring(QCoreApplication::instance());
    return *store;
}

bool keyringModuleLoaded() {
    return s_loaded;
}

} // namespace zp
