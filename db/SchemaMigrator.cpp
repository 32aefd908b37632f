#include "db/SchemaMigrator.h"

#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>

#include "platform/sql/DatabaseError.h"
#include "db/MigrationCatalog.h"
#include "db/SchemaScript.h"

SchemaMigrator::SchemaMigrator(QSqlDatabase &db)
    : SchemaMigrator(db, MigrationCatalog::forKind(SchemaScript::kindOf(db)))
{
}

SchemaMigrator::SchemaMigrator(QSqlDatabase &db, QList<Migration> migrations)
    : m_db(db)
    , m_migrations(std::move(migrations))
    , m_sqlite(SchemaScript::kindOf(db) == DatabaseUrl::Kind::Sqlite)
{
}

int SchemaMigrator::currentVersion() const
{
    if (SchemaScript::hasTable(m_db, SchemaScript::versionTable())) {
        QSqlQuery query(m_db);
        if (!query.exec(QStringLiteral("SELECT NRVERSION FROM SCHEMA_VERSION WHERE CDSCHEMA_VERSION = 1")))
            throw DatabaseError(
                QStringLiteral("Não foi possível ler a versão do esquema: %1").arg(query.lastError().text()));
        if (!query.next())
            throw DatabaseError(QStringLiteral("A tabela SCHEMA_VERSION está vazia: a versão do esquema não é "
                                               "conhecida. Restaure uma cópia de segurança."));
        return query.value(0).toInt();
    }
    const QStringList present = SchemaScript::existingTables(m_db);
    if (present.isEmpty())
        return EmptyDatabase;
    if (present.size() == SchemaScript::tables().size())
        return 1;
    QStringList missing;
    for (const QString &table : SchemaScript::tables())
        if (!present.contains(table))
            missing.append(table);
    throw DatabaseError(QStringLiteral("O banco de dados tem só parte das tabelas do faturamento (faltam %1): "
                                       "não é um banco que o fas-admin saiba atualizar.")
                            .arg(missing.join(QStringLiteral(", "))));
}

int SchemaMigrator::migrate(int target, const std::function<void(const Migration &)> &applied)
{
    if (target < 0 || target > newestVersion())
        target = newestVersion();
    int count = 0;
    for (const Migration &migration : std::as_const(m_migrations)) {
        if (migration.version > target)
            break;
        if (migration.version <= currentVersion())
            continue;
        if (applyOne(migration)) {
            ++count;
            if (applied)
                applied(migration);
        }
    }
    return count;
}

// One migration in one transaction; false when another process applied it while
// this one waited for the lock.
bool SchemaMigrator::applyOne(const Migration &migration)
{
    const bool rebuild = m_sqlite && migration.foreignKeysOff;
    if (rebuild)
        exec(QStringLiteral("PRAGMA foreign_keys = OFF"), migration.name);
    const auto restoreKeys = qScopeGuard([this, rebuild] {
        if (rebuild)
            QSqlQuery(m_db).exec(QStringLiteral("PRAGMA foreign_keys = ON"));
    });
    begin();
    auto rollback = qScopeGuard([this] { QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK")); });
    if (currentVersion() >= migration.version)
        return false;
    runStatements(migration);
    if (rebuild)
        checkForeignKeys(migration);
    recordVersion(migration.version);
    exec(QStringLiteral("COMMIT"), migration.name);
    rollback.dismiss();
    return true;
}

void SchemaMigrator::begin()
{
    if (m_sqlite) {
        exec(QStringLiteral("BEGIN IMMEDIATE"), QStringLiteral("início da migração"));
        return;
    }
    exec(QStringLiteral("BEGIN"), QStringLiteral("início da migração"));
    exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(PostgreSqlLockKey),
         QStringLiteral("início da migração"));
}

void SchemaMigrator::runStatements(const Migration &migration)
{
    for (const QString &statement : migration.statements) {
        QSqlQuery query(m_db);
        if (!query.exec(statement))
            throw DatabaseError(QStringLiteral("A migração %1 falhou e foi desfeita; o banco de dados continua na "
                                               "versão anterior. Comando:\n%2\nMotivo: %3")
                                    .arg(migration.name, statement.left(200), query.lastError().text()));
    }
}

void SchemaMigrator::checkForeignKeys(const Migration &migration)
{
    QSqlQuery query(m_db);
    if (query.exec(QStringLiteral("PRAGMA foreign_key_check")) && query.next())
        throw DatabaseError(QStringLiteral("A migração %1 foi desfeita: deixaria linhas de %2 apontando para "
                                           "registros inexistentes de %3.")
                                .arg(migration.name, query.value(0).toString(), query.value(2).toString()));
}

void SchemaMigrator::recordVersion(int version)
{
    if (!SchemaScript::hasTable(m_db, SchemaScript::versionTable()))
        return; // the first schema is recognised by its tables
    exec(QStringLiteral("UPDATE SCHEMA_VERSION SET NRVERSION = %1 WHERE CDSCHEMA_VERSION = 1").arg(version),
         QStringLiteral("registro da versão %1").arg(version));
}

void SchemaMigrator::exec(const QString &statement, const QString &context)
{
    QSqlQuery query(m_db);
    if (!query.exec(statement))
        throw DatabaseError(
            QStringLiteral("Não foi possível migrar o esquema (%1): %2").arg(context, query.lastError().text()));
}
