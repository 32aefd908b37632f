#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

#include "platform/ui/ErrorReport.h"
#include "platform/ui/EventGuard.h"
#include "platform/data/FasError.h"
#include "host/HostCommandLine.h"
#include "platform/data/CommandLineText.h"
#include "outside/services/HostConfig.h"
#include "host/HostTranslations.h"
#include "host/HostWindow.h"
#include "host/ModuleLoader.h"
#include "host/ScreenshotScript.h"
#include "outside/forms/TApplication.h"
#include "outside/data/TdtmDBGeral.h"
#include "fas/Version.h"

namespace {

void reportFatal(const QString &message)
{
    std::fprintf(stderr, "fas-host: %s\n", qPrintable(message));
    ErrorReport::show(message);
}

} // namespace

int main(int argc, char *argv[])
{
    if (const std::optional<int> status = HostCommandLine::answerWithoutDisplay(argc, argv))
        return *status;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("fas-host"));
    QApplication::setApplicationDisplayName(QStringLiteral("Faturamento de Serviços"));
    QApplication::setOrganizationName(QStringLiteral("fas"));
    QApplication::setApplicationVersion(QStringLiteral(FAS_VERSION));

    HostCommandLine commandLine;
    QCommandLineParser &parser = commandLine.parser;
    // Qt's own options (-platform, -style ...) were taken by the application.
    if (!parser.parse(QApplication::arguments())) {
        std::fprintf(stderr, "%s\n", qPrintable(CommandLineText::error(parser, QStringLiteral("fas-host"))));
        return CommandLineText::UsageStatus;
    }

    ModuleLoader module(parser.isSet(commandLine.module)
                            ? parser.value(commandLine.module)
                            : ModuleLoader::defaultPath(QApplication::applicationDirPath()));
    TdtmDBGeral dataModule;
    // Qt's own dialogs (a file's choice, a yes/no question) in the screens' language.
    HostTranslations::install(app);
    try {
        const QString config = parser.isSet(commandLine.config) ? parser.value(commandLine.config)
                                                                : qEnvironmentVariable("FAS_CONFIG");
        if (!config.isEmpty())
            HostConfig::load(config);
        if (parser.isSet(commandLine.database))
            HostConfig::setDatabaseUrl(parser.value(commandLine.database));
        if (parser.isSet(commandLine.server)) {
            const QString address = parser.value(commandLine.server);
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
    if (parser.isSet(commandLine.open))
        QTimer::singleShot(0, &window, &HostWindow::openPreview);
    ScreenshotScript script(parser.values(commandLine.screenshot), parser.values(commandLine.click),
                            parser.value(commandLine.quitAfter).toInt());

    const int result = QApplication::exec();
    // The screens go before the module's finalization; the module goes before
    // the database connection.
    window.destroyScreens();
    Application().DestroyForms();
    EventGuard::run([&] { module.unload(); });
    return result;
}
