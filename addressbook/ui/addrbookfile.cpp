#include "addrbookfile.h"

#include "addressbook/addrbook.h"
#include "addressbook/addredit.h"
#include "fileio/fileio.h"
#include "platform/textcodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <filesystem>

namespace zp {

namespace {

QString fileFault(const ContactFileError& e) {
    const QString line = QString::number(e.line);
    switch (e.fault) {
    case ContactFileFault::TooLarge:
        return QStringLiteral("ファイルが大きすぎます（%1 MB まで）。")
            .arg(kMaxContactFileBytes / (1024 * 1024));
    case ContactFileFault::Binary:
        return QStringLiteral("テキストのファイルではありません。");
    case ContactFileFault::UnknownFormat:
        return QStringLiteral("vCard でも、メールアドレスの列がある CSV でもありません。");
    case ContactFileFault::LineTooLong:
        return QStringLiteral("%1 行目が長すぎます（1 行 %2 MB まで）。")
            .arg(line)
            .arg(kMaxContactLineBytes / (1024 * 1024));
    case ContactFileFault::BadQuotedPrintable:
        return QStringLiteral("%1 行目の quoted-printable の値が壊れています。").arg(line);
    case ContactFileFault::UnknownCharset:
        return QStringLiteral("%1 行目の文字コード「%2」には対応していません。")
            .arg(line, QString::fromStdString(e.detail));
    case ContactFileFault::UnclosedQuote:
        return QStringLiteral("%1 行目で始まる引用符が閉じていません。").arg(line);
    case ContactFileFault::TooManyFields:
        return QStringLiteral("%1 行目の項目が多すぎます（%2 個まで）。")
            .arg(line)
            .arg(kMaxCsvFields);
    case ContactFileFault::TooManyAddresses:
        return QStringLiteral("メールアドレスが多すぎます（%1 件まで）。")
            .arg(kMaxContactAddresses);
    case ContactFileFault::None:
        break;
    }
    return {};
}

QString refusalReason(const ImportRefused& r) {
    switch (r.why) {
    case ImportRefusal::BadAddress:
        return QStringLiteral("メールアドレスとして使えません。");
    case ImportRefusal::NameNotHeld: {
        const QString ch = QString::fromStdString(r.character);
        const QString code =
            QStringLiteral("U+%1").arg(ch.toUcs4().value(0), 4, 16, QLatin1Char('0')).toUpper();
        return QStringLiteral("名前の「%1」(%2) はアドレス帳に保存できない文字です。")
            .arg(ch, code);
    }
    case ImportRefusal::TooLong:
        return QStringLiteral("名前とメールアドレスが長すぎます（合わせて%1バイトまで）。")
            .arg(kMaxAddrEntryBytes);
    case ImportRefusal::ListFull:
        return QStringLiteral("送信先一覧には %1 件までしか入りません。").arg(kMaxAddrEntries);
    case ImportRefusal::None:
        break;
    }
    return {};
}

// A refused name or address can be as long as a line of the file; the box shows its start.
QString elided(const std::string& utf8) {
    constexpr qsizetype kShown = 80;
    const QString text = QString::fromStdString(utf8.substr(0, kShown * 4));
    return text.size() > kShown ? text.left(kShown) + QStringLiteral("…") : text;
}

QString summary(const AddrImport& plan) {
    QString text = QStringLiteral("%1 件のメールアドレスを追加しました。\n"
                                  "一覧にすでにあるため飛ばしたもの: %2 件\n"
                                  "読み込めなかったもの: %3 件")
                       .arg(plan.entries.size())
                       .arg(plan.duplicates)
                       .arg(plan.refused);
    if (plan.refused > 0) {
        const ImportRefused& r = plan.firstRefused;
        const QString name = elided(r.name);
        const QString address = elided(r.address);
        text += QStringLiteral("\n\n最初に読み込めなかったもの: %1\n%2")
                    .arg(name.isEmpty() ? address : name + QStringLiteral(" (") + address + ')',
                         refusalReason(r));
    }
    return text;
}

// The bytes of the file, refused unread when it is larger than the bound; the read itself
// stops there too, should the file grow meanwhile.
bool readBounded(const QString& path, std::string& bytes, QString& error) {
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        error = QStringLiteral("ファイルではありません。");
        return false;
    }
    if (info.size() > static_cast<qint64>(kMaxContactFileBytes)) {
        error = fileFault({ContactFileFault::TooLarge, 0, {}});
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    const QByteArray data = file.read(static_cast<qint64>(kMaxContactFileBytes) + 1);
    if (file.error() != QFileDevice::NoError) {
        error = file.errorString();
        return false;
    }
    bytes.assign(data.constData(), static_cast<std::size_t>(data.size()));
    return true;
}

} // namespace

AddrImportReport readAddressBookFile(const QString& path, const QStringList& existing) {
    AddrImportReport report;
    const QString shown = QDir::toNativeSeparators(path);
    auto refuse = [&](const QString& why) {
        report.failed = true;
        report.message =
            QStringLiteral("アドレス帳を読み込めませんでした。\n%1\n%2").arg(shown, why);
        return report;
    };
    std::string bytes;
    QString error;
    if (!readBounded(path, bytes, error))
        return refuse(error);
    const ContactFile file = readContacts(bytes);
    if (!file.ok())
        return refuse(fileFault(file.error));
    if (file.contacts.empty())
        return refuse(QStringLiteral("メールアドレスがひとつもありません。"));
    std::vector<std::string> current;
    current.reserve(static_cast<std::size_t>(existing.size()));
    for (const QString& entry : existing)
        current.push_back(toSjis(entry));
    const AddrImport plan = planAddrImport(current, file.contacts);
    for (const std::string& entry : plan.entries)
        report.entries << fromSjis(entry);
    report.message = summary(plan);
    return report;
}

QString writeAddressBookFile(const QString& path, const QStringList& entries) {
    std::vector<std::string> list;
    for (const QString& entry : entries)
        list.push_back(toSjis(entry));
    fileio::ReplaceOptions options;
    options.link = fileio::LinkAtTarget::Follow;
    options.durable = true;
    std::string error;
    // A path from UTF-16 is the native form on both systems, whatever the locale.
    if (fileio::replaceFile(std::filesystem::path(path.toStdU16String()), writeVCards(list),
                            options, error, QDir::toNativeSeparators(path).toStdString()))
        return {};
    return QString::fromUtf8(error);
}

QString addressBookOpenFilter() {
    return QStringLiteral("アドレス帳 (*.vcf *.vcard *.csv);;vCard (*.vcf *.vcard);;CSV (*.csv);;"
                          "すべてのファイル (*)");
}

QString addressBookSaveFilter() {
    return QStringLiteral("vCard (*.vcf)");
}

} // namespace zp
