#pragma once

#include <QSqlDatabase>

#include "platform/sql/DatabaseConnection.h"
#include "platform/sql/DatabaseUrl.h"

// One database connection per server thread. A QSqlDatabase may only be used by the
// thread that opened it, and cpp-httplib serves each connection on one thread of
// its pool, so every pool thread opens its own connection on first use, under a
// name of its own, and closes it when the thread ends. Each ThreadDatabase has its
// own connections: two on one thread (two databases) never share one.
class ThreadDatabase
{
public:
    // `sqliteBusyMs`: how long a SQLite connection waits for another writer's lock
    // before its statement fails as busy (once; the connection is kept).
    // `session`: keep-alive and time-outs of PostgreSQL connections.
    explicit ThreadDatabase(DatabaseUrl url, int sqliteBusyMs = DatabaseConnection::SqliteBusyTimeoutMs,
                            DatabaseConnection::PgSession session = {});

    const DatabaseUrl &url() const { return m_url; }
    const DatabaseConnection::PgSession &session() const { return m_session; }
    int sqliteBusyMs() const { return m_sqliteBusyMs; }

    // The calling thread's open connection; opened now if it has none or lost it.
    // Throws DatabaseError.
    QSqlDatabase connection() const;
    // Forgets the calling thread's connection (after a failure that may have left it
    // broken); the next connection() opens a fresh one.
    void discard() const;

private:
    DatabaseUrl m_url;
    int m_sqliteBusyMs;
    DatabaseConnection::PgSession m_session;
    quint64 m_serial; // tells this object's connections from another's on the same thread
};
