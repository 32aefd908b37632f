#include "admin/commands/Commands.h"

#include "admin/AdminContext.h"
#include "admin/commands/CommandArguments.h"
#include "platform/sql/DatabaseError.h"
#include "db/SchemaMigrator.h"

namespace {

const QString Usage = QStringLiteral(
    "Uso: fas-admin migrate\n"
    "Atualiza o esquema do banco de dados para a versão mais nova, uma migração por transação, mostrando cada\n"
    "uma aplicada. Vários processos podem rodá-lo ao mesmo tempo: um migra, os outros esperam e nada mais têm\n"
    "a fazer.");

int run(AdminContext &context)
{
    requireArgumentCount(context, 0, Usage);
    QSqlDatabase &db = context.database();
    SchemaMigrator migrator(db);
    const QString name = context.url().displayName();
    const int before = migrator.currentVersion();
    if (before == SchemaMigrator::EmptyDatabase)
        throw DatabaseError(QStringLiteral("O banco de dados %1 não tem as tabelas do faturamento: crie-as com "
                                           "fas-admin init.")
                                .arg(name));
    if (before > migrator.newestVersion())
        throw DatabaseError(QStringLiteral("O banco de dados %1 está na versão %2 do esquema, mais nova que a "
                                           "versão %3 que este fas-admin conhece: atualize o programa.")
                                .arg(name)
                                .arg(before)
                                .arg(migrator.newestVersion()));
    const int applied = migrator.migrate(-1, [&context](const Migration &migration) {
        context.say(QStringLiteral("Migração %1 aplicada.").arg(migration.name));
    });
    if (applied == 0)
        context.say(QStringLiteral("O banco de dados %1 já está na versão %2, a mais nova: nada a fazer.")
                        .arg(name)
                        .arg(migrator.newestVersion()));
    else
        context.say(QStringLiteral("%1: esquema atualizado da versão %2 para a %3.")
                        .arg(name)
                        .arg(before)
                        .arg(migrator.newestVersion()));
    return AdminExit::Ok;
}

} // namespace

AdminCommand AdminCommands::migrate()
{
    return {QStringLiteral("migrate"), QStringLiteral("atualiza o esquema para a versão mais nova"), Usage, &run};
}
