#pragma once

#include <exception>
#include <string>

#include <QSqlError>
#include <QString>

// A statement the database refused. Carries the driver's error for the log and for
// telling a busy database or a unique-key clash from other failures; it never
// reaches a client as such (BillingService turns it into an RpcError).
class SqlFailure : public std::exception
{
public:
    SqlFailure(QString context, QSqlError error);

    const QString &context() const { return m_context; }
    const QSqlError &error() const { return m_error; }
    const char *what() const noexcept override { return m_what.c_str(); }

    bool isBusy() const;            // SQLite busy/locked, PostgreSQL deadlock or lock time-out
    bool isUniqueViolation() const; // a primary or unique key already taken
    bool isConnectionLost() const;  // the connection to the server broke
    bool isCancelled() const;       // stopped on request: SQLite interrupted, PostgreSQL 57014
    // The database did not answer in time: the statement time-out, or a connection
    // that keep-alive or the user time-out gave up on.
    bool isTimedOut() const;

    // The statement was the first of a unit of work, so nothing of it reached the
    // database: running the whole unit again on a new connection is safe.
    void markBeforeChanges() { m_beforeChanges = true; }
    bool isBeforeChanges() const { return m_beforeChanges; }
    // The statement was a COMMIT whose answer was lost with the connection: the
    // transaction may or may not have been written.
    void markOutcomeUnknown() { m_outcomeUnknown = true; }
    bool isOutcomeUnknown() const { return m_outcomeUnknown; }

private:
    QString m_context;
    QSqlError m_error;
    std::string m_what;
    bool m_beforeChanges = false;
    bool m_outcomeUnknown = false;
};
