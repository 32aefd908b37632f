#pragma once

#include <QSqlDatabase>
#include <QString>

#include "platform/sql/DatabaseUrl.h"
#include "fassql_export.h"

// Opens the system's database connections the same way everywhere (host, module
// and application server), so every connection gets the same session settings.
namespace DatabaseConnection {

enum class Mode {
    OpenExisting,    // a SQLite file that does not exist is an error
    CreateIfMissing, // a missing SQLite file is created (the demo data generator)
};

// Milliseconds a SQLite connection waits for another writer before giving up.
inline constexpr int SqliteBusyTimeoutMs = 15000;

// What a PostgreSQL connection adds to its URL's parameters so that a database that
// stops answering (a frozen host, a network that drops packets without a reset)
// fails the statement instead of holding its thread: TCP keep-alive and a user
// time-out (libpq's keepalives, keepalives_idle, keepalives_interval,
// keepalives_count, tcp_user_timeout) and a statement time-out. 0 leaves a setting
// to libpq and the system; a parameter the URL names itself wins.
struct PgSession
{
    int keepalivesIdleS = 0;
    int keepalivesIntervalS = 0;
    int keepalivesCount = 0;
    int tcpUserTimeoutMs = 0;
    int statementTimeoutMs = 0;
};

// Adds and opens a connection under `connectionName` (replacing one of that name).
// SQLite gets write-ahead logging, a busy time-out (`sqliteBusyMs`) and foreign
// keys; PostgreSQL a connect time-out unless the URL sets one. Throws DatabaseError
// with a Portuguese message naming the database and the driver's reason.
FASSQL_EXPORT QSqlDatabase open(const DatabaseUrl &url, const QString &connectionName, Mode mode = Mode::OpenExisting,
                                int sqliteBusyMs = SqliteBusyTimeoutMs, const PgSession &session = {});

// Closes and removes the connection; harmless when it does not exist.
FASSQL_EXPORT void close(const QString &connectionName);

} // namespace DatabaseConnection
