#pragma once

#include <QString>
#include <QVariantList>

#include "server/sql/NativeCursor.h"

struct sqlite3;
struct sqlite3_stmt;

// A statement on an open SQLite connection (the one the Qt driver holds), stepped
// row by row. Texts come as the UTF-8 SQLite stores.
class SqliteCursor final : public NativeCursor
{
public:
    SqliteCursor(sqlite3 *db, const QString &sql, const QVariantList &values, const char *context);
    ~SqliteCursor() override;
    SqliteCursor(const SqliteCursor &) = delete;
    SqliteCursor &operator=(const SqliteCursor &) = delete;

    bool next() override;
    void writeRow(RowSink &writer) override;

private:
    [[noreturn]] void fail();
    QString qtText(int column) const;

    sqlite3 *m_db;
    sqlite3_stmt *m_statement = nullptr;
    const char *m_context;
};
