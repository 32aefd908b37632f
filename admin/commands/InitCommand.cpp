#include "admin/commands/Commands.h"

#include "admin/AdminContext.h"
#include "admin/commands/CommandArguments.h"
#include "db/SchemaMigrator.h"

namespace {

const QString Usage = QStringLiteral(
    "Uso: fas-admin init\n"
    "Cria as tabelas do faturamento, vazias, na versão mais nova do esquema. Um arquivo SQLite que não existe\n"
    "é criado. Recusa (código 3) um banco de dados que já tem tabelas: para esse, use fas-admin migrate.");

int run(AdminContext &context)
{
    requireArgumentCount(context, 0, Usage);
    QSqlDatabase &db = context.database(DatabaseConnection::Mode::CreateIfMissing);
    const QStringList tables = db.tables(QSql::Tables);
    if (!tables.isEmpty()) {
        context.say(QStringLiteral("O banco de dados %1 já tem tabelas (%2): nada foi alterado. O fas-admin init só "
                                   "cria o esquema num banco vazio; para atualizar este, use fas-admin migrate.")
                        .arg(context.url().displayName(), tables.join(QStringLiteral(", "))));
        return AdminExit::Refused;
    }
    SchemaMigrator migrator(db);
    migrator.migrate();
    context.say(QStringLiteral("%1: esquema criado na versão %2.")
                    .arg(context.url().displayName())
                    .arg(migrator.newestVersion()));
    return AdminExit::Ok;
}

} // namespace

AdminCommand AdminCommands::init()
{
    return {QStringLiteral("init"), QStringLiteral("cria as tabelas, vazias, num banco de dados novo"), Usage, &run};
}
