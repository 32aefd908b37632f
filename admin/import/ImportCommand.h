#pragma once

#include <QStringList>
#include <QTextStream>

#include "platform/sql/DatabaseUrl.h"

// `fas-admin import KIND FILE`: reads the whole CSV file, checks every line and
// writes it in one transaction, or writes nothing and lists every bad line.
// `args` are the words after "import". Exit codes, those of every fas-admin
// command: 0 imported, 1 the file was refused or the database failed (nothing
// written), 2 wrong use of the command.
namespace ImportCommand {

inline constexpr int Imported = 0;
inline constexpr int Refused = 1;
inline constexpr int Usage = 2;
inline constexpr int DatabaseFailed = 1;

// At most this many problems are listed; the count says how many more there are.
inline constexpr int ProblemsShown = 200;

} // namespace ImportCommand

int runImport(const QStringList &args, const DatabaseUrl &database, QTextStream &out, QTextStream &err);
