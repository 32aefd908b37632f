#include "server/sql/SqlDialect.h"

SqlDialect SqlDialect::of(const QSqlDatabase &db)
{
    return SqlDialect(db.driverName() == QLatin1String("QSQLITE") ? DatabaseUrl::Kind::Sqlite
                                                                  : DatabaseUrl::Kind::PostgreSql);
}

QString SqlDialect::beginWrite() const
{
    return isSqlite() ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN");
}

QString SqlDialect::forUpdate(const QString &alias) const
{
    if (!locksRows())
        return {};
    return alias.isEmpty() ? QStringLiteral(" FOR UPDATE") : QStringLiteral(" FOR UPDATE OF ") + alias;
}

QString SqlDialect::lockOrder(const QStringList &terms) const
{
    return locksRows() ? QStringLiteral(" ORDER BY ") + terms.join(QStringLiteral(", ")) : QString();
}

QString SqlDialect::byteOrder(const QString &column) const
{
    return isSqlite() ? column : column + QStringLiteral(" COLLATE \"C\"");
}

QString SqlDialect::typed(const char *type) const
{
    return isSqlite() ? QStringLiteral("?") : QStringLiteral("CAST(? AS %1)").arg(QLatin1String(type));
}

QString SqlDialect::distinct(const QString &left, const QString &right) const
{
    return (isSqlite() ? QStringLiteral("%1 IS NOT %2") : QStringLiteral("%1 IS DISTINCT FROM %2")).arg(left, right);
}

QString SqlDialect::jsonValues() const
{
    return isSqlite() ? QStringLiteral("SELECT value FROM json_each(?)")
                      : QStringLiteral("SELECT json_array_elements_text(CAST(? AS json))");
}

QString SqlDialect::jsonRows() const
{
    return isSqlite() ? QStringLiteral("json_each(?)") : QStringLiteral("json_array_elements(CAST(? AS json)) AS j(e)");
}

QString SqlDialect::jsonRowElement(int index, const char *type) const
{
    if (isSqlite())
        return QStringLiteral("json_extract(value, '$[%1]')").arg(index);
    const QString text = QStringLiteral("(e ->> %1)").arg(index);
    return type ? QStringLiteral("CAST(%1 AS %2)").arg(text, QLatin1String(type)) : text;
}

QString SqlDialect::rowIdentity() const
{
    return isSqlite() ? QStringLiteral("rowid") : QStringLiteral("ctid");
}

QString SqlDialect::temporary(const QString &table) const
{
    return (isSqlite() ? QStringLiteral("temp.") : QStringLiteral("pg_temp.")) + table;
}

QStringList SqlDialect::createEmptyTemporary(const QString &table, const QString &select) const
{
    if (isSqlite())
        return {QStringLiteral("DROP TABLE IF EXISTS %1").arg(temporary(table)),
                QStringLiteral("CREATE TEMP TABLE %1 AS %2 WHERE 0").arg(table, select)};
    return {QStringLiteral("CREATE TEMP TABLE %1 ON COMMIT DROP AS %2 WITH NO DATA").arg(table, select)};
}
