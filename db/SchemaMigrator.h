#pragma once

#include <functional>

#include <QList>
#include <QSqlDatabase>

#include "db/Migration.h"

// Brings a database's schema to a version by applying the numbered migrations,
// each in one transaction that also records the new version. On PostgreSQL each
// transaction first takes an advisory lock, so two processes migrating the same
// database take turns and the second finds the work done; on SQLite BEGIN
// IMMEDIATE does the same with the file's write lock.
class SchemaMigrator
{
public:
    static constexpr int EmptyDatabase = 0;
    // The advisory lock key every migrating process takes on PostgreSQL.
    static constexpr qint64 PostgreSqlLockKey = 960009600;

    // The migrations built in for the database's dialect.
    explicit SchemaMigrator(QSqlDatabase &db);
    // Other migrations (numbered 1, 2, ... in order): for tests.
    SchemaMigrator(QSqlDatabase &db, QList<Migration> migrations);

    int newestVersion() const { return int(m_migrations.size()); }
    // The version the database is at: 0 when it has none of our tables, 1 when it
    // has the first schema's tables and no version record. Throws DatabaseError for
    // a database holding only part of the first schema.
    int currentVersion() const;

    // Applies every migration above the current version up to `target` (the newest
    // by default), calling `applied` after each one committed. A migration that
    // fails is rolled back and reported as a DatabaseError naming it; the
    // migrations before it stay applied. Returns how many were applied.
    int migrate(int target = -1, const std::function<void(const Migration &)> &applied = {});

private:
    bool applyOne(const Migration &migration);
    void runStatements(const Migration &migration);
    void checkForeignKeys(const Migration &migration);
    void recordVersion(int version);
    void begin();
    void exec(const QString &statement, const QString &context);

    QSqlDatabase &m_db;
    QList<Migration> m_migrations;
    bool m_sqlite;
};
