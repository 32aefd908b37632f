#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QTemporaryDir>

// An empty database of its own for a test, on SQLite (a file in a temporary
// folder) or on PostgreSQL (a database in the cluster FAS_TEST_PG_URL names,
// dropped at the end). recreate() gives a fresh empty one each time.
class ScratchDatabase
{
public:
    enum class Kind { Sqlite, Postgres };

    ScratchDatabase(Kind kind, const QString &tag);
    ~ScratchDatabase();
    ScratchDatabase(const ScratchDatabase &) = delete;
    ScratchDatabase &operator=(const ScratchDatabase &) = delete;

    Kind kind() const { return m_kind; }
    bool isSqlite() const { return m_kind == Kind::Sqlite; }
    // Empty when the database can be made; otherwise why not (for QSKIP).
    QString unavailableReason() const;
    QString url() const { return m_url; }
    QString tempPath(const QString &name) const { return m_dir.filePath(name); }

    // Drops what was there and makes the database again, empty; false with a warning.
    bool recreate();
    // A connection under `name` (closed and removed by the caller or at destruction).
    QSqlDatabase open(const QString &name) const;

private:
    bool runOnCluster(const QString &sql) const;

    Kind m_kind;
    QTemporaryDir m_dir;
    QString m_adminUrl;
    QString m_name;
    QString m_url;
};
