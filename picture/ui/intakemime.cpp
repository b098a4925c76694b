#include "intakemime.h"

#include "intakefiles.h"

#include <QList>
#include <QMimeData>
#include <QStringList>
#include <QUrl>

#include <array>

namespace zp {
namespace {

// The MIME types under which encoded pictures travel, with the older names some programs
// still give them.
constexpr std::array kPictureFormats = {"image/png",  "image/jpeg", "image/jpg",   "image/pjpeg",
                                        "image/gif",  "image/bmp",  "image/x-bmp", "image/x-ms-bmp",
                                        "image/webp", "image/heic", "image/heif",  "image/avif"};

bool isPictureFormat(const QString& format) {
    for (const char* known : kPictureFormats) {
        if (format.compare(QLatin1String(known), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// The addresses of a list with one a line (CR LF or LF); "#" lines are comments
// (RFC 2483 5). `skipFirst` passes over a heading line such as "copy" or "cut".
QList<QUrl> addressLines(const QByteArray& text, bool skipFirst) {
    QList<QUrl> urls;
    QList<QByteArray> lines = text.split('\n');
    if (skipFirst && !lines.isEmpty())
        lines.removeFirst();
    for (QByteArray line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QUrl url = QUrl::fromEncoded(line, QUrl::TolerantMode);
        if (url.isValid())
            urls << url;
    }
    return urls;
}

QString firstLocal(const QList<QUrl>& urls) {
    if (urls.isEmpty() || !urls.first().isLocalFile())
        return {};
    return urls.first().toLocalFile();
}

} // namespace

QString offeredFile(const QMimeData* mime) {
    if (!mime)
        return {};
    if (mime->hasUrls())
        return firstLocal(mime->urls());
    const QString gnome = QStringLiteral("x-special/gnome-copied-files");
    if (mime->hasFormat(gnome))
        return firstLocal(addressLines(mime->data(gnome), true));
    const QString kde = QStringLiteral("application/x-kde4-urilist");
    if (mime->hasFormat(kde))
        return firstLocal(addressLines(mime->data(kde), false));
    // "x-special/nautilus-clipboard", then "copy" or "cut", then the addresses.
    if (mime->hasText()) {
        const QByteArray text = mime->text().toUtf8();
        const QByteArray heading = "x-special/nautilus-clipboard\n";
        if (text.startsWith(heading))
            return firstLocal(addressLines(text.mid(heading.size()), true));
    }
    return {};
}

bool offersPictureData(const QMimeData* mime) {
    if (!mime)
        return false;
    for (const QString& format : mime->formats()) {
        if (isPictureFormat(format))
            return true;
    }
    return false;
}

OfferedData offeredPictureData(const QMimeData* mime) {
    if (!mime)
        return {};
    for (const QString& format : mime->formats()) {
        if (!isPictureFormat(format))
            continue;
        QByteArray bytes = mime->data(format);
        if (!bytes.isEmpty())
            return {std::move(bytes), format};
    }
    return {};
}

QImage offeredBitmap(const QMimeData* mime) {
    if (!mime || !mime->hasImage())
        return {};
    return qvariant_cast<QImage>(mime->imageData());
}

QString offeredWebPicture(const QMimeData* mime) {
    if (!mime || !mime->hasUrls())
        return {};
    for (const QUrl& url : mime->urls()) {
        const QString scheme = url.scheme().toLower();
        if (scheme != QLatin1String("http") && scheme != QLatin1String("https") &&
            scheme != QLatin1String("ftp"))
            continue;
        const bool image =
            isPictureFileName(url.path()) ||
            (mime->hasHtml() && mime->html().contains(QLatin1String("<img"), Qt::CaseInsensitive));
        return image ? url.toDisplayString() : QString();
    }
    return {};
}

} // namespace zp
