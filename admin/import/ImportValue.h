#pragma once

#include <QString>

#include "admin/import/ImportLayout.h"

// Reads one cell of an import file as spreadsheets in Brazil write it and turns
// it into the text the database takes: "1.234,56" becomes "1234.56",
// "05/03/2024 14:30" becomes "2024-03-05 14:30:00". Blank is null.
namespace ImportValue {

// Converts `value` in place; false, with the reason in Portuguese, when it does
// not fit the column. A blank value is left null and is always accepted here
// (whether the column may be blank is the caller's question).
bool convert(const ImportColumn &column, QString &value, QString &reason);

// The number of characters (not UTF-16 units, not bytes) of a text.
qsizetype characterCount(const QString &text);

} // namespace ImportValue
