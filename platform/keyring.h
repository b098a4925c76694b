#pragma once
// The desktop's secret store (the Secret Service of GNOME Keyring or KeePassXC, KWallet, the
// Windows Credential Manager), reached through the keyring module, which is loaded with the
// first request. Every request answers once, on the window thread, and never later than the
// time limit: a store that waits for an unlock prompt nobody answers cannot hold the window.
#include "keyringmodule.h"

#include <QObject>
#include <QString>

#include <chrono>

namespace zp {

class Keyring : public QObject {
    Q_OBJECT
public:
    // The service name under which the passwords are kept.
    static QString service() { return QStringLiteral("zoripost"); }

    explicit Keyring(QObject* parent = nullptr);

    void read(const QString& account, KeyringDone done);
    void write(const QString& account, const QString& secret, KeyringDone done);
    void remove(const QString& account, KeyringDone done);
    // The same requests, waited for in a local event loop (the window is closing and its
    // settings must be written now); bounded by the time limit as well.
    KeyringReply readAndWait(const QString& account);
    KeyringReply writeAndWait(const QString& account, const QString& secret);
    KeyringReply removeAndWait(const QString& account);

    void setTimeLimit(std::chrono::milliseconds limit) { m_limit = limit; }
    std::chrono::milliseconds timeLimit() const { return m_limit; }

private:
    enum class Op { Read, Write, Remove };
    void run(Op op, const QString& account, const QString& secret, KeyringDone done);
    KeyringReply wait(Op op, const QString& account, const QString& secret);

    // Long enough for a user to type the keyring's password into its unlock prompt.
    std::chrono::milliseconds m_limit{60000};
};

// The window's one keyring, created on first use and owned by the application object.
Keyring& keyring();

// Whether the keyring module was loaded by this process (it is loaded by the first request).
bool keyringModuleLoaded();

} // namespace zp
