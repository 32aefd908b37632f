#pragma once

#include <string>
#include <vector>

#include <QDate>
#include <QSqlDatabase>
#include <QString>

#include "DatabaseUrl.h"
#include "TRecordStore.h"

// GeraNF and GeraInvoice: turns a batch of pending items into fiscal-note or
// invoice entries in one transaction, all or nothing, with a few statements per
// batch (the keys bound once as a JSON array, see BatchTable).
//
// Every item must exist, be pending (status "P" or blank), have no entry yet, and
// belong to a domestic client for notes or a foreign one for invoices (domestic:
// at least one ENDECLIE row with CDPAIS '0055' and IDTPENDECLIE 'P'); a refusal
// names the first offending item in key order. The items are claimed by one
// conditional UPDATE that only takes items still pending and unbilled, so of two
// users generating the same item at once exactly one bills it. The claimed items
// are grouped by company, branch, client and fiscal-note group (CDGRUPONFAPUR);
// each group becomes one entry numbered per company and kind from the NUMLANCFAT
// counter, updated inside the same transaction (SQLite takes the write lock up
// front with BEGIN IMMEDIATE; PostgreSQL locks the batch's rows in key order and
// then the counter rows), so two runs never wait for each other in a circle.
class GenerationRun
{
public:
    enum class Kind { FiscalNote, Invoice };

    struct ItemKey
    {
        QString company;
        QString branch;
        QString client;
        QDate month; // first day
        QString type;
        QString clientName; // as the batch named it, for messages when the item is unknown

        bool operator<(const ItemKey &other) const;
        bool operator==(const ItemKey &other) const;
    };

    GenerationRun(QSqlDatabase db, DatabaseUrl::Kind dialect, Kind kind);

    struct Answer
    {
        std::string packet; // the generated items as they now stand, a 28-field preview packet
        int rows = 0;
    };

    // Throws RpcError for a refused batch or item, SqlFailure for a database failure.
    Answer run(const TRecordStore &batch);

    // The items' keys, sorted, without repeats. Throws RpcError(InvalidParams).
    static std::vector<ItemKey> keysOf(const TRecordStore &batch);

private:
    QSqlDatabase m_db;
    DatabaseUrl::Kind m_dialect;
    Kind m_kind;
};
