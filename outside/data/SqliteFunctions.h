#pragma once

#include <QSqlDatabase>

#include "kor_export.h"

// SQL functions that the screens' query texts use and SQLite lacks, registered
// on each SQLite connection of the host's data module, so that those texts run
// there unchanged:
//   TO_DATE(text)  day/month/year text ("01/01/2008") to the ISO date text
//                  "2008-01-01", the form SQLite keeps dates in; NULL stays NULL,
//                  any other text is an SQL error naming it.
namespace SqliteFunctions {

// Registers the functions on `database` when it is an open SQLite connection;
// does nothing for any other driver. Throws FasError when SQLite refuses.
KOR_EXPORT void Register(const QSqlDatabase &database);

} // namespace SqliteFunctions
