#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include "platform/sql/DatabaseUrl.h"

// What the SQL text of the billing data says differently on SQLite and on
// PostgreSQL, each difference named once. Statements build their text from these
// pieces instead of asking which database they run on.
//
// Written the same on both, and so not here: INSERT ... ON CONFLICT ... DO NOTHING
// or DO UPDATE SET x = excluded.x (an INSERT from a SELECT then needs a WHERE,
// "WHERE true" if nothing else, for SQLite to parse it), RETURNING, SAVEPOINT,
// row values in IN, COALESCE. Whole statements that differ throughout live in
// server/billing/sql/ (see SqlText).
class SqlDialect
{
public:
    explicit SqlDialect(DatabaseUrl::Kind kind)
        : m_kind(kind)
    {
    }
    // The dialect of an open connection, from its driver (QSQLITE or QPSQL).
    static SqlDialect of(const QSqlDatabase &db);

    DatabaseUrl::Kind kind() const { return m_kind; }

    // Transactions and locks.

    // The statement that begins a write transaction. SQLite takes the write lock at
    // BEGIN (BEGIN IMMEDIATE) rather than at the first write, so that two writers
    // never both read and then fail to upgrade their locks; PostgreSQL's writers
    // lock their rows themselves.
    QString beginWrite() const;
    // Whether writers lock the rows they read to change (PostgreSQL). SQLite holds
    // the whole database from BEGIN IMMEDIATE, so what a read found stays as it is
    // until COMMIT.
    bool locksRows() const { return m_kind == DatabaseUrl::Kind::PostgreSql; }
    // " FOR UPDATE", of the table under `alias` when given; nothing where
    // !locksRows().
    QString forUpdate(const QString &alias = {}) const;
    // " ORDER BY <terms>": the order a statement locks its rows in, always the same
    // so that two writers wait for each other instead of in a circle; nothing where
    // !locksRows().
    QString lockOrder(const QStringList &terms) const;
    // A text column ordered byte by byte: PostgreSQL's default collation follows
    // the locale, so `column COLLATE "C"`; SQLite's (BINARY) already is.
    QString byteOrder(const QString &column) const;

    // Values.

    // A placeholder for a value of an SQL type: PostgreSQL must be told the type it
    // cannot infer, CAST(? AS type); SQLite's values carry their own, "?".
    QString typed(const char *type) const;
    // Null-safe "differs": two nulls are equal, a null and a value differ.
    QString distinct(const QString &left, const QString &right) const;

    // Lists bound as one JSON array (so a statement takes any number of keys).

    // The elements of the bound array as a one-column sub-select.
    QString jsonValues() const;
    // The elements of a bound array of arrays as rows, for a FROM clause.
    QString jsonRows() const;
    // Element `index` of a row of jsonRows(), as `type` when given (SQLite keeps
    // the JSON value's own type).
    QString jsonRowElement(int index, const char *type = nullptr) const;

    // Rows by their place.

    // The column that names a row's place in its table (rowid, ctid), stable while
    // the transaction holds the row.
    QString rowIdentity() const;
    // Whether a WITH may hold an UPDATE ... RETURNING (PostgreSQL), so that one
    // statement reads, locks and changes rows and returns what it read.
    bool updatesInWith() const { return m_kind == DatabaseUrl::Kind::PostgreSql; }

    // Temporary tables.

    // `table` in the connection's temporary schema.
    QString temporary(const QString &table) const;
    // The statements that make `table` an empty temporary table shaped as `select`
    // (a SELECT ... FROM with no WHERE). On PostgreSQL it goes with the transaction;
    // SQLite keeps temporary tables for the connection, so an earlier one is
    // dropped first.
    QStringList createEmptyTemporary(const QString &table, const QString &select) const;

private:
    bool isSqlite() const { return m_kind == DatabaseUrl::Kind::Sqlite; }

    DatabaseUrl::Kind m_kind;
};
