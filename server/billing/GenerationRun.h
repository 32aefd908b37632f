#pragma once

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include <QSqlDatabase>
#include <QString>

#include "platform/sql/DatabaseUrl.h"
#include "platform/data/TRecordStore.h"
#include "server/billing/ItemKey.h"
#include "server/billing/NfseOutbox.h"
#include "server/nfse/DpsData.h"
#include "server/sql/SqlDialect.h"

class BatchTable;
class RunJournal;
class SqlStatement;

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
// then the counter rows: SqlDialect), so two runs never wait for each other in a
// circle.
class GenerationRun
{
public:
    enum class Kind { FiscalNote, Invoice };

    using ItemKey = ::ItemKey;

    // `nfseEnvironment`: where the DPS of a company emitting national notes are
    // declared (GeraNF writes them to NFSEDPS in the run's transaction: NfseOutbox).
    GenerationRun(QSqlDatabase db, DatabaseUrl::Kind dialect, Kind kind,
                  DpsData::Environment nfseEnvironment = DpsData::Environment::Homologation);

    struct Answer
    {
        std::string packet; // the generated items as they now stand, a 28-field preview packet
        int rows = 0;
        int entries = 0;
        double total = 0;
    };

    // Throws RpcError for a refused batch or item, SqlFailure for a database failure.
    // `journal`, when given, records the run in its transaction and names it in
    // every entry (RunJournal::open may throw RunJournal::KeyTaken).
    Answer run(const TRecordStore &batch, RunJournal *journal = nullptr);

    // The items' keys, sorted, without repeats. Throws RpcError(InvalidParams).
    static std::vector<ItemKey> keysOf(const TRecordStore &batch);

private:
    struct ItemState; // what the run read of one item
    struct RunState;  // what the steps of one run share
    // One entry per company, branch, client and fiscal-note group (whether null, value).
    using GroupKey = std::tuple<QString, QString, QString, bool, QString>;
    using Groups = std::map<GroupKey, std::vector<const ItemState *>>;

    // Whether the claim takes the rows the last read found by their place (see claimAll).
    bool claimsRowsRead() const { return !m_sql.locksRows(); }
    bool isInvoice() const { return m_kind == Kind::Invoice; }
    QString kindCode() const;
    QString nothingGenerated() const;
    [[noreturn]] void refuse(int code, const ItemKey &key, const QString &name, const QString &why) const;
    [[noreturn]] void refuseBilledMeanwhile() const;
    void execUnprepared(const QString &sql) const;

    // The claim: at once (claimWholeBatch) or, when that misses an item, the long way.
    SqlStatement prepareItemRead() const;
    QString lockOrder() const;
    int readItems(RunState &state, const QString &sql, const char *context) const;
    void readAndLock(RunState &state) const;
    QString rightNationality(const QString &item = QStringLiteral("a")) const;
    QString claimable(bool withNationality) const;
    bool claimWholeBatch(RunState &state) const;
    bool claimAll(const RunState &state, bool withNationality) const;
    void claimTheLongWay(RunState &state) const;
    QString firstRefusedSql(const BatchTable &table, bool afterClaim) const;
    void refuseFirst(RunState &state, bool afterClaim) const;
    void explain(RunState &state, const ItemKey &key, bool afterClaim) const;

    // The entries: grouped, numbered, written; then the answer.
    static Groups groupItems(const std::vector<ItemState> &items);
    std::map<QString, int> numberEntries(RunState &state, const Groups &groups) const;
    double entryTotal(const std::vector<const ItemState *> &members) const;
    [[noreturn]] void refuseValue(const ItemState &item, double value, const QString &what) const;
    std::vector<NfseOutbox::Entry> noteEntries(const RunState &state, const Groups &groups,
                                               std::map<QString, int> nextNumber) const;
    double writeEntriesAndLinks(RunState &state, const Groups &groups, std::map<QString, int> nextNumber) const;
    void insertEntriesAndLinks(RunState &state, const std::string &entryRows, const std::string &linkRows) const;
    Answer readAnswer(const BatchTable &table) const;

    QSqlDatabase m_db;
    SqlDialect m_sql;
    Kind m_kind;
    DpsData::Environment m_nfseEnvironment;
};
