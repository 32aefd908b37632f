#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

// A prepared statement that throws SqlFailure instead of returning false, run
// forward-only: the server reads every result once, front to back.
class SqlStatement
{
public:
    SqlStatement(const QSqlDatabase &db, const QString &sql, const char *context);

    // Binds the values positionally and runs the statement.
    SqlStatement &exec(const QVariantList &values = {});
    bool next() { return m_query.next(); }
    QVariant value(int column) const { return m_query.value(column); }
    int rowsAffected() const { return m_query.numRowsAffected(); }
    QSqlQuery &query() { return m_query; }
    // Releases the result so the transaction can end (SQLite refuses to commit
    // while a statement is still reading).
    void finish() { m_query.finish(); }

private:
    QSqlQuery m_query;
    const char *m_context;
};
