#include "ThreadDatabase.h"

#include <atomic>

#include <QSqlQuery>


namespace {

std::atomic<int> connectionSerial{0};

// Closes the thread's connection when the thread ends.
struct ThreadConnection
{
    QString name;
    ~ThreadConnection()
    {
        if (!name.isEmpty())
            DatabaseConnection::close(name);
    }
};

thread_local ThreadConnection threadConnection;

} // namespace

ThreadDatabase::ThreadDatabase(DatabaseUrl url, int sqliteBusyMs)
    : m_url(std::move(url))
    , m_sqliteBusyMs(sqliteBusyMs)
{
}

QSqlDatabase ThreadDatabase::connection() const
{
    if (!threadConnection.name.isEmpty()) {
        QSqlDatabase db = QSqlDatabase::database(threadConnection.name, false);
        if (db.isOpen())
            return db;
        discard();
    }
    const QString name = QStringLiteral("fas-appserver-%1").arg(++connectionSerial);
    QSqlDatabase db = DatabaseConnection::open(m_url, name);
    threadConnection.name = name;
    if (m_url.isSqlite() && m_sqliteBusyMs != DatabaseConnection::SqliteBusyTimeoutMs)
        QSqlQuery(db).exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(m_sqliteBusyMs));
    return db;
}

void ThreadDatabase::discard() const
{
    if (threadConnection.name.isEmpty())
        return;
    DatabaseConnection::close(threadConnection.name);
    threadConnection.name.clear();
}
