#include "inputcontext.h"

#include <QCoreApplication>
#include <QDir>

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

} // namespace

QString chooseInputContext(const QProcessEnvironment& env, const QStringList& installed) {
    if (!env.value(QStringLiteral("QT_IM_MODULE")).trimmed().isEmpty())
        return {};
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

QStringList installedInputContexts() {
    QStringList found;
    // Callable before the application object exists: Qt's own plugin folder and
    // QT_PLUGIN_PATH.
    for (const QString& path : QCoreApplication::libraryPaths()) {
        const QStringList files =
            QDir(path + QStringLiteral("/platforminputcontexts")).entryList(QDir::Files);
        for (const QString& f : files)
            for (const QString& c : {QStringLiteral("ibus"), QStringLiteral("fcitx")})
                if (f.contains(c, Qt::CaseInsensitive) && !found.contains(c))
                    found << c;
    }
    return found;
}

void chooseInputContextForDesktop() {
    const QString c =
        chooseInputContext(QProcessEnvironment::systemEnvironment(), installedInputContexts());
    if (!c.isEmpty())
        qputenv("QT_IM_MODULE", c.toLatin1());
}

} // namespace zp
