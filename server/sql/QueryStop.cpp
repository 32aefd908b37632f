#include "server/sql/QueryStop.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include "platform/sql/NativeHandle.h"

namespace {

// Virtual-machine steps between two looks at the flag: a few hundred microseconds.
constexpr int StepsBetweenChecks = 20000;

} // namespace

QueryStop::QueryStop(const QSqlDatabase &db, std::function<bool()> stopped)
    : m_stopped(std::move(stopped))
{
    if ((m_sqlite = DatabaseConnection::nativeHandle<sqlite3>(db, "sqlite3*")))
        sqlite3_progress_handler(m_sqlite, StepsBetweenChecks, &QueryStop::progress, this);
    else if (auto *pg = DatabaseConnection::nativeHandle<pg_conn>(db, "PGconn*", "pg_conn*"))
        m_pgCancel = PQgetCancel(pg);
}

QueryStop::~QueryStop()
{
    if (m_sqlite)
        sqlite3_progress_handler(m_sqlite, 0, nullptr, nullptr);
    if (m_pgCancel)
        PQfreeCancel(m_pgCancel);
}

int QueryStop::progress(void *self)
{
    return static_cast<QueryStop *>(self)->m_stopped() ? 1 : 0;
}

void QueryStop::cancel() noexcept
{
    if (!m_pgCancel)
        return;
    char message[256];
    PQcancel(m_pgCancel, message, sizeof message);
}
