#pragma once

#include <vector>

#include <QSqlDatabase>
#include <QString>

#include "admin/import/ImportBatch.h"
#include "admin/import/ImportLayout.h"
#include "server/sql/SqlDialect.h"

// A temporary table shaped like an import's target table (same column types)
// plus the file's line number LINHA, filled in bulk inside the running
// transaction: on SQLite one prepared INSERT stepped per row through the C
// interface, on PostgreSQL one COPY ... FROM STDIN through libpq. The checks and
// the upsert then run as a few set-based statements against it. It goes with the
// connection (and on PostgreSQL with the transaction).
class StagingTable
{
public:
    StagingTable(QSqlDatabase &db, const ImportTarget &target);

    // "fas_import_<table>", qualified with the temporary schema.
    QString name() const;
    // Creates the table; throws DatabaseError.
    void create();
    // Adds rows (a piece of the file at a time); throws DatabaseError.
    void append(const std::vector<ImportRow> &rows);

private:
    QString bareName() const;
    void exec(const QString &sql) const;
    void loadSqlite(const std::vector<ImportRow> &rows) const;
    void loadPostgres(const std::vector<ImportRow> &rows) const;
    [[noreturn]] void fail(const QString &reason) const;

    QSqlDatabase &m_db;
    const ImportTarget &m_target;
    SqlDialect m_sql;
};
