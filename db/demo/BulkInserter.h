#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariantList>

struct pg_conn;
struct pg_result;

// Rows for one table, written in bulk inside the caller's transaction: on
// PostgreSQL one COPY ... FROM STDIN stream (libpq, on the connection the Qt
// driver holds), on SQLite one prepared INSERT of many rows at a time. Throws
// DatabaseError naming the table.
class BulkInserter
{
public:
    BulkInserter(QSqlDatabase &db, const QString &table, const QStringList &columns);
    ~BulkInserter();
    BulkInserter(const BulkInserter &) = delete;
    BulkInserter &operator=(const BulkInserter &) = delete;

    void insert(const QVariantList &values);
    // Writes what is still buffered and ends the COPY; the table is complete after it.
    void finish();

private:
    static constexpr int SqliteRowsPerStatement = 200;

    void flushSqlite();
    void prepareSqlite(int rows);
    void startCopy();
    void setConstraintsAside();
    pg_result *execPg(const QByteArray &sql, int expected) const;
    void sendCopy();
    [[noreturn]] void fail(const QString &reason) const;

    QString m_table;
    QStringList m_columns;
    pg_conn *m_pg = nullptr;
    bool m_copying = false;
    QByteArray m_copyBuffer;
    QStringList m_setAside; // keys, indexes and foreign keys, put back by finish()
    QSqlQuery m_statement;
    int m_statementRows = 0;
    QVariantList m_pending;
};
