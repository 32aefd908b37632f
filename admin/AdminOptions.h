#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// fas-admin's command line: the options (--config and --database before or after
// the command, --help), the command's name and its own arguments. The database is found as the
// application server finds it (DatabaseSettings: the INI file's [database] url, a
// SQLite path relative to the file, --database over it). Throws FasError with a
// Portuguese message for anything it cannot use.
struct AdminOptions
{
    bool helpRequested = false;
    QString command; // empty with --help alone
    QStringList commandArguments;
    QString databaseUrl;

    static AdminOptions parse(const QStringList &arguments,
                              const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());
};
