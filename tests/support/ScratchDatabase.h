#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QTemporaryDir>

// A database of a test's own, on SQLite (a file in a temporary folder) or on
// PostgreSQL (a database in the cluster FAS_TEST_PG_URL names, dropped at the end).
// recreate() gives a fresh empty one each time; create() a fresh one with the
// newest schema, opened under the tag as its connection name (db()).
class ScratchDatabase
{
public:
    enum class Kind { Sqlite, Postgres };

    // `tag` names the database (letters, digits, '_' or '-') and the connection of db().
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
    // What went wrong in the last create(), empty() or recreate().
    QString error() const { return m_error; }

    // Drops what was there and makes the database again, empty; false with error() set.
    bool recreate();
    // recreate() and the newest schema, opened as db(); false with error() set.
    bool create();
    // A connection under `name` (closed and removed by the caller or at destruction).
    QSqlDatabase open(const QString &name) const;
    // The connection create() opened.
    QSqlDatabase db() const;
    // Empties every table of the schema, dependants first.
    bool empty();
    // Every row of every table as text, in key order: equal snapshots, equal contents.
    QString snapshot() const;

private:
    bool runOnCluster(const QString &sql);

    Kind m_kind;
    QString m_connection;
    QTemporaryDir m_dir;
    QString m_adminUrl;
    QString m_name;
    QString m_url;
    QString m_error;
};
