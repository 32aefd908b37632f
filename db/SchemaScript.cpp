#include "db/SchemaScript.h"

#include <algorithm>

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

#include "platform/sql/DatabaseError.h"
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

void drop(QSqlDatabase &db)
{
    QStringList present = existingTables(db);
    if (hasTable(db, versionTable()))
        present.prepend(versionTable());
    QStringList order = tables();
    order.prepend(versionTable());
    for (auto it = order.crbegin(); it != order.crend(); ++it) {
        if (!present.contains(*it))
            continue;
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("DROP TABLE %1").arg(*it)))
            throw DatabaseError(
                QStringLiteral("Não foi possível apagar a tabela %1: %2").arg(*it, query.lastError().text()));
    }
}

} // namespace SchemaScript
