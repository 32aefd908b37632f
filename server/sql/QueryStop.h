#pragma once

#include <functional>

#include <QSqlDatabase>

struct sqlite3;
struct pg_cancel;

// Stops the statement running on one connection once its caller no longer wants
// the answer. SQLite asks `stopped` every few thousand steps of its virtual machine
// (sqlite3_progress_handler) and fails the statement as interrupted; PostgreSQL is
// sent a cancel request by cancel(), which any thread may call. Installed for the
// length of one call, on the connection of the thread that runs it.
class QueryStop
{
public:
    QueryStop(const QSqlDatabase &db, std::function<bool()> stopped);
    ~QueryStop();
    QueryStop(const QueryStop &) = delete;
    QueryStop &operator=(const QueryStop &) = delete;

    // Safe from any thread: PostgreSQL cancels the statement it is running, if any;
    // SQLite notices through `stopped` on its own.
    void cancel() noexcept;

private:
    static int progress(void *self);

    std::function<bool()> m_stopped;
    sqlite3 *m_sqlite = nullptr;
    pg_cancel *m_pgCancel = nullptr;
};
