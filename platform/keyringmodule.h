#pragma once
// The boundary between the platform layer and the keyring module (zp_keyring), which holds
// QtKeychain and, through it, Qt D-Bus. The module is loaded when a password is first
// needed, not while the window starts. Its one entry hands out a table of functions for the
// version of this table that the program was built with, or null for any other, so a module
// left over from another build is refused with a clear reason instead of being called
// through a table it does not have.
#include <QObject>
#include <QString>

#include <functional>

namespace zp {

// What became of one request to the desktop's secret store.
enum class KeyringStatus {
    Ok,       // done; a read holds the password
    NotFound, // the store answers but holds no password for the account
    NoStore,  // no secret store answers (no D-Bus session, no keyring service)
    Denied,   // the store is locked and was not unlocked, or the access was refused
    Failed,   // any other failure, with the store's own words in detail
    TimedOut, // no answer within the time limit (an unlock prompt left open)
    NoModule, // the keyring module could not be loaded
};

struct KeyringReply {
    KeyringStatus status = KeyringStatus::Failed;
    QString secret; // a read's password
    QString detail; // the store's own words, for a failure
};

using KeyringDone = std::function<void(const KeyringReply&)>;

struct KeyringModuleApi {
    int version;
    // Each request runs on the event loop of the calling thread and calls `done` exactly
    // once, later, on that thread; its job is a child of `owner`.
    void (*read)(QObject* owner, const QString& service, const QString& account, KeyringDone done);
    void (*write)(QObject* owner, const QString& service, const QString& account,
                  const QString& secret, KeyringDone done);
    void (*remove)(QObject* owner, const QString& service, const QString& account,
                   KeyringDone done);
};

// Raised whenever the table above changes.
constexpr int kKeyringModuleVersion = 1;

using KeyringModuleEntry = const KeyringModuleApi* (*)(int version);

} // namespace zp

// Exported by the module under this name.
#define ZP_KEYRING_ENTRY_NAME "zpKeyringModule"
