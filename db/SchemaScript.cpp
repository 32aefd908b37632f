#include "db/SchemaScript.h"

#include <algorithm>

#include <QRegularExpression>
#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>

#include "platform/sql/DatabaseError.h"
#include "db/MigrationCatalog.h"
#include "db/SchemaMigrator.h"

namespace SchemaScript {

const QStringList &tables()
{
    static const QStringList names = {
        QStringLiteral("EMPRESA"),     QStringLiteral("FILIAL"),     QStringLiteral("CLIENTE"),
        QStringLiteral("ENDECLIE"),    QStringLiteral("PARAMGERAL"), QStringLiteral("PRODUTO"),
        QStringLiteral("OPERADOR"),    QStringLiteral("APURFATFAS"), QStringLiteral("LANCFATFAS"),
        QStringLiteral("ITEMLANCFAT"), QStringLiteral("NUMLANCFAT"),
    };
    return names;
}

DatabaseUrl::Kind kindOf(const QSqlDatabase &db)
{
    return db.driverName() == QLatin1String("QSQLITE") ? DatabaseUrl::Kind::Sqlite : DatabaseUrl::Kind::PostgreSql;
}

QString versionTable()
{
    return QStringLiteral("SCHEMA_VERSION");
}

QStringList parseStatements(const QString &text)
{
    QStringList result;
    static const QRegularExpression separator(QStringLiteral("^;;\\s*$"), QRegularExpression::MultilineOption);
    for (const QString &part : text.split(separator)) {
        // Drop comment lines so that an empty part is recognised as such.
        QStringList lines;
        for (const QString &line : part.split(u'\n'))
            if (!line.trimmed().startsWith(QLatin1String("--")))
                lines.append(line);
        QString statement = lines.join(u'\n').trimmed();
        if (statement.endsWith(u';'))
            statement.chop(1);
        if (!statement.isEmpty())
            result.append(statement);
    }
    return result;
}

QStringList existingTables(const QSqlDatabase &db)
{
    QStringList present;
    const QStringList all = db.tables(QSql::Tables);
    for (const QString &name : tables())
        for (const QString &existing : all)
            if (existing.compare(name, Qt::CaseInsensitive) == 0) {
                present.append(name);
                break;
            }
    return present;
}

bool hasTable(const QSqlDatabase &db, const QString &name)
{
    const QStringList all = db.tables(QSql::Tables);
    return std::any_of(all.cbegin(), all.cend(),
                       [&name](const QString &table) { return table.compare(name, Qt::CaseInsensitive) == 0; });
}

void create(QSqlDatabase &db)
{
    SchemaMigrator(db).migrate();
}

QStringList createdTables(DatabaseUrl::Kind kind)
{
    static const QRegularExpression create(QStringLiteral("^\\s*CREATE\\s+TABLE\\s+(?:IF\\s+NOT\\s+EXISTS\\s+)?(\\w+)"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression rename(QStringLiteral("^\\s*ALTER\\s+TABLE\\s+(\\w+)\\s+RENAME\\s+TO\\s+(\\w+)"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression dropped(QStringLiteral("^\\s*DROP\\s+TABLE\\s+(?:IF\\s+EXISTS\\s+)?(\\w+)"),
                                            QRegularExpression::CaseInsensitiveOption);
    QStringList names;
    const auto remove = [&names](const QString &name) {
        names.removeIf([&name](const QString &known) { return known.compare(name, Qt::CaseInsensitive) == 0; });
    };
    for (const Migration &migration : MigrationCatalog::forKind(kind))
        for (const QString &statement : migration.statements) {
            const auto created = create.match(statement);
            const auto renamed = rename.match(statement);
            if (created.hasMatch()) {
                names.append(created.captured(1).toUpper());
            } else if (renamed.hasMatch()) {
                remove(renamed.captured(1));
                remove(renamed.captured(2));
                names.append(renamed.captured(2).toUpper());
            } else if (const auto gone = dropped.match(statement); gone.hasMatch()) {
                remove(gone.captured(1));
            }
        }
    return names;
}

// SQLite: foreign keys off (outside the transaction, where SQLite honours the
// switch), so that each DROP's implicit DELETE checks nothing; one transaction.
// PostgreSQL: one DROP naming every table, which lets them refer to each other.
void drop(QSqlDatabase &db)
{
    const QStringList names = createdTables(kindOf(db));
    const auto exec = [&db](const QString &sql) {
        QSqlQuery query(db);
        if (!query.exec(sql))
            throw DatabaseError(
                QStringLiteral("Não foi possível apagar as tabelas: %1\n%2").arg(query.lastError().text(), sql));
    };
    if (kindOf(db) == DatabaseUrl::Kind::PostgreSql) {
        exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(names.join(QStringLiteral(", "))));
        return;
    }
    QSqlQuery keys(QStringLiteral("PRAGMA foreign_keys"), db);
    const QString wereOn = keys.next() ? keys.value(0).toString() : QStringLiteral("1");
    keys.finish();
    exec(QStringLiteral("PRAGMA foreign_keys = OFF"));
    const auto restoreKeys = qScopeGuard(
        [&db, wereOn] { QSqlQuery(db).exec(QStringLiteral("PRAGMA foreign_keys = %1").arg(wereOn)); });
    exec(QStringLiteral("BEGIN IMMEDIATE"));
    auto rollback = qScopeGuard([&db] { QSqlQuery(db).exec(QStringLiteral("ROLLBACK")); });
    for (auto it = names.crbegin(); it != names.crend(); ++it)
        exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(*it));
    exec(QStringLiteral("COMMIT"));
    rollback.dismiss();
}

} // namespace SchemaScript
