#pragma once

#include <optional>

#include <QCommandLineOption>
#include <QCommandLineParser>

// fas-host's options. --help and --version are answered before the GUI
// application exists, so they work without a display.
class HostCommandLine
{
public:
    HostCommandLine();

    // Prints the help or the version and gives the exit status when one of them
    // was asked for; nothing otherwise (errors are left to the GUI's parse).
    static std::optional<int> answerWithoutDisplay(int argc, char *argv[]);

    QCommandLineParser parser;
    const QCommandLineOption config;
    const QCommandLineOption database;
    const QCommandLineOption server;
    const QCommandLineOption module;
    const QCommandLineOption open;
    const QCommandLineOption screenshot;
    const QCommandLineOption click;
    const QCommandLineOption quitAfter;
};
