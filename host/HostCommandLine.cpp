#include "host/HostCommandLine.h"

#include "platform/data/CommandLineText.h"

#include <cstdio>

#include <QCoreApplication>

#include "fas/Version.h"

HostCommandLine::HostCommandLine()
    : config(QStringLiteral("config"), QStringLiteral("Arquivo INI de configuração (padrão: variável FAS_CONFIG)."),
             QStringLiteral("arquivo"))
    , database(QStringLiteral("database"), QStringLiteral("Banco de dados do host: arquivo SQLite ou endereço postgresql://."),
               QStringLiteral("url"))
    , server(QStringLiteral("server"), QStringLiteral("Endereço do servidor de aplicação HOST:PORTA."),
             QStringLiteral("endereço"))
    , module(QStringLiteral("module"), QStringLiteral("Caminho de libPkg_fas09600.so."), QStringLiteral("caminho"))
    , open(QStringLiteral("open"), QStringLiteral("Abre a prévia para faturamento ao iniciar."))
    , screenshot(QStringLiteral("screenshot"),
                 QStringLiteral("Depuração: grava a tela em ARQUIVO MS milissegundos após o início (pode repetir)."),
                 QStringLiteral("MS:ARQUIVO"))
    , click(QStringLiteral("click"),
            QStringLiteral("Depuração: clica no botão de nome NOME MS milissegundos após o início (pode repetir)."),
            QStringLiteral("MS:NOME"))
    , quitAfter(QStringLiteral("quit-after"), QStringLiteral("Depuração: encerra MS milissegundos após o início."), QStringLiteral("MS"))
{
    parser.setApplicationDescription(QStringLiteral("Hospedeiro do módulo Prévia para Faturamento (FAS09600)."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({config, database, server, module, open, screenshot, click, quitAfter});
}

std::optional<int> HostCommandLine::answerWithoutDisplay(int argc, char *argv[])
{
    // A core application knows the program's name and arguments without
    // connecting to a display; it is gone before the GUI application starts.
    QCoreApplication core(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("fas-host"));
    QCoreApplication::setApplicationVersion(QStringLiteral(FAS_VERSION));
    HostCommandLine commandLine;
    // Qt's own GUI options (-platform, -style ...) are unknown here: a failed
    // parse is reported by the GUI application's parse.
    if (!commandLine.parser.parse(QCoreApplication::arguments()))
        return std::nullopt;
    if (commandLine.parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(CommandLineText::help(commandLine.parser, QStringLiteral("fas-host"))), stdout);
        return 0;
    }
    if (commandLine.parser.isSet(QStringLiteral("version"))) {
        std::printf("fas-host %s\n", FAS_VERSION);
        return 0;
    }
    return std::nullopt;
}
