#pragma once

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
};
