#pragma once

#include <QSqlDatabase>
#include <QStringList>

#include "platform/sql/DatabaseUrl.h"

// The database's tables for SQLite and PostgreSQL, as the numbered migrations in
// db/migrations/ make them (built in as resources).
namespace SchemaScript {

// Our tables of the first schema, in creation order (lookups first, then billing).
const QStringList &tables();
// The one-row table recording the schema's version (from version 2 on).
QString versionTable();
DatabaseUrl::Kind kindOf(const QSqlDatabase &db);

// The statements of a script: parts separated by a line holding only ";;",
// comment lines dropped, empty parts skipped.
QStringList parseStatements(const QString &text);

// Which of our tables exist already (case-insensitive names, in creation order).
QStringList existingTables(const QSqlDatabase &db);
bool hasTable(const QSqlDatabase &db, const QString &name);
// Creates every table at the newest version; throws DatabaseError naming the migration.
void create(QSqlDatabase &db);
// Every table the built-in migrations of the dialect leave, in creation order
// (read from their CREATE, DROP and ALTER ... RENAME TO statements).
QStringList createdTables(DatabaseUrl::Kind kind);
// Drops every table the migrations create, those that exist, in one go: the
// database is then empty of ours whatever version it was at.
void drop(QSqlDatabase &db);

} // namespace SchemaScript
