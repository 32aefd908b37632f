#include "server/sql/SqlFailure.h"

namespace {

int sqliteCode(const QSqlError &error)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    return ok ? code & 0xff : -1; // extended result codes keep the primary code in the low byte
}

} // namespace

SqlFailure::SqlFailure(QString context, QSqlError error)
    : m_context(std::move(context))
    , m_error(std::move(error))
    , m_what((m_context + QStringLiteral(": ") + m_error.text()).toStdString())
{
}

bool SqlFailure::isBusy() const
{
    const QString code = m_error.nativeErrorCode();
    // SQLITE_BUSY 5, SQLITE_LOCKED 6; PostgreSQL 40P01 deadlock, 40001 serialization, 55P03 lock not available.
    const int sqlite = sqliteCode(m_error);
    return sqlite == 5 || sqlite == 6 || code == QLatin1String("40P01") || code == QLatin1String("40001")
           || code == QLatin1String("55P03");
}

bool SqlFailure::isUniqueViolation() const
{
    // SQLITE_CONSTRAINT_PRIMARYKEY 1555, SQLITE_CONSTRAINT_UNIQUE 2067; PostgreSQL 23505.
    const QString code = m_error.nativeErrorCode();
    return code == QLatin1String("1555") || code == QLatin1String("2067") || code == QLatin1String("23505");
}

bool SqlFailure::isConnectionLost() const
{
    // PostgreSQL: class 08 (connection exception) and 57P (shut down by the
    // administrator); a failure without any SQLSTATE never reached the server.
    // SQLite always reports a result code, so the last test never holds there. A
    // busy SQLite is no lost connection, though its driver reports a BEGIN that
    // waited in vain as a connection error.
    if (isBusy())
        return false;
    const QString code = m_error.nativeErrorCode();
    return m_error.type() == QSqlError::ConnectionError || code.startsWith(QLatin1String("08"))
           || code.startsWith(QLatin1String("57P")) || (code.isEmpty() && m_error.type() != QSqlError::NoError);
}

bool SqlFailure::isCancelled() const
{
    // SQLITE_INTERRUPT 9; PostgreSQL 57014 query_canceled (a cancel request or the statement time-out).
    return sqliteCode(m_error) == 9 || m_error.nativeErrorCode() == QLatin1String("57014");
}

bool SqlFailure::isTimedOut() const
{
    if (m_error.nativeErrorCode() == QLatin1String("57014"))
        return true;
    const QString text = m_error.text();
    return isConnectionLost()
           && (text.contains(QLatin1String("timed out"), Qt::CaseInsensitive)
               || text.contains(QLatin1String("timeout"), Qt::CaseInsensitive));
}
