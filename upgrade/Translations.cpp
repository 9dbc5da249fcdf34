#include "upgrade/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace abd {

void InstallQtTranslations(QCoreApplication& app) {
    auto* qt = new QTranslator(&app);
    if (qt->load(QStringLiteral("qtbase_pt_BR"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
    else
        delete qt;
}

} // namespace abd
