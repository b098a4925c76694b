#include "passwordkeyring.h"

#include "platform/fspath.h"
#include "platform/keyring.h"
#include "platform/textcodec.h"
#include "settings/profile.h"

#include <QAbstractButton>
#include <QEvent>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>

#include <algorithm>

namespace zp {

namespace {

const char16_t kWhatToDo[] = u"キーリングのロックを解除してからもう一度お試しいただくか、"
                             u"サーバ設定の「パスワードをキーリングに保存」をオフにしてください。";

// Characters Shift-JIS cannot hold become "?" in the settings file.
bool fitsTheFile(const QString& password) {
    const std::string bytes = toSjis(password);
    return std::count(bytes.begin(), bytes.end(), '?') == password.count(QLatin1Char('?'));
}

} // namespace

PasswordKeyring::PasswordKeyring(WindowHost& host, const PasswordControls& controls, Keyring& store,
                                 QObject* parent)
    : QObject(parent), m_host(host), m_c(controls), m_store(store) {
    connect(m_c.chkKeyring, &QAbstractButton::clicked, this, &PasswordKeyring::chkKeyringClick);
    // A password typed over the empty box replaces the one in the store.
    connect(m_c.edtPOP3Pwd, &QLineEdit::textEdited, this, [this] {
        m_needsFetch = false;
        showPlace();
    });
    m_c.chkKeyring->installEventFilter(this);
}

// The store is asked after the page has been painted, not while it is being shown.
bool PasswordKeyring::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_c.chkKeyring && event->type() == QEvent::Show &&
        (m_undecided || (m_needsFetch && m_c.chkKeyring->isChecked())))
        QTimer::singleShot(0, this, &PasswordKeyring::serverPageShown);
    return QObject::eventFilter(watched, event);
}

QString PasswordKeyring::account() const {
    return m_c.edtSMTPUser->text() + QLatin1Char('@') + m_c.edtSMTPHost->text();
}

QString PasswordKeyring::failureText(const KeyringReply& reply) {
    return reasonText(reply) + QStringLiteral("\r\n") + QString::fromUtf16(kWhatToDo);
}

QString PasswordKeyring::reasonText(const KeyringReply& reply) {
    QString what;
    switch (reply.status) {
    case KeyringStatus::NoStore:
        what =
            QStringLiteral("キーリング(パスワードを保管するデスクトップの機能)が見つかりません。");
        break;
    case KeyringStatus::Denied:
        what = QStringLiteral("キーリングがロックされているか、アクセスが拒否されました。");
        break;
    case KeyringStatus::TimedOut:
        what = QStringLiteral("キーリングから応答がありません(ロック解除の画面が開いたままかもしれ"
                              "ません)。");
        break;
    case KeyringStatus::NoModule:
        what = QStringLiteral("キーリングを使うためのモジュールを読み込めません。");
        break;
    default:
        what = QStringLiteral("キーリングでエラーが発生しました。");
        break;
    }
    if (!reply.detail.isEmpty())
        what += QStringLiteral("\r\n(") + reply.detail + QLatin1Char(')');
    return what;
}

void PasswordKeyring::setBox(bool on) {
    m_c.chkKeyring->setChecked(on);
    showPlace();
}

void PasswordKeyring::setBusy(bool busy) {
    m_busy = busy;
    m_c.chkKeyring->setEnabled(!busy);
}

void PasswordKeyring::loadSettings(const ProfileFile& file) {
    m_keyInFile = file.keyExists("pop3", "keyring");
    const bool on = m_keyInFile && file.readBool("pop3", "keyring", false);
    const bool hasPassword = !m_c.edtPOP3Pwd->text().isEmpty();
    m_changed = false;
    m_undecided = !m_keyInFile && !hasPassword;
    // A password beside keyring=1 was written by a copy that keeps it in the file; it is the
    // newer one and goes into the store at close.
    m_needsFetch = on && !hasPassword;
    m_account = account();
    m_stored.clear();
    setBox(on);
}

void PasswordKeyring::serverPageShown() {
    // The box stays in reach meanwhile: a click decides before the store has answered.
    if (m_probing)
        return;
    if (!m_undecided) {
        fillFromStore();
        return;
    }
    m_probing = true;
    m_store.read(account(), [self = QPointer<PasswordKeyring>(this)](const KeyringReply& reply) {
        if (self) // the window may have closed meanwhile
            self->probeAnswered(reply);
    });
}

// The box is left as the user set it meanwhile; a password typed already stays for the move
// at close.
void PasswordKeyring::probeAnswered(const KeyringReply& reply) {
    m_probing = false;
    if (!m_undecided || m_busy)
        return;
    m_undecided = false;
    const bool answers =
        reply.status == KeyringStatus::Ok || reply.status == KeyringStatus::NotFound;
    if (answers && m_c.edtPOP3Pwd->text().isEmpty()) {
        setBox(true);
        m_changed = true;
        m_needsFetch = false;
        showPlace();
        m_account = account();
    } else if (!answers) {
        explainOff(reply);
    }
}

// The password box shows the stored password (as dots) once the page is seen, as it did when
// the file held it. A store that cannot give it is left to the send, which says why; a
// password typed meanwhile wins.
void PasswordKeyring::fillFromStore() {
    if (!m_needsFetch || !m_c.chkKeyring->isChecked() || m_busy)
        return;
    m_probing = true;
    m_store.read(m_account, [self = QPointer<PasswordKeyring>(this)](const KeyringReply& reply) {
        if (!self)
            return;
        self->m_probing = false;
        if (reply.status == KeyringStatus::Ok && self->m_needsFetch) {
            self->m_c.edtPOP3Pwd->setText(reply.secret);
            self->m_stored = reply.secret;
            self->m_needsFetch = false;
            self->showPlace();
        }
    });
}

// An empty password box with the box on says where the password is.
void PasswordKeyring::showPlace() {
    m_c.edtPOP3Pwd->setPlaceholderText(m_needsFetch && m_c.chkKeyring->isChecked()
                                           ? QStringLiteral("キーリングに保存済み")
                                           : QString());
}

// The box stays off; its tooltip and the status line say why.
void PasswordKeyring::explainOff(const KeyringReply& reply) {
    QString why =
        QStringLiteral("キーリングが使えないため、パスワードは設定ファイルに保存されます");
    if (!reply.detail.isEmpty())
        why += QStringLiteral("(") + reply.detail + QLatin1Char(')');
    m_c.chkKeyring->setToolTip(why);
    m_c.chkKeyring->setAccessibleDescription(why);
    // The status line belongs to a send while one runs.
    if (!m_host.sendInProgress())
        m_host.reportStatus(why, MsgKind::None);
}

void PasswordKeyring::chkKeyringClick() {
    m_undecided = false;
    if (m_c.chkKeyring->isChecked())
        moveIn();
    else
        moveOut();
}

void PasswordKeyring::moveIn() {
    const QString password = m_c.edtPOP3Pwd->text();
    const QString to = account();
    setBusy(true);
    m_store.write(
        to, password,
        [this, self = QPointer<PasswordKeyring>(this), password, to](const KeyringReply& reply) {
            if (!self)
                return; // the window has closed meanwhile
            setBusy(false);
            if (reply.status != KeyringStatus::Ok) {
                setBox(false);
                m_host.reportStatus(failureText(reply) +
                                        QStringLiteral("\r\nパスワードはこれまでどおり設定ファイル"
                                                       "に保存されます。"),
                                    MsgKind::Warning);
                return;
            }
            m_stored = password;
            m_account = to;
            m_needsFetch = false;
            showPlace();
            m_changed = true;
            rewriteFile(true, QString());
        });
}

void PasswordKeyring::moveOut() {
    if (!m_needsFetch) {
        finishMoveOut(m_c.edtPOP3Pwd->text());
        return;
    }
    setBusy(true);
    m_store.read(
        m_account, [this, self = QPointer<PasswordKeyring>(this)](const KeyringReply& reply) {
            if (!self)
                return; // the window has closed meanwhile
            setBusy(false);
            if (reply.status == KeyringStatus::Ok || reply.status == KeyringStatus::NotFound) {
                finishMoveOut(reply.secret);
                return;
            }
            if (reply.status == KeyringStatus::NoStore || reply.status == KeyringStatus::NoModule) {
                // Nothing can come back from a store that is not there: the box goes off
                // and the password is typed again.
                finishMoveOut(QString());
                m_host.reportStatus(reasonText(reply) +
                                        QStringLiteral("\r\nパスワードを移せませんでした。"
                                                       "パスワードを入力し直してください。"),
                                    MsgKind::Warning);
                return;
            }
            setBox(true);
            m_host.reportStatus(reasonText(reply) +
                                    QStringLiteral("\r\nキーリングのロックを解除してから、もう一度"
                                                   "オフにしてください。パスワードはキーリングに"
                                                   "残っています。"),
                                MsgKind::Warning);
        });
}

void PasswordKeyring::finishMoveOut(const QString& password) {
    if (!fitsTheFile(password)) {
        setBox(true);
        m_host.reportStatus(
            QStringLiteral("パスワードに設定ファイル(Shift-JIS)で表せない文字が含まれているため、"
                           "キーリングに残します。"),
            MsgKind::Warning);
        return;
    }
    m_c.edtPOP3Pwd->setText(password);
    m_needsFetch = false;
    showPlace();
    m_changed = true;
    if (!rewriteFile(false, password))
        return; // the store keeps its copy
    // The file holds it now; the store's copy goes.
    m_store.remove(m_account, [](const KeyringReply&) {});
    m_stored.clear();
}

bool PasswordKeyring::rewriteFile(bool on, const QString& password) {
    ProfileFile file(toPathText(m_host.settingsFilePath()));
    if (file.load()) {
        file.writeBool("pop3", "keyring", on);
        file.writeString("pop3", "name", toSjis(password));
        if (file.save()) {
            m_keyInFile = true;
            return true;
        }
    }
    m_host.reportStatus(QStringLiteral("設定ファイルに書き込めませんでした。") +
                            QString::fromStdString(file.error()),
                        MsgKind::Warning);
    return false;
}

bool PasswordKeyring::ensurePassword(std::function<void()> ready) {
    if (m_busy) {
        m_host.reportStatus(QStringLiteral("キーリングの応答を待っています。終わってから送信して"
                                           "ください。"),
                            MsgKind::None);
        return false;
    }
    if (!m_c.chkKeyring->isChecked() || !m_needsFetch)
        return true;
    setBusy(true);
    m_host.reportStatus(QStringLiteral("キーリングからパスワードを読み出しています…"),
                        MsgKind::None);
    m_store.read(m_account, [this, self = QPointer<PasswordKeyring>(this),
                             ready = std::move(ready)](const KeyringReply& reply) {
        if (!self)
            return; // the window has closed meanwhile
        setBusy(false);
        if (reply.status == KeyringStatus::Ok || reply.status == KeyringStatus::NotFound) {
            m_c.edtPOP3Pwd->setText(reply.secret);
            m_stored = reply.secret;
            m_needsFetch = false;
            showPlace();
            ready();
            return;
        }
        m_host.reportStatus(
            failureText(reply) +
                QStringLiteral("\r\nパスワードがないため、メールは送信していません。"),
            MsgKind::Error);
    });
    return false;
}

// A password typed while the box is on goes into the store; false (with a message) when the
// store refuses it, and the file then keeps it.
bool PasswordKeyring::storeAtClose(const QString& password) {
    const KeyringReply reply = m_store.writeAndWait(account(), password);
    if (reply.status == KeyringStatus::Ok) {
        if (account() != m_account)
            m_store.removeAndWait(m_account);
        m_stored = password;
        m_account = account();
        return true;
    }
    m_host.reportStatus(
        failureText(reply) +
            (fitsTheFile(password)
                 ? QStringLiteral("\r\nパスワードは設定ファイルに保存しました。")
                 : QStringLiteral("\r\nパスワードに設定ファイル(Shift-JIS)で表せない文字が含まれ"
                                  "ているため、パスワードを保存できませんでした。")),
        MsgKind::Warning);
    return false;
}

// The server or user changed while the password stayed in the store: it moves with them to
// the new account.
void PasswordKeyring::moveAccountAtClose() {
    const KeyringReply old = m_store.readAndWait(m_account);
    if (old.status == KeyringStatus::Ok &&
        m_store.writeAndWait(account(), old.secret).status == KeyringStatus::Ok) {
        m_store.removeAndWait(m_account);
        m_account = account();
        return;
    }
    m_host.reportStatus(QStringLiteral("パスワードはキーリングの以前のアカウント(") + m_account +
                            QStringLiteral(")に残っています。\r\n") + failureText(old),
                        MsgKind::Warning);
}

void PasswordKeyring::saveSettings(ProfileFile& file) {
    const QString password = m_c.edtPOP3Pwd->text();
    // A first password with no choice made yet goes into a store that answers.
    if (m_undecided && !password.isEmpty() &&
        m_store.writeAndWait(account(), password).status == KeyringStatus::Ok) {
        m_stored = password;
        m_account = account();
        m_changed = true;
        setBox(true);
    }
    const bool on = m_c.chkKeyring->isChecked();
    bool inStore = true;
    if (on && !m_needsFetch && (password != m_stored || account() != m_account))
        inStore = storeAtClose(password);
    else if (on && m_needsFetch && account() != m_account)
        moveAccountAtClose();
    if (on && inStore)
        file.writeString("pop3", "name", "");
    if (on || m_keyInFile || m_changed)
        file.writeBool("pop3", "keyring", on);
}

} // namespace zp
