#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

#include "ErrorReport.h"
#include "EventGuard.h"
#include "FasError.h"
#include "HostConfig.h"
#include "HostTranslations.h"
#include "HostWindow.h"
#include "ModuleLoader.h"
#include "ScreenshotScript.h"
#include "TApplication.h"
#include "TdtmDBGeral.h"

namespace {

void reportFatal(const QString &message)
{
    std::fprintf(stderr, "fas-host: %s\n", qPrintable(message));
    ErrorReport::show(message);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("fas-host"));
    QApplication::setApplicationDisplayName(QStringLiteral("Faturamento de Serviços"));
    QApplication::setOrganizationName(QStringLiteral("fas"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Host of the billing preview module (FAS09600)."));
    parser.addHelpOption();
    const QCommandLineOption configOption(QStringLiteral("config"), QStringLiteral("INI configuration file (default: $FAS_CONFIG)."), QStringLiteral("file"));
    const QCommandLineOption databaseOption(QStringLiteral("database"), QStringLiteral("Host database: SQLite path or postgresql:// URL."), QStringLiteral("url"));
    const QCommandLineOption serverOption(QStringLiteral("server"), QStringLiteral("Application server address HOST:PORT."), QStringLiteral("address"));
    const QCommandLineOption moduleOption(QStringLiteral("module"), QStringLiteral("Path of libPkg_fas09600.so."), QStringLiteral("path"));
    const QCommandLineOption openOption(QStringLiteral("open"), QStringLiteral("Open the billing preview at start."));
    const QCommandLineOption shotOption(QStringLiteral("screenshot"),
                                        QStringLiteral("Debugging: save the screen to FILE MS after start (repeatable)."),
                                        QStringLiteral("MS:FILE"));
    const QCommandLineOption clickOption(QStringLiteral("click"),
                                         QStringLiteral("Debugging: click the button named NAME MS after start (repeatable)."),
                                         QStringLiteral("MS:NAME"));
    const QCommandLineOption quitOption(QStringLiteral("quit-after"), QStringLiteral("Debugging: quit MS after start."),
                                        QStringLiteral("MS"));
    parser.addOptions({configOption, databaseOption, serverOption, moduleOption, openOption, shotOption, clickOption,
                       quitOption});
    parser.process(app);

    ModuleLoader module(parser.isSet(moduleOption) ? parser.value(moduleOption)
                                                   : ModuleLoader::defaultPath(QApplication::applicationDirPath()));
    TdtmDBGeral dataModule;
    // Qt's own dialogs (a file's choice, a yes/no question) in the screens' language.
    HostTranslations::install(app);
    try {
        const QString config = parser.isSet(configOption) ? parser.value(configOption) : qEnvironmentVariable("FAS_CONFIG");
        if (!config.isEmpty())
            HostConfig::load(config);
        if (parser.isSet(databaseOption))
            HostConfig::setDatabaseUrl(parser.value(databaseOption));
        if (parser.isSet(serverOption)) {
            const QString address = parser.value(serverOption);
            const qsizetype colon = address.lastIndexOf(QLatin1Char(':'));
            bool ok = colon > 0;
            const int port = ok ? address.mid(colon + 1).toInt(&ok) : 0;
            if (!ok || port <= 0 || port > 65535)
                throw FasError(QStringLiteral("Endereço do servidor inválido: \"%1\" (use HOST:PORTA).").arg(address));
            HostConfig::setWebUrl(address.left(colon));
            HostConfig::setWebPort(port);
        }
        if (HostConfig::databaseUrl().isEmpty()) {
            throw FasError(QStringLiteral("Nenhum banco de dados configurado: informe --database ou um arquivo de "
                                          "configuração com [database] url= (--config ou FAS_CONFIG)."));
        }
        dataModule.Open(HostConfig::databaseUrl());
    } catch (const FasError &error) {
        reportFatal(error.message());
        return 2;
    }

    HostWindow window(module);
    window.show();
    if (parser.isSet(openOption))
        QTimer::singleShot(0, &window, &HostWindow::openPreview);
    ScreenshotScript script(parser.values(shotOption), parser.values(clickOption), parser.value(quitOption).toInt());

    const int result = QApplication::exec();
    // The screens go before the module's finalization; the module goes before
    // the database connection.
    window.destroyScreens();
    Application().DestroyForms();
    EventGuard::run([&] { module.unload(); });
    return result;
}
