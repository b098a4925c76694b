#include "inputaddr.h"

#include "addressbook/addredit.h"
#include "addressbook/addrentry.h"
#include "platform/dialogs.h"
#include "platform/textcodec.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace zp {

namespace {

// The least room between a label's text and its box.
constexpr int kLabelGap = 4;

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int x, int y) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->move(x, y);
    label->adjustSize();
    return label;
}

template <class T> T* place(T* w, const char* name, const QRect& r) {
    w->setObjectName(QLatin1String(name));
    w->setGeometry(r);
    return w;
}

} // namespace

TfrmInputAddr::TfrmInputAddr(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TfrmInputAddr"));
    setWindowTitle(QStringLiteral("メールアドレス入力"));
    // A dialog frame: title and close box, no resizing, no help button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    if (parent)
        setFont(parent->font());

    QLabel* nameLabel = makeLabel(this, "Label1", QStringLiteral("名前"), 16, 27);
    QLabel* addrLabel = makeLabel(this, "Label2", QStringLiteral("メールアドレス"), 16, 59);
    // The boxes start at 96 unless a label, in the font at hand, reaches that far (the seven
    // characters of "メールアドレス" do in some stand-ins for the design font): then they
    // and the dialog move on by the difference, and the boxes keep their width.
    const int labelsEnd = std::max(nameLabel->geometry().right(), addrLabel->geometry().right());
    const int shift = std::max(0, labelsEnd + 1 + kLabelGap - 96);
    setFixedSize(396 + shift, 120);
    m_name = place(new QLineEdit(this), "edtName", QRect(96 + shift, 24, 281, 20));
    m_addr = place(new QLineEdit(this), "edtAddr", QRect(96 + shift, 56, 281, 20));
    // Each box is named by its label, for a screen reader.
    nameLabel->setBuddy(m_name);
    addrLabel->setBuddy(m_addr);
    m_ok =
        place(new QPushButton(QStringLiteral("OK"), this), "btnOK", QRect(224 + shift, 88, 75, 25));
    m_cancel = place(new QPushButton(QStringLiteral("キャンセル"), this), "btnCancel",
                     QRect(312 + shift, 88, 75, 25));
    m_ok->setDefault(true);
    m_cancel->setAutoDefault(false);
    setTabOrder(m_name, m_addr);
    setTabOrder(m_addr, m_ok);
    setTabOrder(m_ok, m_cancel);
    connect(m_ok, &QPushButton::clicked, this, &TfrmInputAddr::btnOKClick);
    // The cancel button, Esc and the close box all give cancel (QDialog's reject).
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString TfrmInputAddr::editAddrEntry(const QString& entry) {
    const AddrEntry parts = parseAddrEntry(toSjis(entry));
    m_name->setText(fromSjis(parts.name));
    m_addr->setText(fromSjis(parts.address));
    if (exec() != QDialog::Accepted)
        return entry;
    return m_entry;
}

// The settings file is Shift-JIS: a character without a form there would silently become
// "?" in the file, changing the name or the address (and later a log folder's name). A
// character typed as JIS X 0208's mapping ("〜" U+301C) counts as its code page form ("～"),
// which is what is stored, as in every other box.
bool TfrmInputAddr::refuseUnstorable(QLineEdit* box) {
    const QString text = box->text();
    const auto [at, length] = firstCharNotKeptInSjis(foldToCp932Forms(text));
    if (length == 0)
        return false;
    const QString ch = text.mid(at, length);
    const QString code =
        QStringLiteral("U+%1").arg(ch.toUcs4().value(0), 4, 16, QLatin1Char('0')).toUpper();
    dialogs().message(this, MsgKind::Information,
                      QStringLiteral("「%1」(%2) はアドレス帳に保存できない文字です。"
                                     "別の文字に置き換えてください。")
                          .arg(ch, code));
    box->setFocus(Qt::OtherFocusReason);
    box->setSelection(static_cast<int>(at), static_cast<int>(length));
    return true;
}

void TfrmInputAddr::btnOKClick() {
    if (refuseUnstorable(m_name) || refuseUnstorable(m_addr))
        return;
    const AddrInput in = cleanAddrInput(toSjis(foldToCp932Forms(m_name->text())),
                                        toSjis(foldToCp932Forms(m_addr->text())));
    switch (in.check) {
    case AddrInputCheck::EmptyAddress:
        dialogs().message(this, MsgKind::Information,
                          QStringLiteral("メールアドレスを入力してください"));
        m_addr->setFocus(Qt::OtherFocusReason);
        return;
    case AddrInputCheck::TooLong:
        dialogs().message(this, MsgKind::Information,
                          QStringLiteral("名前とメールアドレスが長すぎます。"
                                         "合わせて%1バイト以内にしてください。")
                              .arg(kMaxAddrEntryBytes));
        m_name->setFocus(Qt::OtherFocusReason);
        return;
    case AddrInputCheck::Ok:
        break;
    }
    m_entry = fromSjis(in.entry);
    accept();
}

void TfrmInputAddr::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
    m_name->setFocus(Qt::OtherFocusReason);
}

} // namespace zp
