#include "qttranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace zp {

bool installQtTranslation(QCoreApplication& app, const QString& programFolder) {
    const QString folders[] = {programFolder + QStringLiteral("/translations"), programFolder,
                               QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
    auto* translator = new QTranslator(&app);
    for (const QString& folder : folders) {
        // The window is Japanese whatever the desktop's language, so the language is fixed.
        if (!folder.isEmpty() && translator->load(QStringLiteral("qtbase_ja"), folder)) {
            QCoreApplication::installTranslator(translator);
            return true;
        }
    }
    delete translator;
    return false;
}

} // namespace zp
