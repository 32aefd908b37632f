#pragma once

#include <cstdint>
#include <string_view>

#include <QSqlQuery>

#include "TRecordStore.h"

// Turns the rows of the item query (server/sql/item-select.*.sql: the 28 columns of
// the preview layout, in its order) into a packet's record store. Text comes back as
// QString from both drivers, dates as ISO text (SQLite) or QDate/QDateTime
// (PostgreSQL); both become wall-clock milliseconds without a time zone.
class ItemRowReader
{
public:
    // A store with the preview's 28 fields and no rows.
    static TRecordStore emptyStore();
    // Appends every remaining row of `query` to `store`; returns the number added.
    static int appendAll(QSqlQuery &query, TRecordStore &store);

    // "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS[.fff]]" (or with 'T') to milliseconds since
    // 1970-01-01; false when the text is not such a date.
    static bool parseDateTime(QStringView text, std::int64_t &ms);
    static bool parseDateTime(std::string_view text, std::int64_t &ms);
};
