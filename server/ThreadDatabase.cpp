#include "ThreadDatabase.h"

#include <atomic>

#include "DatabaseConnection.h"

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

ThreadDatabase::ThreadDatabase(DatabaseUrl url)
    : m_url(std::move(url))
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
    return db;
}

void ThreadDatabase::discard() const
{
    if (threadConnection.name.isEmpty())
        return;
    DatabaseConnection::close(threadConnection.name);
    threadConnection.name.clear();
}
