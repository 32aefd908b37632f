#include "admin/AdminOptions.h"

#include <QCommandLineParser>

#include "platform/data/FasError.h"
#include "server/app/ServerOptions.h"

AdminOptions AdminOptions::parse(const QStringList &arguments, const QProcessEnvironment &environment)
{
    QCommandLineParser parser;
    // Everything after the command belongs to it.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption configOption(QStringLiteral("config"), QString(), QStringLiteral("arquivo"));
    const QCommandLineOption databaseOption(QStringLiteral("database"), QString(), QStringLiteral("url"));
    parser.addOptions({helpOption, configOption, databaseOption});
    if (!parser.parse(arguments))
        throw FasError(parser.errorText() + QStringLiteral(" (veja fas-admin --help)"));

    AdminOptions options;
    const QStringList positional = parser.positionalArguments();
    options.helpRequested = parser.isSet(helpOption);
    if (!positional.isEmpty()) {
        options.command = positional.constFirst();
        options.commandArguments = positional.mid(1);
    }
    if (options.command.isEmpty()) {
        if (!options.helpRequested)
            throw FasError(
                QStringLiteral("Informe um comando: init, migrate, backup ou check (veja fas-admin --help)."));
        return options;
    }
    if (options.helpRequested || options.commandArguments.contains(QStringLiteral("--help"))
        || options.commandArguments.contains(QStringLiteral("-h"))) {
        options.helpRequested = true;
        return options;
    }

    // The server's own reading of the configuration names the database.
    QStringList serverArguments{arguments.value(0, QStringLiteral("fas-admin"))};
    if (parser.isSet(configOption))
        serverArguments << QStringLiteral("--config") << parser.value(configOption);
    if (parser.isSet(databaseOption))
        serverArguments << QStringLiteral("--database") << parser.value(databaseOption);
    options.databaseUrl = ServerOptions::parse(serverArguments, environment).databaseUrl;
    return options;
}
