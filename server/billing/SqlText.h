#pragma once

#include <QString>

#include "platform/sql/DatabaseUrl.h"

// The server's larger query texts, kept as files in server/billing/sql/ (built in as
// resources) so that the benchmarks can run exactly the same text in sqlite3 and
// psql. Each is written once per dialect, since it differs throughout:
//   item-select    the preview's columns; the month as "MM/yyyy" (substr or
//                  to_char) and the entry numbers as text (TEXT or VARCHAR);
//   preview-where  the filter, every parameter typed and every list a bound JSON
//                  array (json_each or json_array_elements_text);
//   item-order     the preview's order, texts byte by byte (COLLATE "C" on
//                  PostgreSQL).
// Statements built in the code take what differs from SqlDialect instead.
// `name` is "item-select", "preview-where" or "item-order".
namespace SqlText {

QString get(const char *name, DatabaseUrl::Kind kind);

} // namespace SqlText
