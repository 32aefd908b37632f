#pragma once

#include <memory>

#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

class RowSink;

// A forward-only result read through the database's own C interface on the
// connection a QSqlDatabase already holds, for the paths where copying every value
// through QVariant costs more than the query. Values are read as the Qt driver
// hands them over, so a sink writes what a reader through Qt would.
class NativeCursor
{
public:
    virtual ~NativeCursor() = default;

    // Runs `sql` (with '?' placeholders) on the connection of `db` with `values`
    // bound in order. Throws SqlFailure naming `context`.
    static std::unique_ptr<NativeCursor> open(const QSqlDatabase &db, const QString &sql, const QVariantList &values,
                                              const char *context);

    // Moves to the next row; false after the last. Throws SqlFailure, having
    // released its statement, so the connection may be closed at once.
    virtual bool next() = 0;
    // Writes the current row's cells, one per field of the sink's layout.
    virtual void writeRow(RowSink &writer) = 0;
};
