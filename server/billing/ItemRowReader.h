#pragma once

#include <QSqlQuery>

#include "platform/data/TRecordStore.h"

// Turns the rows of the item query (server/sql/item-select.*.sql: the 28 columns of
// the preview layout, in its order) into a packet's record store. Text comes back as
// QString from both drivers, dates as ISO text (SQLite) or QDate/QDateTime
// (PostgreSQL); both become wall-clock milliseconds without a time zone.
class ItemRowReader
{
public:
    // A store with the preview's 28 fields and no rows.
    static TRecordStore emptyStore();
    // A text as UTF-8, kept within its field's size in characters (SQLite does not
    // enforce VARCHAR sizes, and a packet refuses a text longer than its field),
    // never cut between the two halves of a character.
    static QByteArray fittedUtf8(const QString &text, int size);
    // Appends every remaining row of `query` to `store`; returns the number added.
    static int appendAll(QSqlQuery &query, TRecordStore &store);
};
