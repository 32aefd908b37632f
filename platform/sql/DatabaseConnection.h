#pragma once

#include <QSqlDatabase>
#include <QString>

#include "DatabaseUrl.h"
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

// Adds and opens a connection under `connectionName` (replacing one of that name).
// SQLite gets write-ahead logging, a busy time-out (`sqliteBusyMs`) and foreign
// keys; PostgreSQL a connect time-out unless the URL sets one. Throws DatabaseError
// with a Portuguese message naming the database and the driver's reason.
FASSQL_EXPORT QSqlDatabase open(const DatabaseUrl &url, const QString &connectionName,
                                Mode mode = Mode::OpenExisting, int sqliteBusyMs = SqliteBusyTimeoutMs);

// Closes and removes the connection; harmless when it does not exist.
FASSQL_EXPORT void close(const QString &connectionName);

} // namespace DatabaseConnection
