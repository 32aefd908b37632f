#include "admin/AdminOptions.h"

#include <optional>

#include <QCommandLineParser>

#include "admin/CommandTable.h"
#include "platform/data/CommandLineText.h"
#include "platform/data/FasError.h"
#include "platform/sql/DatabaseSettings.h"

namespace {

// The database options may come before or after the command ("fas-admin migrate
// --database FILE", as the server's message names it): they are moved to the
// front, the command's own words keep their order.
QStringList databaseOptionsFirst(const QStringList &arguments)
{
    const QStringList options{QStringLiteral("--config"), QStringLiteral("--database")};
    QStringList front{arguments.value(0)};
    QStringList rest;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &word = arguments.at(i);
        if (options.contains(word)) {
            front << word;
            if (i + 1 < arguments.size())
                front << arguments.at(++i);
        } else if (word.startsWith(QLatin1String("--config=")) || word.startsWith(QLatin1String("--database="))) {
            front << word;
        } else {
            rest << word;
        }
    }
    return front + rest;
}

QString commandNames()
{
    QStringList names;
    for (const AdminCommand &command : CommandTable::commands())
        names << command.name;
    const QString last = names.takeLast();
    return names.join(QStringLiteral(", ")) + QStringLiteral(" ou ") + last;
}

} // namespace

AdminOptions AdminOptions::parse(const QStringList &givenArguments, const QProcessEnvironment &environment)
{
    const QStringList arguments = databaseOptionsFirst(givenArguments);
    QCommandLineParser parser;
    // Everything after the command belongs to it.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption configOption(QStringLiteral("config"), QString(), QStringLiteral("arquivo"));
    const QCommandLineOption databaseOption(QStringLiteral("database"), QString(), QStringLiteral("url"));
    parser.addOptions({helpOption, configOption, databaseOption});
    if (!parser.parse(arguments))
        throw FasError(CommandLineText::error(parser, QStringLiteral("fas-admin")));

    AdminOptions options;
    const QStringList positional = parser.positionalArguments();
    options.helpRequested = parser.isSet(helpOption);
    if (!positional.isEmpty()) {
        options.command = positional.constFirst();
        options.commandArguments = positional.mid(1);
    }
    if (options.command.isEmpty()) {
        if (!options.helpRequested)
            throw FasError(QStringLiteral("Informe um comando: %1 (veja fas-admin --help).").arg(commandNames()));
        return options;
    }
    if (options.helpRequested || options.commandArguments.contains(QStringLiteral("--help"))
        || options.commandArguments.contains(QStringLiteral("-h"))) {
        options.helpRequested = true;
        return options;
    }

    // The database is found as the application server finds it.
    std::optional<QString> database;
    if (parser.isSet(databaseOption))
        database = parser.value(databaseOption);
    options.databaseUrl = DatabaseSettings::read(DatabaseSettings::configPath(parser.value(configOption), environment),
                                                 database);
    return options;
}
