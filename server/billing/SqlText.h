#pragma once

#include <QString>

#include "platform/sql/DatabaseUrl.h"

// The server's larger query texts, kept as files in server/billing/sql/ (built in as
// resources) so that the benchmark can run exactly the same text in sqlite3.
// `name` is "item-select", "preview-where" or "entries-where".
namespace SqlText {

QString get(const char *name, DatabaseUrl::Kind kind);

} // namespace SqlText
