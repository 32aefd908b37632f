#include "admin/commands/Commands.h"

#include "admin/AdminContext.h"
#include "admin/commands/CommandArguments.h"
#include "admin/SqliteBackup.h"

namespace {

const QString Usage = QStringLiteral(
    "Uso: fas-admin backup ARQUIVO\n"
    "SQLite: copia o banco de dados para ARQUIVO, consistente mesmo com o servidor gravando; a cópia é escrita\n"
    "com outro nome e só toma o lugar de ARQUIVO quando completa; só o dono (e o grupo, se o banco for legível\n"
    "pelo grupo) pode lê-la. ARQUIVO não pode ser o banco nem os seus arquivos -wal, -journal e -shm.\n"
    "PostgreSQL: não copia nada (código 3) e\n"
    "mostra o comando pg_dump a usar.");

// The address for pg_dump: the connection's parts without the password, which
// pg_dump takes from PGPASSWORD or ~/.pgpass.
QString pgDumpAddress(const DatabaseUrl &url)
{
    QString address = QStringLiteral("postgresql://");
    if (!url.userName().isEmpty())
        address += url.userName() + u'@';
    address += url.host().contains(u':') ? u'[' + url.host() + u']' : url.host();
    if (url.port() > 0)
        address += u':' + QString::number(url.port());
    return address + u'/' + url.databaseName();
}

int run(AdminContext &context)
{
    requireArgumentCount(context, 1, Usage);
    const QString target = context.arguments().constFirst();
    if (!context.url().isSqlite()) {
        context.say(QStringLiteral("O fas-admin não copia um banco PostgreSQL. Use o pg_dump do PostgreSQL (a senha "
                                   "vem de PGPASSWORD ou de ~/.pgpass):\n  pg_dump --format=custom --file='%1' '%2'\n"
                                   "e, para restaurar num banco vazio: pg_restore --dbname='%2' '%1'")
                        .arg(target, pgDumpAddress(context.url())));
        return AdminExit::Refused;
    }
    SqliteBackup::copy(context.database(), context.url().path(), target);
    context.say(QStringLiteral("Cópia de %1 gravada em %2.").arg(context.url().displayName(), target));
    return AdminExit::Ok;
}

} // namespace

AdminCommand AdminCommands::backup()
{
    return {QStringLiteral("backup"), QStringLiteral("copia o banco SQLite (PostgreSQL: mostra o pg_dump)"), Usage,
            &run};
}
