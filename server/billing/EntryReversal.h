#pragma once

#include <cstdint>
#include <string>

#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

#include "platform/sql/DatabaseUrl.h"
#include "server/rpc/RpcParams.h"
#include "server/sql/SqlDialect.h"

class RunJournal;

// EstornaGeracao and EstornaLancamento: reverses the live entries of one run, or
// one entry, in one transaction. Each entry is kept, marked with who reversed it,
// when, why and in which run; its number is never given again (the counters are
// not touched). Its item links move to ITEMLANCFATHIST and its calculations return
// to pending (status "P"), so they can be ticked and billed again.
//
// Locks as generation does (SqlDialect): SQLite takes the write lock at BEGIN
// IMMEDIATE; PostgreSQL locks the entries, then their calculations, each in key
// order.
// A generation only ever waits on calculations, so the two never wait in a circle;
// one that claimed a calculation first makes the reversal wait, and one that comes
// after the reversal committed finds the calculation pending.
class EntryReversal
{
public:
    struct Request
    {
        std::int64_t run = 0; // EstornaGeracao; 0 for one entry
        QString company;      // EstornaLancamento: the entry's key
        QString kind;         // "N" or "I"
        int number = 0;
        QString reason;

        static Request ofRun(const RpcParams &params);
        static Request ofEntry(const RpcParams &params);
    };

    struct Answer
    {
        std::string packet; // the reversed entries as GetLancamentosGeracao lists them
        int rows = 0;
    };

    static constexpr int MaxReasonLength = 200;

    EntryReversal(QSqlDatabase db, DatabaseUrl::Kind dialect);

    // Throws RpcError for a refusal, SqlFailure for a database failure, and
    // RunJournal::KeyTaken as generation does.
    Answer run(const Request &request, RunJournal &journal);

private:
    struct Totals
    {
        int entries = 0;
        int items = 0;
        double total = 0;
    };

    // The targeted entries, as a condition on LANCFATFAS's own columns, and its values;
    // the keys of those still live, as a condition on (company, kind, number).
    QString target() const;
    QVariantList targetValues() const;
    QString liveEntryKeys() const;

    Totals lockEntries() const;
    [[noreturn]] void refuseNothingLive(int reversed) const;
    void lockCalculations() const;
    void moveLinksAndReopen() const;
    void markEntries(const QString &user, std::int64_t reversalRun) const;
    QString entryName() const;

    QSqlDatabase m_db;
    SqlDialect m_sql;
    Request m_request;
};
