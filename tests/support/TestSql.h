#pragma once

#include <QSqlDatabase>
#include <QStringList>
#include <QVariantList>

// Statements a test runs on its own connection to the test database; a failure
// is printed with its statement and reason, so the test's check says why.
namespace TestSql {

bool exec(const QSqlDatabase &db, const QString &sql, const QVariantList &values = {});
QStringList column(const QSqlDatabase &db, const QString &sql); // the first column of every row

} // namespace TestSql
