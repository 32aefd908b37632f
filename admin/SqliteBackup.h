#pragma once

#include <QSqlDatabase>
#include <QString>

// A copy of a SQLite database taken with SQLite's online backup on the open
// connection's handle: one pass inside one read transaction, so the copy is the
// database as it stood at one moment even while the server writes (WAL readers
// do not stop writers). The copy is written to a temporary name beside `target`
// and renamed over it only when complete; a failure leaves `target` as it was and
// removes the temporary file with its journal. The copy is never readable by every
// user: owner read and write, plus the group's rights on the database. The
// database and the files SQLite keeps beside it (-wal, -journal, -shm) are refused
// as targets, also through a symbolic link.
namespace SqliteBackup {

// Throws FasError naming the file and the reason.
void copy(const QSqlDatabase &db, const QString &sourcePath, const QString &target);

} // namespace SqliteBackup
