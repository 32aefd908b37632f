#include "SchemaScript.h"

#include <QFile>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

#include "DatabaseError.h"

namespace SchemaScript {

const QStringList &tables()
{
    static const QStringList names = {
        QStringLiteral("EMPRESA"),    QStringLiteral("FILIAL"),     QStringLiteral("CLIENTE"),
        QStringLiteral("ENDECLIE"),   QStringLiteral("PARAMGERAL"), QStringLiteral("PRODUTO"),
        QStringLiteral("OPERADOR"),   QStringLiteral("APURFATFAS"), QStringLiteral("LANCFATFAS"),
        QStringLiteral("ITEMLANCFAT"), QStringLiteral("NUMLANCFAT"),
    };
    return names;
}

DatabaseUrl::Kind kindOf(const QSqlDatabase &db)
{
    return db.driverName() == QLatin1String("QSQLITE") ? DatabaseUrl::Kind::Sqlite
                                                       : DatabaseUrl::Kind::PostgreSql;
}

QStringList statements(DatabaseUrl::Kind kind)
{
    QFile file(kind == DatabaseUrl::Kind::Sqlite ? QStringLiteral(":/fas/db/schema.sqlite.sql")
                                                 : QStringLiteral(":/fas/db/schema.postgresql.sql"));
    if (!file.open(QIODevice::ReadOnly))
        throw DatabaseError(QStringLiteral("O esquema do banco de dados não está embutido no programa."));
    const QString text = QString::fromUtf8(file.readAll());
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

void create(QSqlDatabase &db)
{
    static const QRegularExpression tableName(QStringLiteral("CREATE\\s+(?:TABLE|INDEX)\\s+(\\w+)"));
    for (const QString &statement : statements(kindOf(db))) {
        QSqlQuery query(db);
        if (!query.exec(statement)) {
            const auto match = tableName.match(statement);
            throw DatabaseError(QStringLiteral("Não foi possível criar %1 no banco de dados: %2")
                                    .arg(match.hasMatch() ? match.captured(1) : QStringLiteral("o esquema"),
                                         query.lastError().text()));
        }
    }
}

void drop(QSqlDatabase &db)
{
    const QStringList present = existingTables(db);
    for (auto it = tables().crbegin(); it != tables().crend(); ++it) {
        if (!present.contains(*it))
            continue;
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("DROP TABLE %1").arg(*it)))
            throw DatabaseError(QStringLiteral("Não foi possível apagar a tabela %1: %2")
                                    .arg(*it, query.lastError().text()));
    }
}

} // namespace SchemaScript
