#include "server/sql/ThreadDatabase.h"

#include <atomic>
#include <map>

namespace {

std::atomic<int> connectionSerial{0};
std::atomic<quint64> instanceSerial{0};

// The calling thread's connections, one per ThreadDatabase (keyed by its serial, not
// its address, so a later object at the same address never inherits a connection to
// another database); closed when the thread ends.
struct ThreadConnections
{
    std::map<quint64, QString> names;
    ~ThreadConnections()
    {
        for (const auto &entry : names)
            DatabaseConnection::close(entry.second);
    }
};

thread_local ThreadConnections threadConnections;

} // namespace

ThreadDatabase::ThreadDatabase(DatabaseUrl url, int sqliteBusyMs, DatabaseConnection::PgSession session)
    : m_url(std::move(url))
    , m_sqliteBusyMs(sqliteBusyMs)
    , m_session(session)
    , m_serial(++instanceSerial)
{
}

QSqlDatabase ThreadDatabase::connection() const
{
    const auto known = threadConnections.names.find(m_serial);
    if (known != threadConnections.names.end()) {
        QSqlDatabase db = QSqlDatabase::database(known->second, false);
        if (db.isOpen())
            return db;
        discard();
    }
    const QString name = QStringLiteral("fas-appserver-%1").arg(++connectionSerial);
    QSqlDatabase db = DatabaseConnection::open(m_url, name, DatabaseConnection::Mode::OpenExisting, m_sqliteBusyMs,
                                               m_session);
    threadConnections.names[m_serial] = name;
    return db;
}

void ThreadDatabase::discard() const
{
    const auto known = threadConnections.names.find(m_serial);
    if (known == threadConnections.names.end())
        return;
    DatabaseConnection::close(known->second);
    threadConnections.names.erase(known);
}
