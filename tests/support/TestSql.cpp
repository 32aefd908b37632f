#include "tests/support/TestSql.h"

#include <QDebug>
#include <QSqlError>
#include <QSqlQuery>

namespace TestSql {

bool exec(const QSqlDatabase &db, const QString &sql, const QVariantList &values)
{
    QSqlQuery query(db);
    if (!query.prepare(sql)) {
        qWarning() << sql << query.lastError().text();
        return false;
    }
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec()) {
        qWarning() << sql << query.lastError().text();
        return false;
    }
    return true;
}

QStringList column(const QSqlDatabase &db, const QString &sql)
{
    QStringList values;
    QSqlQuery query(db);
    if (!query.exec(sql))
        qWarning() << sql << query.lastError().text();
    while (query.next())
        values << query.value(0).toString();
    return values;
}

} // namespace TestSql
