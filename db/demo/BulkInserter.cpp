#include "db/demo/BulkInserter.h"

#include <utility>

#include <libpq-fe.h>

#include <QLocale>
#include <QSqlError>

#include "platform/sql/CopyText.h"
#include "platform/sql/DatabaseError.h"
#include "platform/sql/NativeHandle.h"

namespace {

// One value in COPY's text format; a number in its shortest exact form.
void appendCopyValue(QByteArray &out, const QVariant &value)
{
    const QByteArray text = value.isNull() ? QByteArray()
                            : value.typeId() == QMetaType::Double
                                ? QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest).toUtf8()
                                : value.toString().toUtf8();
    CopyText::appendCopyValue(out, text, value.isNull());
}

} // namespace

BulkInserter::BulkInserter(QSqlDatabase &db, const QString &table, const QStringList &columns)
    : m_table(table)
    , m_columns(columns)
    , m_pg(DatabaseConnection::nativeHandle<pg_conn>(db, "PGconn*", "pg_conn*"))
    , m_statement(db)
{
}

BulkInserter::~BulkInserter()
{
    // Left unfinished by a failure: end the COPY so the connection can roll back.
    if (m_copying) {
        PQputCopyEnd(m_pg, "abandonado");
        while (PGresult *rest = PQgetResult(m_pg))
            PQclear(rest);
    }
}

void BulkInserter::fail(const QString &reason) const
{
    throw DatabaseError(QStringLiteral("Não foi possível gravar em %1: %2").arg(m_table, reason));
}

void BulkInserter::insert(const QVariantList &values)
{
    if (m_pg) {
        if (!m_copying)
            startCopy();
        for (qsizetype i = 0; i < values.size(); ++i) {
            if (i > 0)
                m_copyBuffer += '\t';
            appendCopyValue(m_copyBuffer, values.at(i));
        }
        m_copyBuffer += '\n';
        if (m_copyBuffer.size() >= CopyText::CopyChunkBytes)
            sendCopy();
        return;
    }
    m_pending += values;
    if (m_pending.size() >= qsizetype(SqliteRowsPerStatement) * m_columns.size())
        flushSqlite();
}

void BulkInserter::finish()
{
    if (!m_pg) {
        flushSqlite();
        return;
    }
    if (!m_copying)
        return;
    sendCopy();
    m_copying = false;
    if (PQputCopyEnd(m_pg, nullptr) != 1)
        fail(QString::fromUtf8(PQerrorMessage(m_pg)).trimmed());
    QString error;
    while (PGresult *result = PQgetResult(m_pg)) {
        if (PQresultStatus(result) != PGRES_COMMAND_OK && error.isEmpty())
            error = QString::fromUtf8(PQresultErrorMessage(result)).trimmed();
        PQclear(result);
    }
    if (!error.isEmpty())
        fail(error);
    for (const QString &statement : std::exchange(m_setAside, {}))
        PQclear(execPg(statement.toUtf8(), PGRES_COMMAND_OK));
}

PGresult *BulkInserter::execPg(const QByteArray &sql, int expected) const
{
    PGresult *result = PQexec(m_pg, sql.constData());
    if (PQresultStatus(result) != expected) {
        const QString error = QString::fromUtf8(PQresultErrorMessage(result)).trimmed();
        PQclear(result);
        fail(error);
    }
    return result;
}

// What a COPY would otherwise check or update row by row is set aside and put
// back once the table is complete: its primary key, unique keys and indexes are
// then built by one sort each, and its foreign keys, and those of other tables
// that refer to it, checked by one join each. Dropped in this order, put back in
// the reverse one.
void BulkInserter::setConstraintsAside()
{
    const QString table = QStringLiteral("CAST('%1' AS regclass)").arg(m_table.toLower());
    const QString constraints = QStringLiteral(
        "SELECT format('ALTER TABLE %s DROP CONSTRAINT %I', CAST(conrelid AS regclass), conname), "
        "format('ALTER TABLE %s ADD CONSTRAINT %I %s', CAST(conrelid AS regclass), conname, pg_get_constraintdef(oid)) "
        "FROM pg_constraint WHERE ");
    const QStringList finders = {
        // foreign keys of other tables that refer to this one
        constraints + QStringLiteral("confrelid = %1 AND conrelid <> confrelid AND contype = 'f'").arg(table),
        // the table's own foreign keys
        constraints + QStringLiteral("conrelid = %1 AND contype = 'f'").arg(table),
        // its primary and unique keys
        constraints + QStringLiteral("conrelid = %1 AND contype IN ('p', 'u')").arg(table),
        // its other indexes
        QStringLiteral("SELECT format('DROP INDEX %s', CAST(indexrelid AS regclass)), pg_get_indexdef(indexrelid) "
                       "FROM pg_index i WHERE indrelid = %1 AND NOT EXISTS (SELECT 1 FROM pg_constraint c "
                       "WHERE c.conrelid = i.indrelid AND c.conindid = i.indexrelid)")
            .arg(table),
    };
    for (const QString &finder : finders) {
        PGresult *found = execPg(finder.toUtf8(), PGRES_TUPLES_OK);
        for (int row = 0; row < PQntuples(found); ++row) {
            m_setAside.prepend(QString::fromUtf8(PQgetvalue(found, row, 1)));
            PQclear(execPg(QByteArray(PQgetvalue(found, row, 0)), PGRES_COMMAND_OK));
        }
        PQclear(found);
    }
}

void BulkInserter::startCopy()
{
    setConstraintsAside();
    const QByteArray sql =
        QStringLiteral("COPY %1 (%2) FROM STDIN").arg(m_table, m_columns.join(QStringLiteral(", "))).toUtf8();
    PGresult *result = PQexec(m_pg, sql.constData());
    const bool ok = PQresultStatus(result) == PGRES_COPY_IN;
    const QString error = QString::fromUtf8(PQresultErrorMessage(result)).trimmed();
    PQclear(result);
    if (!ok)
        fail(error);
    m_copying = true;
}

void BulkInserter::sendCopy()
{
    if (!m_copyBuffer.isEmpty() && PQputCopyData(m_pg, m_copyBuffer.constData(), int(m_copyBuffer.size())) != 1)
        fail(QString::fromUtf8(PQerrorMessage(m_pg)).trimmed());
    m_copyBuffer.clear();
}

void BulkInserter::prepareSqlite(int rows)
{
    QStringList marks;
    for (qsizetype i = 0; i < m_columns.size(); ++i)
        marks.append(QStringLiteral("?"));
    const QString row = u'(' + marks.join(QStringLiteral(", ")) + u')';
    QStringList allRows;
    for (int r = 0; r < rows; ++r)
        allRows.append(row);
    const QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
                            .arg(m_table, m_columns.join(QStringLiteral(", ")), allRows.join(QStringLiteral(", ")));
    if (!m_statement.prepare(sql))
        fail(m_statement.lastError().text());
    m_statementRows = rows;
}

void BulkInserter::flushSqlite()
{
    if (m_pending.isEmpty())
        return;
    const int rows = int(m_pending.size() / m_columns.size());
    if (rows != m_statementRows)
        prepareSqlite(rows);
    for (qsizetype i = 0; i < m_pending.size(); ++i)
        m_statement.bindValue(int(i), m_pending.at(i));
    if (!m_statement.exec())
        fail(m_statement.lastError().text());
    m_pending.clear();
}
