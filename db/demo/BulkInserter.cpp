#include "BulkInserter.h"

#include <cstring>
#include <utility>

#include <libpq-fe.h>

#include <QLocale>
#include <QSqlDriver>
#include <QSqlError>

#include "DatabaseError.h"

namespace {

constexpr qsizetype CopyChunkBytes = qsizetype(1) << 20;

pg_conn *postgresHandle(const QSqlDatabase &db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    // Qt spells libpq's PGconn by its struct's name.
    if (!handle.isValid()
        || (std::strcmp(handle.typeName(), "PGconn*") != 0 && std::strcmp(handle.typeName(), "pg_conn*") != 0))
        return nullptr;
    return *static_cast<pg_conn *const *>(handle.constData());
}

// One value in COPY's text format: \N for null, backslash escapes for the
// characters that end a field or a row.
void appendCopyValue(QByteArray &out, const QVariant &value)
{
    if (value.isNull()) {
        out += "\\N";
        return;
    }
    const QByteArray text = value.typeId() == QMetaType::Double
                                ? QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest).toUtf8()
                                : value.toString().toUtf8();
    for (const char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
}

} // namespace

BulkInserter::BulkInserter(QSqlDatabase &db, const QString &table, const QStringList &columns)
    : m_db(db)
    , m_table(table)
    , m_columns(columns)
    , m_pg(postgresHandle(db))
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
    ++m_count;
    if (m_pg) {
        if (!m_copying)
            startCopy();
        for (qsizetype i = 0; i < values.size(); ++i) {
            if (i > 0)
                m_copyBuffer += '\t';
            appendCopyValue(m_copyBuffer, values.at(i));
        }
        m_copyBuffer += '\n';
        if (m_copyBuffer.size() >= CopyChunkBytes)
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
    for (const QString &key : std::exchange(m_foreignKeys, {}))
        PQclear(execPg(key.toUtf8(), PGRES_COMMAND_OK));
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

// The table's foreign keys are checked once for the whole table when they are put
// back, instead of by a trigger per row during the COPY.
void BulkInserter::setForeignKeysAside()
{
    PGresult *keys = execPg(QStringLiteral("SELECT conname, pg_get_constraintdef(oid) FROM pg_constraint "
                                           "WHERE conrelid = CAST('%1' AS regclass) AND contype = 'f'")
                                .arg(m_table.toLower())
                                .toUtf8(),
                            PGRES_TUPLES_OK);
    for (int row = 0; row < PQntuples(keys); ++row) {
        const QString name = QString::fromUtf8(PQgetvalue(keys, row, 0));
        m_foreignKeys.append(QStringLiteral("ALTER TABLE %1 ADD CONSTRAINT %2 %3")
                                 .arg(m_table, name, QString::fromUtf8(PQgetvalue(keys, row, 1))));
        PQclear(execPg(QStringLiteral("ALTER TABLE %1 DROP CONSTRAINT %2").arg(m_table, name).toUtf8(),
                       PGRES_COMMAND_OK));
    }
    PQclear(keys);
}

void BulkInserter::startCopy()
{
    setForeignKeysAside();
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
