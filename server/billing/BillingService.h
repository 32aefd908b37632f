#pragma once

#include <mutex>
#include <utility>
#include <vector>

#include <QString>

#include "server/billing/EntryReversal.h"
#include "server/billing/GenerationRun.h"
#include "server/billing/RunJournal.h"
#include "server/rpc/MethodRegistry.h"
#include "server/rpc/RequestContext.h"
#include "server/rpc/RpcParams.h"
#include "server/rpc/RpcResult.h"
#include "server/sql/ThreadDatabase.h"

// The remote object FAS09600.rdmFaturamento: GetFaturamento, GeraNF and
// GeraInvoice, the history of runs (GetGeracoes, GetLancamentosGeracao) and the
// reversal of entries (EstornaGeracao, EstornaLancamento) on the calling thread's
// database connection, and the health check.
// Every generation and reversal is recorded as a run (RunJournal); one sent again with the
// Idempotency-Key of a committed run gets that run's answer and bills nothing.
// The service registers its methods, with the right each needs, in the JSON-RPC
// front's registry.
// Database failures are logged with their details and answered with a message a
// user can act on; the SQL and the driver's words stay in the log.
class BillingService
{
public:
    // `nfseEnvironment`: the environment GeraNF declares the national notes' DPS in.
    explicit BillingService(const ThreadDatabase &database,
                            DpsData::Environment nfseEnvironment = DpsData::Environment::Homologation);

    void registerMethods(MethodRegistry &methods) const;

    RpcResult getFaturamento(const RpcParams &params, const RequestContext &context) const;
    RpcResult geraNF(const RpcParams &params, const RequestContext &context) const;
    RpcResult geraInvoice(const RpcParams &params, const RequestContext &context) const;
    // The history of runs and the reversal of entries (see RunHistory, EntryReversal).
    RpcResult getGeracoes(const RpcParams &params, const RequestContext &context) const;
    RpcResult getLancamentosGeracao(const RpcParams &params, const RequestContext &context) const;
    RpcResult estornaGeracao(const RpcParams &params, const RequestContext &context) const;
    RpcResult estornaLancamento(const RpcParams &params, const RequestContext &context) const;
    // An invoice entry's document (see InvoiceQuery).
    RpcResult getFaturaDocumento(const RpcParams &params, const RequestContext &context) const;

    // Journals a generation or reversal the JSON-RPC front refused before it ran
    // (for the caller's right, or for its batch's Idempotency-Key).
    void journalRefusal(const QString &method, const RequestContext &context, int code) const;

    // true, or false and the reason: the database answers a trivial query.
    std::pair<bool, QString> health() const;

private:
    RpcResult generate(const RpcParams &params, const RequestContext &context, bool invoice) const;
    // Throws RpcError for an Idempotency-Key the server does not take (journaled).
    RunJournal::Call callOf(const QString &method, const RpcParams &params, const RequestContext &context) const;
    // The call as the journal names it, its key left out when it is not one.
    static RunJournal::Call callerOf(const QString &method, const RequestContext &context);
    GenerationRun::Answer runRecorded(const RpcParams &params, RunJournal &journal, const RequestContext &context,
                                      bool invoice) const;
    RpcResult reverse(const RpcParams &params, const RequestContext &context, bool wholeRun) const;
    EntryReversal::Answer reverseRecorded(const RpcParams &params, RunJournal &journal, const RequestContext &context,
                                          bool wholeRun) const;
    std::optional<RunJournal::Stored> storedAnswer(const RunJournal &journal, const RpcParams &params,
                                                   const RequestContext &context) const;
    static QString formerHashOf(const QString &method, const RpcParams &params);
    RpcResult replay(const RunJournal &journal, const RunJournal::Stored &stored) const;
    void recordFailure(const RunJournal &journal, int code) const;
    // Journals a call that made no run. A call waits for a busy database once: the
    // record is written with a short try of its own, and one that cannot be written
    // now (the database is busy, or this call already waited for it) is kept and
    // written after the next call that journals.
    void recordOutcome(const RunJournal::Call &call, const RunJournal::Outcome &outcome) const;
    bool writeRecord(const RunJournal::Call &call, const RunJournal::Outcome &outcome) const;
    void writeKeptRecords() const;
    void pruneKeysNowAndThen() const;

    struct KeptRecord
    {
        RunJournal::Call call;
        RunJournal::Outcome outcome;
    };

    const ThreadDatabase &m_database;
    DpsData::Environment m_nfseEnvironment;
    mutable std::mutex m_keptMutex;
    mutable std::vector<KeptRecord> m_kept;
};
