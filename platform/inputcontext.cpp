#include "inputcontext.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QPluginLoader>

#include <cstdio>

namespace zp {

namespace {

// "ibus", "fcitx" or empty for the name a variable gives: "ibus", "fcitx5",
// "ibus:xim" (GTK takes a list).
QString contextFor(const QString& named, const QStringList& installed) {
    const QString first = named.section(QLatin1Char(':'), 0, 0).trimmed().toLower();
    for (const QString& context : {QStringLiteral("ibus"), QStringLiteral("fcitx")})
        if (first.startsWith(context) && installed.contains(context))
            return context;
    return {};
}

QString requestedContext(const QProcessEnvironment& env) {
    return env.value(QStringLiteral("QT_IM_MODULE")).trimmed().toLower();
}

// Qt 6 has no X input method client; it takes "xim" for its compose context.
bool loadable(const QString& requested, const QStringList& installed) {
    return requested != QLatin1String("xim") && installed.contains(requested);
}

QString desktopContext(const QProcessEnvironment& env, const QStringList& installed) {
    // XMODIFIERS is "@im=NAME", possibly followed by further "@key=value" modifiers.
    const QString modifiers = env.value(QStringLiteral("XMODIFIERS"));
    const qsizetype at = modifiers.indexOf(QStringLiteral("@im="));
    if (at >= 0) {
        const QString name = modifiers.mid(at + 4).section(QLatin1Char('@'), 0, 0);
        if (const QString c = contextFor(name, installed); !c.isEmpty())
            return c;
    }
    return contextFor(env.value(QStringLiteral("GTK_IM_MODULE")), installed);
}

} // namespace

QString chooseInputContext(const QProcessEnvironment& env, const QStringList& installed) {
    const QString requested = requestedContext(env);
    if (!requested.isEmpty() && loadable(requested, installed))
        return {};
    return desktopContext(env, installed);
}

QString inputContextNotice(const QProcessEnvironment& env, const QStringList& installed,
                           const QString& chosen) {
    const QString requested = requestedContext(env);
    if (requested.isEmpty() || loadable(requested, installed))
        return {};
    const QString head = QStringLiteral("zoripost: QT_IM_MODULE=%1 has no Qt 6 input module; ")
                             .arg(env.value(QStringLiteral("QT_IM_MODULE")).trimmed());
    if (!chosen.isEmpty())
        return head + QStringLiteral("using %1 from the desktop's settings").arg(chosen);
    return head + QStringLiteral("Japanese input needs ibus or fcitx5 with their Qt 6 module");
}

QStringList installedInputContexts() {
    QStringList found;
    // Callable before the application object exists: Qt's own plugin folder and
    // QT_PLUGIN_PATH. The keys come from each plugin's metadata, read without loading it.
    for (const QString& path : QCoreApplication::libraryPaths()) {
        const QDir dir(path + QStringLiteral("/platforminputcontexts"));
        for (const QString& f : dir.entryList(QDir::Files)) {
            const QJsonObject meta = QPluginLoader(dir.filePath(f)).metaData();
            const QJsonArray keys = meta.value(QStringLiteral("MetaData"))
                                        .toObject()
                                        .value(QStringLiteral("Keys"))
                                        .toArray();
            for (const auto& key : keys)
                if (const QString k = key.toString().toLower(); !k.isEmpty() && !found.contains(k))
                    found << k;
        }
    }
    return found;
}

void chooseInputContextForDesktop() {
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QStringList installed = installedInputContexts();
    const QString c = chooseInputContext(env, installed);
    if (const QString notice = inputContextNotice(env, installed, c); !notice.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(notice));
    if (!c.isEmpty())
        qputenv("QT_IM_MODULE", c.toLatin1());
}

} // namespace zp
