#include "intakefiles.h"

#include "decoders/decoder.h"
#include "picture/desktoplink.h"
#include "platform/fspath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace zp {
namespace {

// The local file a desktop link file points to; empty when the file is no such link.
QString desktopLinkTarget(const QFileInfo& fi) {
    if (!isDesktopLinkName(fi.fileName().toStdString()) || !fi.isFile() ||
        fi.size() > static_cast<qint64>(kMaxDesktopLinkBytes))
        return {};
    QFile f(fi.absoluteFilePath());
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = f.read(static_cast<qint64>(kMaxDesktopLinkBytes));
    const std::string url = desktopLinkFileUrl(std::string_view(text.constData(), text.size()));
    if (url.empty())
        return {};
    const QUrl u(QString::fromUtf8(url.data(), static_cast<qsizetype>(url.size())));
    return u.isLocalFile() ? u.toLocalFile() : QString();
}

} // namespace

QString resolveShortcut(const QString& path) {
    const QFileInfo fi(path);
    QString target;
    if (fi.isShortcut() || fi.isSymLink())
        // symLinkTarget gives a shortcut's target on Windows and a link's on every system.
        target = fi.symLinkTarget();
    else
        target = desktopLinkTarget(fi);
    if (target.isEmpty())
        return {};
    // A relative target is relative to the folder of the link.
    return QDir(fi.absolutePath()).absoluteFilePath(target);
}

QString longPathName(const QString& path) {
    if (path.isEmpty())
        return {};
    const QFileInfo fi(path);
    if (!fi.exists())
        return {};
    return QDir::cleanPath(fi.absoluteFilePath());
}

bool isPictureFileName(const QString& path) {
    return pictureTypeFromPath(toFsPath(path)) != PictureType::Unknown;
}

IntakeFile resolveIntakeFile(const QString& given) {
    if (given.isEmpty())
        return {{}, QStringLiteral("取り込むファイルが指定されていません。")};
    QString path = given;
    for (int hop = 0;; ++hop) {
        const QString target = resolveShortcut(path);
        if (target.isEmpty())
            break;
        if (!QFileInfo::exists(target))
            return {{}, QStringLiteral("リンク先のファイルが見つかりません：") + given};
        if (hop == kMaxLinkHops)
            return {{}, QStringLiteral("リンクをたどりきれません：") + given};
        path = target;
    }
    const QString file = longPathName(path);
    if (file.isEmpty())
        return {{}, QStringLiteral("ファイルが見つかりません：") + given};
    const QFileInfo fi(file);
    if (fi.isDir())
        return {{}, QStringLiteral("フォルダは添付できません：") + file};
    if (!fi.isFile())
        return {{}, QStringLiteral("通常のファイルではないため添付できません：") + file};
    if (!fi.isReadable())
        return {{}, QStringLiteral("ファイルを読み込めません：") + file};
    return {file, {}};
}

} // namespace zp
