#include "host/HostTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstdio>

bool HostTranslations::install(QCoreApplication &application)
{
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto *translator = new QTranslator(&application);
    if (!translator->load(QStringLiteral("qtbase_pt_BR"), folder)) {
        std::fprintf(stderr,
                     "fas-host: Qt's Portuguese texts (qtbase_pt_BR) not found in %s; install qt6-translations-l10n\n",
                     qPrintable(folder));
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}
