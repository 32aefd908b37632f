// fas-admin: creates, upgrades, backs up and checks the billing database.

#include <cstdio>

#include <QCoreApplication>
#include <QTextStream>

#include "admin/AdminContext.h"
#include "admin/AdminOptions.h"
#include "admin/CommandTable.h"
#include "platform/data/FasError.h"
#include "fas/Version.h"

namespace {

void sayError(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

int run(const AdminOptions &options)
{
    QTextStream out(stdout);
    if (options.command.isEmpty()) {
        out << CommandTable::helpText();
        return AdminExit::Ok;
    }
    const AdminCommand *command = CommandTable::find(options.command);
    if (!command) {
        sayError(QStringLiteral("Comando desconhecido: %1.\n\n%2").arg(options.command, CommandTable::helpText()));
        return AdminExit::Usage;
    }
    if (options.helpRequested) {
        out << command->usage << u'\n';
        return AdminExit::Ok;
    }
    AdminContext context(DatabaseUrl::parse(options.databaseUrl), options.commandArguments, out);
    return command->run(context);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("fas-admin"));
    QCoreApplication::setApplicationVersion(QStringLiteral(FAS_VERSION));
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 2
        && (arguments.at(1) == QLatin1String("--version") || arguments.at(1) == QLatin1String("-v"))) {
        std::printf("fas-admin %s\n", FAS_VERSION);
        return AdminExit::Ok;
    }
    AdminOptions options;
    try {
        options = AdminOptions::parse(QCoreApplication::arguments());
    } catch (const FasError &error) {
        sayError(error.message());
        return AdminExit::Usage;
    }
    try {
        return run(options);
    } catch (const AdminUsageError &error) {
        sayError(error.message());
        return AdminExit::Usage;
    } catch (const FasError &error) {
        sayError(error.message());
        return AdminExit::Failed;
    }
}
