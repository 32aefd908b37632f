#include "admin/import/StagingTable.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>

#include "platform/sql/CopyText.h"
#include "platform/sql/DatabaseError.h"
#include "platform/sql/NativeHandle.h"

namespace {

// One value in COPY's text format.
void appendCopyValue(QByteArray &out, const QString &value)
{
    CopyText::appendCopyValue(out, value.toUtf8(), value.isNull());
}

} // namespace

StagingTable::StagingTable(QSqlDatabase &db, const ImportTarget &target)
    : m_db(db)
    , m_target(target)
    , m_sql(SqlDialect::of(db))
{
}

QString StagingTable::bareName() const
{
    return QStringLiteral("fas_import_") + m_target.table.toLower();
}

QString StagingTable::name() const
{
    return m_sql.temporary(bareName());
}

void StagingTable::fail(const QString &reason) const
{
    throw DatabaseError(QStringLiteral("Não foi possível preparar a gravação em %1: %2").arg(m_target.table, reason));
}

void StagingTable::exec(const QString &sql) const
{
    QSqlQuery query(m_db);
    if (!query.exec(sql))
        fail(query.lastError().text());
}

void StagingTable::create()
{
    const QString shape = QStringLiteral("SELECT 0 AS LINHA, %1 FROM %2")
                              .arg(m_target.columns.join(QStringLiteral(", ")), m_target.table);
    for (const QString &statement : m_sql.createEmptyTemporary(bareName(), shape))
        exec(statement);
}

// The rows go in through each database's own bulk interface, one function each.
// PostgreSQL's staging table is not analyzed: the checks and the upsert read it
// whole, in plans that its size estimate from its pages already gets right.
void StagingTable::append(const std::vector<ImportRow> &rows)
{
    if (rows.empty())
        return;
    switch (m_sql.kind()) {
    case DatabaseUrl::Kind::Sqlite:
        loadSqlite(rows);
        break;
    case DatabaseUrl::Kind::PostgreSql:
        loadPostgres(rows);
        break;
    }
}

void StagingTable::loadSqlite(const std::vector<ImportRow> &rows) const
{
    sqlite3 *handle = DatabaseConnection::nativeHandle<sqlite3>(m_db, "sqlite3*");
    if (!handle)
        fail(QStringLiteral("a conexão SQLite não oferece seu acesso direto"));
    QStringList marks(m_target.columns.size() + 1, QStringLiteral("?"));
    const QByteArray sql =
        QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(name(), marks.join(QStringLiteral(", "))).toUtf8();
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(handle, sql.constData(), int(sql.size()), &statement, nullptr) != SQLITE_OK)
        fail(QString::fromUtf8(sqlite3_errmsg(handle)));
    const auto finalize = qScopeGuard([statement] { sqlite3_finalize(statement); });
    for (const ImportRow &row : rows) {
        sqlite3_bind_int(statement, 1, row.line);
        for (qsizetype i = 0; i < row.values.size(); ++i) {
            const QString &value = row.values.at(i);
            if (value.isNull()) {
                sqlite3_bind_null(statement, int(i) + 2);
            } else {
                const QByteArray text = value.toUtf8();
                sqlite3_bind_text(statement, int(i) + 2, text.constData(), int(text.size()), SQLITE_TRANSIENT);
            }
        }
        if (sqlite3_step(statement) != SQLITE_DONE)
            fail(QString::fromUtf8(sqlite3_errmsg(handle)));
        sqlite3_reset(statement);
    }
}

void StagingTable::loadPostgres(const std::vector<ImportRow> &rows) const
{
    pg_conn *pg = DatabaseConnection::nativeHandle<pg_conn>(m_db, "PGconn*", "pg_conn*");
    if (!pg)
        fail(QStringLiteral("a conexão PostgreSQL não oferece seu acesso direto"));
    const QByteArray sql = QStringLiteral("COPY %1 (LINHA, %2) FROM STDIN")
                               .arg(name(), m_target.columns.join(QStringLiteral(", ")))
                               .toUtf8();
    PGresult *started = PQexec(pg, sql.constData());
    const bool copying = PQresultStatus(started) == PGRES_COPY_IN;
    const QString startError = QString::fromUtf8(PQresultErrorMessage(started)).trimmed();
    PQclear(started);
    if (!copying)
        fail(startError);
    QByteArray buffer;
    QString error;
    for (const ImportRow &row : rows) {
        buffer += QByteArray::number(row.line);
        for (const QString &value : row.values) {
            buffer += '\t';
            appendCopyValue(buffer, value);
        }
        buffer += '\n';
        if (buffer.size() >= CopyText::CopyChunkBytes || &row == &rows.back()) {
            if (PQputCopyData(pg, buffer.constData(), int(buffer.size())) != 1 && error.isEmpty())
                error = QString::fromUtf8(PQerrorMessage(pg)).trimmed();
            buffer.clear();
        }
    }
    if (PQputCopyEnd(pg, error.isEmpty() ? nullptr : "interrompido") != 1 && error.isEmpty())
        error = QString::fromUtf8(PQerrorMessage(pg)).trimmed();
    while (PGresult *result = PQgetResult(pg)) {
        if (PQresultStatus(result) != PGRES_COMMAND_OK && error.isEmpty())
            error = QString::fromUtf8(PQresultErrorMessage(result)).trimmed();
        PQclear(result);
    }
    if (!error.isEmpty())
        fail(error);
}
