#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QTemporaryDir>

// An empty billing schema of a test's own: a SQLite file in a temporary folder,
// or a database made inside the PostgreSQL test cluster (FAS_TEST_PG_URL) and
// dropped when the object goes. A test holds one per run and opens its own
// connection to it under `connectionName`.
class ScratchDatabase
{
public:
    enum class Kind { Sqlite, Postgres };

    ScratchDatabase(Kind kind, const QString &connectionName);
    ~ScratchDatabase();
    ScratchDatabase(const ScratchDatabase &) = delete;
    ScratchDatabase &operator=(const ScratchDatabase &) = delete;

    // Creates the database and its tables; false with error() set when it cannot.
    // On PostgreSQL without FAS_TEST_PG_URL it is false with skipReason() set.
    bool create();
    QString skipReason() const { return m_skipReason; }
    QString error() const { return m_error; }

    QString url() const { return m_url; }
    QSqlDatabase db() const;
    // Empties every table, dependants first.
    bool empty();
    // Every row of every table as text, in key order: equal snapshots, equal contents.
    QString snapshot() const;

private:
    Kind m_kind;
    QString m_connection;
    QTemporaryDir m_dir;
    QString m_adminUrl;
    QString m_databaseName;
    QString m_url;
    QString m_skipReason;
    QString m_error;
};
