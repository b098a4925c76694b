#pragma once
// Where the one password (POP3 and SMTP) lives: in the settings file as plain text, as it
// always did, or in the desktop's secret store under the service "zoripost" and the account
// "<SMTP user>@<SMTP host>", with [pop3] name written empty. The box on the server page
// chooses; [pop3] keyring (0/1) keeps the choice. The store is asked only when the password
// is needed (a send, the box, the server page shown), so the window starts without it.
//
// Nothing is lost on the way: the file is rewritten only once the store has confirmed a
// move in, the store is emptied only once the file holds the password again, and a password
// the store refused stays in the box and in the file, with a message that says so.
#include "platform/keyringmodule.h"
#include "platform/windowhost.h"

#include <QObject>
#include <QString>

#include <functional>

class QAbstractButton;
class QLineEdit;

namespace zp {

class Keyring;
class ProfileFile;

struct PasswordControls {
    QAbstractButton* chkKeyring;
    QLineEdit* edtPOP3Pwd;
    QLineEdit* edtSMTPUser;
    QLineEdit* edtSMTPHost;
};

class PasswordKeyring : public QObject {
    Q_OBJECT
public:
    PasswordKeyring(WindowHost& host, const PasswordControls& controls, Keyring& store,
                    QObject* parent);

    // After [pop3] name is in the password box: takes [pop3] keyring and works out the
    // choice of a file that has none.
    void loadSettings(const ProfileFile& file);
    // After [pop3] name has been written from the box (the window is closing): a password
    // typed while the box is on goes into the store, waiting for it within the store's time
    // limit, and [pop3] name is emptied once the store has it.
    void saveSettings(ProfileFile& file);

    // Before a send: true when the password box already holds the password to use. False
    // when it must first come from the store: `ready` runs once it is in the box, and a
    // failure is reported instead (the send then does not start).
    bool ensurePassword(std::function<void()> ready);
    // Whether a request to the store is under way.
    bool busy() const { return m_busy || m_probing; }

    // "user@host" of the SMTP settings: the account under which the store keeps the password.
    QString account() const;
    // The text of a failure: what happened (with the store's own words), and what to do.
    static QString reasonText(const KeyringReply& reply);
    static QString failureText(const KeyringReply& reply);

public slots:
    void chkKeyringClick();
    // The box has been shown on the server page: a settings file with no choice and no
    // password learns whether a store answers, and a password kept in the store fills the
    // password box.
    void serverPageShown();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void probeAnswered(const KeyringReply& reply);
    void fillFromStore();
    void showPlace();
    bool storeAtClose(const QString& password);
    void moveAccountAtClose();
    void moveIn();
    void moveOut();
    void finishMoveOut(const QString& password);
    // Writes [pop3] keyring and [pop3] name into the settings file at once; false (with a
    // message) when the file system refuses.
    bool rewriteFile(bool on, const QString& password);
    void setBox(bool on);
    void setBusy(bool busy);
    void explainOff(const KeyringReply& reply);

    WindowHost& m_host;
    PasswordControls m_c;
    Keyring& m_store;
    bool m_keyInFile = false;
    bool m_changed = false;
    bool m_undecided = false;  // no [pop3] keyring and no password: decided by the store
    bool m_needsFetch = false; // on, and the password is still in the store only
    bool m_busy = false;
    bool m_probing = false; // asking whether a store answers, for a file with no choice
    QString m_account;      // where the store holds the password
    QString m_stored;       // the password the store last confirmed
};

} // namespace zp
