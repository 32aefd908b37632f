#pragma once

#include <QSqlDatabase>
#include <QStringList>

#include "DatabaseUrl.h"

// The database's tables for SQLite and PostgreSQL, from db/schema.*.sql (built in
// as resources). Used by the demo data generator; the application server only
// checks that the tables are there.
namespace SchemaScript {

// Our tables in creation order (lookups first, then billing).
const QStringList &tables();
// The statements of the schema for a database kind.
QStringList statements(DatabaseUrl::Kind kind);
DatabaseUrl::Kind kindOf(const QSqlDatabase &db);

// Which of our tables exist already (case-insensitive names, in creation order).
QStringList existingTables(const QSqlDatabase &db);
// Creates every table; throws DatabaseError naming the statement's table.
void create(QSqlDatabase &db);
// Drops our tables that exist, dependants first.
void drop(QSqlDatabase &db);

} // namespace SchemaScript
