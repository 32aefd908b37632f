#pragma once

#include <QSqlDatabase>
#include <QString>

// A copy of a SQLite database taken with SQLite's online backup on the open
// connection's handle: one pass inside one read transaction, so the copy is the
// database as it stood at one moment even while the server writes (WAL readers
// do not stop writers). The copy is written to a temporary name beside `target`
// and renamed over it only when complete; a failure leaves `target` as it was.
namespace SqliteBackup {

// Throws FasError naming the file and the reason.
void copy(const QSqlDatabase &db, const QString &sourcePath, const QString &target);

} // namespace SqliteBackup
