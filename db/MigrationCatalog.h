#pragma once

#include <QList>

#include "platform/sql/DatabaseUrl.h"
#include "db/Migration.h"

// The migrations built into the program for a dialect, read from the resources
// under :/fas/db/migrations/<dialect>/, in number order. Throws DatabaseError when
// a name does not read NNNN-name.sql or the numbers are not 1, 2, 3... in turn.
namespace MigrationCatalog {

QList<Migration> forKind(DatabaseUrl::Kind kind);
// The migrations in a folder (a resource path or a directory of .sql files).
QList<Migration> fromFolder(const QString &folder);
// One migration from its file name and text.
Migration parse(const QString &fileName, const QString &text);

} // namespace MigrationCatalog
