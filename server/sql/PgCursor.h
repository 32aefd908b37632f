#pragma once

#include <vector>

#include <QString>
#include <QVariantList>

#include "server/sql/NativeCursor.h"

struct pg_conn;
struct pg_result;

// A query on an open PostgreSQL connection (the one the Qt driver holds) read in
// libpq's single-row mode: rows arrive as the server sends them, none is kept
// after the next. Values are the server's text forms (client encoding UTF-8, ISO
// dates). A cursor left before its end cancels the query and drains the
// connection, so the next statement on it finds it idle.
class PgCursor final : public NativeCursor
{
public:
    PgCursor(pg_conn *connection, const QString &sql, const QVariantList &values, const char *context);
    ~PgCursor() override;
    PgCursor(const PgCursor &) = delete;
    PgCursor &operator=(const PgCursor &) = delete;

    bool next() override;
    void writeRow(RowSink &writer) override;

    // `sql` with its '?' placeholders (outside quotes) numbered $1, $2, ...
    static QByteArray numberedPlaceholders(const QString &sql);

private:
    [[noreturn]] void fail(pg_result *result);
    void drain();

    pg_conn *m_connection;
    pg_result *m_row = nullptr;
    const char *m_context;
    bool m_running = false;
};
