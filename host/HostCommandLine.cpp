#include "host/HostCommandLine.h"

#include <cstdio>

#include <QCoreApplication>

#include "fas/Version.h"

HostCommandLine::HostCommandLine()
    : config(QStringLiteral("config"), QStringLiteral("INI configuration file (default: $FAS_CONFIG)."),
             QStringLiteral("file"))
    , database(QStringLiteral("database"), QStringLiteral("Host database: SQLite path or postgresql:// URL."),
               QStringLiteral("url"))
    , server(QStringLiteral("server"), QStringLiteral("Application server address HOST:PORT."),
             QStringLiteral("address"))
    , module(QStringLiteral("module"), QStringLiteral("Path of libPkg_fas09600.so."), QStringLiteral("path"))
    , open(QStringLiteral("open"), QStringLiteral("Open the billing preview at start."))
    , screenshot(QStringLiteral("screenshot"),
                 QStringLiteral("Debugging: save the screen to FILE MS after start (repeatable)."),
                 QStringLiteral("MS:FILE"))
    , click(QStringLiteral("click"),
            QStringLiteral("Debugging: click the button named NAME MS after start (repeatable)."),
            QStringLiteral("MS:NAME"))
    , quitAfter(QStringLiteral("quit-after"), QStringLiteral("Debugging: quit MS after start."), QStringLiteral("MS"))
{
    parser.setApplicationDescription(QStringLiteral("Host of the billing preview module (FAS09600)."));
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
        std::fputs(qPrintable(commandLine.parser.helpText()), stdout);
        return 0;
    }
    if (commandLine.parser.isSet(QStringLiteral("version"))) {
        std::printf("fas-host %s\n", FAS_VERSION);
        return 0;
    }
    return std::nullopt;
}
