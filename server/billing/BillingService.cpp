#include "server/billing/BillingService.h"

#include <algorithm>
#include <atomic>

#include <malloc.h>

#include <QSqlError>
#include <QSqlQuery>

#include "platform/data/DataPacket.h"
#include "platform/sql/DatabaseError.h"
#include "server/base/ServerLog.h"
#include "server/billing/CallFailure.h"
#include "server/billing/PreviewQuery.h"
#include "server/billing/InvoiceQuery.h"
#include "server/billing/RunHistory.h"
#include "server/rpc/RpcError.h"
#include "server/sql/QueryStop.h"
#include "server/sql/SqlFailure.h"

namespace {

enum class Retry { No, OnLostConnection };

// While alive, the statements of the call on `db` stop once its client has gone:
// the request's stop flag is polled by SQLite and cancels PostgreSQL's statement.
class StopWithClient
{
public:
    StopWithClient(const QSqlDatabase &db, const RequestContext &context)
        : m_context(context)
        , m_stop(db, [&context] { return context.stopRequested(); })
    {
        m_context.setOnStop([this] { m_stop.cancel(); });
        if (m_context.stopRequested())
            throw RpcError::clientGone();
    }
    ~StopWithClient() { m_context.setOnStop({}); }
    StopWithClient(const StopWithClient &) = delete;
    StopWithClient &operator=(const StopWithClient &) = delete;

private:
    const RequestContext &m_context;
    QueryStop m_stop;
};

// Runs `work` on the thread's connection and turns a database failure into an
// answer. When the old connection turns out to be broken (the database server
// restarted meanwhile) the work runs once more on a fresh one: reading work always,
// a generation only when it broke at its first statement, since a lost COMMIT would
// leave unknown whether it was written.
template<typename Work>
auto withDatabase(const ThreadDatabase &database, const RequestContext &context, const char *method, Retry retry,
                  Work &&work)
{
    auto stoppable = [&context, &work](QSqlDatabase &db) {
        const StopWithClient stop(db, context);
        return work(db);
    };
    try {
        try {
            QSqlDatabase db = database.connection();
            return stoppable(db);
        } catch (const SqlFailure &failure) {
            if (context.stopRequested() || !failure.isConnectionLost()
                || (retry == Retry::No && !failure.isBeforeChanges()))
                throw;
            qCWarning(lcSql, "%s: conexão com o banco perdida (%s); reconectando", method,
                      qUtf8Printable(failure.error().text().simplified()));
            database.discard();
            QSqlDatabase db = database.connection();
            return stoppable(db);
        }
    } catch (...) {
        CallFailure(database, context, method).rethrow();
    }
}

// The preview's packet as the answer's stream. The query runs on the thread's
// connection, which nothing else uses until the answer is written; a failure
// releases the statement before the connection may be dropped.
class PreviewAnswer final : public RpcResultStream
{
public:
    PreviewAnswer(const ThreadDatabase &database, const RequestContext &context, std::unique_ptr<PreviewStream> stream)
        : m_database(database)
        , m_context(context)
        , m_stop(std::make_unique<StopWithClient>(database.connection(), context))
        , m_stream(std::move(stream))
    {
    }

    bool fill(std::string &out) override
    {
        if (!m_stream)
            return false;
        try {
            if (m_context.stopRequested())
                throw RpcError::clientGone();
            const bool more = m_stream->fill(out);
            m_rows = m_stream->rows();
            return more;
        } catch (...) {
            m_stream.reset(); // the statement goes before its connection may be dropped
            CallFailure(m_database, m_context, "GetFaturamento").rethrow();
        }
    }

    int rows() const override { return m_rows; }

    ~PreviewAnswer() override
    {
        m_stream.reset();
        m_stop.reset();
        // Give back to the system what reading a large answer left in the allocator.
        if (m_rows >= TrimAfterRows)
            malloc_trim(0);
    }

private:
    static constexpr int TrimAfterRows = 10'000;

    const ThreadDatabase &m_database;
    const RequestContext &m_context;
    std::unique_ptr<StopWithClient> m_stop; // outlives the stream's statement
    std::unique_ptr<PreviewStream> m_stream;
    int m_rows = 0;
};

} // namespace

BillingService::BillingService(const ThreadDatabase &database, DpsData::Environment nfseEnvironment)
    : m_database(database)
    , m_nfseEnvironment(nfseEnvironment)
{
}

void BillingService::registerMethods(MethodRegistry &methods) const
{
    using Method = RpcResult (BillingService::*)(const RpcParams &, const RequestContext &) const;
    // Every method answers its failures through CallFailure.
    auto answering = [this](const char *name, Method method) {
        return [this, name, method](const RpcParams &p, const RequestContext &c) {
            try {
                return (this->*method)(p, c);
            } catch (...) {
                CallFailure(m_database, c, name).rethrow();
            }
        };
    };
    auto reading = [&](const char *name, AccessRight right, Method method) {
        methods.add(name, right, answering(name, method));
    };
    // The calls that write are journaled also when the front refuses them.
    auto writing = [&](const char *name, AccessRight right, Method method) {
        methods.add(name, right, answering(name, method), [this, name](const RequestContext &c, int code) {
            journalRefusal(QString::fromLatin1(name), c, code);
        });
    };
    reading("GetFaturamento", AccessRight::Consulta, &BillingService::getFaturamento);
    writing("GeraNF", AccessRight::Faturamento, &BillingService::geraNF);
    writing("GeraInvoice", AccessRight::Faturamento, &BillingService::geraInvoice);
    reading("GetGeracoes", AccessRight::Consulta, &BillingService::getGeracoes);
    reading("GetLancamentosGeracao", AccessRight::Consulta, &BillingService::getLancamentosGeracao);
    writing("EstornaGeracao", AccessRight::Supervisor, &BillingService::estornaGeracao);
    writing("EstornaLancamento", AccessRight::Supervisor, &BillingService::estornaLancamento);
    reading("GetFaturaDocumento", AccessRight::Consulta, &BillingService::getFaturaDocumento);
}

RpcResult BillingService::getFaturaDocumento(const RpcParams &params, const RequestContext &context) const
{
    const InvoiceQuery::Request request = InvoiceQuery::Request::fromParams(params);
    const InvoiceQuery::Packet packet =
        withDatabase(m_database, context, "GetFaturaDocumento", Retry::OnLostConnection,
                     [&](QSqlDatabase &db) { return InvoiceQuery(db).read(request); });
    return RpcResult{packet.json, packet.rows, {}};
}

RpcResult BillingService::getGeracoes(const RpcParams &params, const RequestContext &context) const
{
    const RunHistory::RunFilter filter = RunHistory::RunFilter::fromParams(params);
    const RunHistory::Packet packet = withDatabase(
        m_database, context, "GetGeracoes", Retry::OnLostConnection,
        [&](QSqlDatabase &db) { return RunHistory(db, m_database.url().kind()).runs(filter); });
    return RpcResult{packet.json, packet.rows, {}};
}

RpcResult BillingService::getLancamentosGeracao(const RpcParams &params, const RequestContext &context) const
{
    params.expectCount(QStringLiteral("GetLancamentosGeracao"), 1, QStringLiteral("idGeracao"));
    const std::int64_t run = RunHistory::runIdOf(params, 0);
    const RunHistory::Packet packet = withDatabase(
        m_database, context, "GetLancamentosGeracao", Retry::OnLostConnection,
        [&](QSqlDatabase &db) { return RunHistory(db, m_database.url().kind()).entriesOfRun(run); });
    return RpcResult{packet.json, packet.rows, {}};
}

RpcResult BillingService::estornaGeracao(const RpcParams &params, const RequestContext &context) const
{
    return reverse(params, context, true);
}

RpcResult BillingService::estornaLancamento(const RpcParams &params, const RequestContext &context) const
{
    return reverse(params, context, false);
}

// As a generation: recorded as a run, and answered again for a repeated key.
RpcResult BillingService::reverse(const RpcParams &params, const RequestContext &context, bool wholeRun) const
{
    const QString method = wholeRun ? QStringLiteral("EstornaGeracao") : QStringLiteral("EstornaLancamento");
    RunJournal journal(callOf(method, params, context));
    for (;;) {
        if (const auto stored = storedAnswer(journal, params, context))
            return replay(journal, *stored);
        try {
            const EntryReversal::Answer answer = reverseRecorded(params, journal, context, wholeRun);
            writeKeptRecords();
            return RpcResult{answer.packet, answer.rows, {}};
        } catch (const RunJournal::KeyTaken &) {
            // Another call with this key committed while this one waited: its answer.
        }
    }
}

EntryReversal::Answer BillingService::reverseRecorded(const RpcParams &params, RunJournal &journal,
                                                      const RequestContext &context, bool wholeRun) const
{
    try {
        const EntryReversal::Request request = wholeRun ? EntryReversal::Request::ofRun(params)
                                                        : EntryReversal::Request::ofEntry(params);
        return withDatabase(
            m_database, context, wholeRun ? "EstornaGeracao" : "EstornaLancamento", Retry::No,
            [&](QSqlDatabase &db) { return EntryReversal(db, m_database.url().kind()).run(request, journal); });
    } catch (const RpcError &error) {
        recordFailure(journal, error.code());
        throw;
    }
}

RpcResult BillingService::getFaturamento(const RpcParams &params, const RequestContext &context) const
{
    const PreviewFilter filter = PreviewFilter::fromParams(params);
    const PreviewQuery query(filter, m_database.url().kind());
    std::unique_ptr<PreviewStream> stream = withDatabase(m_database, context, "GetFaturamento", Retry::OnLostConnection,
                                                         [&query](QSqlDatabase &db) { return query.stream(db); });
    RpcResult result;
    result.stream = std::make_shared<PreviewAnswer>(m_database, context, std::move(stream));
    return result;
}

RpcResult BillingService::geraNF(const RpcParams &params, const RequestContext &context) const
{
    return generate(params, context, false);
}

RpcResult BillingService::geraInvoice(const RpcParams &params, const RequestContext &context) const
{
    return generate(params, context, true);
}

// The hash keys were stored with until the parameters were hashed as sent: each
// parameter written again from its parsed form, followed by a line break. A key
// stored then is still answered for KeptDays after; this can go once those days
// have passed.
QString BillingService::formerHashOf(const QString &method, const RpcParams &params)
{
    std::string all;
    for (int i = 0; i < params.size(); ++i)
        all += RpcParams::jsonText(params.at(i)) + '\n';
    return RunJournal::hashOf(method, all);
}

RunJournal::Call BillingService::callerOf(const QString &method, const RequestContext &context)
{
    const std::string &key = context.idempotencyKey();
    const bool visible = std::all_of(key.begin(), key.end(), [](char c) { return c > 0x20 && c < 0x7f; });
    RunJournal::Call call;
    call.method = method;
    call.user = context.user() ? context.user()->name : QString();
    call.clientAddress = QString::fromStdString(context.clientAddress());
    if (key.size() <= RunJournal::MaxKeyLength && visible)
        call.key = QString::fromStdString(key);
    call.start = QDateTime::currentDateTime();
    return call;
}

RunJournal::Call BillingService::callOf(const QString &method, const RpcParams &params,
                                        const RequestContext &context) const
{
    RunJournal::Call call = callerOf(method, context);
    if (call.key.toStdString() != context.idempotencyKey()) {
        recordOutcome(call, {RpcCode::InvalidRequest});
        throw RpcError(RpcCode::InvalidRequest,
                       QStringLiteral("O cabeçalho Idempotency-Key deve ter até %1 caracteres ASCII visíveis. Nada "
                                      "foi gerado nem estornado; envie a chamada de novo com uma chave válida.")
                           .arg(RunJournal::MaxKeyLength));
    }
    call.requestHash = RunJournal::hashOf(method, params.sentText());
    return call;
}

void BillingService::journalRefusal(const QString &method, const RequestContext &context, int code) const
{
    recordOutcome(callerOf(method, context), {code});
}

RpcResult BillingService::generate(const RpcParams &params, const RequestContext &context, bool invoice) const
{
    const QString method = invoice ? QStringLiteral("GeraInvoice") : QStringLiteral("GeraNF");
    RunJournal journal(callOf(method, params, context));
    for (;;) {
        // A key already answered: the same answer, nothing billed again.
        if (const auto stored = storedAnswer(journal, params, context))
            return replay(journal, *stored);
        try {
            const GenerationRun::Answer answer = runRecorded(params, journal, context, invoice);
            writeKeptRecords();
            pruneKeysNowAndThen();
            return RpcResult{answer.packet, answer.rows, {}};
        } catch (const RunJournal::KeyTaken &) {
            // Another call with this key committed while this one waited: its answer.
        }
    }
}

std::optional<RunJournal::Stored> BillingService::storedAnswer(const RunJournal &journal, const RpcParams &params,
                                                               const RequestContext &context) const
{
    const QString &method = journal.call().method;
    const auto formerHash = [&] { return formerHashOf(method, params); };
    try {
        return withDatabase(m_database, context, qUtf8Printable(method), Retry::OnLostConnection,
                            [&](QSqlDatabase &db) { return journal.stored(db, formerHash); });
    } catch (const RpcError &error) {
        if (error.code() == RpcCode::KeyReused)
            recordFailure(journal, error.code());
        throw;
    }
}

GenerationRun::Answer BillingService::runRecorded(const RpcParams &params, RunJournal &journal,
                                                  const RequestContext &context, bool invoice) const
{
    const QString &method = journal.call().method;
    try {
        params.expectCount(method, 1, QStringLiteral("o pacote de dados do lote"));
        // Read from the request as its parser left it: the batch's text is not parsed again.
        const RpcParams::Value &lote = params.objectValue(0, QStringLiteral("lote"));
        const TRecordStore batch = lote.element ? DataPacket::decode(*lote.element)
                                                : DataPacket::decode(
                                                    QByteArrayView(lote.json.data(), qsizetype(lote.json.size())));
        return withDatabase(m_database, context, invoice ? "GeraInvoice" : "GeraNF", Retry::No, [&](QSqlDatabase &db) {
            GenerationRun run(db, m_database.url().kind(),
                              invoice ? GenerationRun::Kind::Invoice : GenerationRun::Kind::FiscalNote,
                              m_nfseEnvironment);
            return run.run(batch, &journal);
        });
    } catch (...) {
        const RpcError error = CallFailure(m_database, context, qUtf8Printable(method)).current();
        recordFailure(journal, error.code());
        throw error;
    }
}

RpcResult BillingService::replay(const RunJournal &journal, const RunJournal::Stored &stored) const
{
    RunJournal::Outcome outcome;
    outcome.replays = stored.run;
    recordOutcome(journal.call(), outcome);
    return RpcResult{stored.answer, stored.rows, {}};
}

void BillingService::recordFailure(const RunJournal &journal, int code) const
{
    recordOutcome(journal.call(), {code});
}

namespace {

// While alive, a SQLite statement on `db` waits for another writer's lock only
// briefly: a journal record is never a call's second long wait.
class ShortBusyWait
{
public:
    static constexpr int WaitMs = 100;

    ShortBusyWait(const QSqlDatabase &db, const ThreadDatabase &database)
        : m_db(db)
        , m_restoreMs(database.url().isSqlite() ? database.sqliteBusyMs() : -1)
    {
        setBusyWait(std::min(WaitMs, m_restoreMs));
    }
    ~ShortBusyWait() { setBusyWait(m_restoreMs); }
    ShortBusyWait(const ShortBusyWait &) = delete;
    ShortBusyWait &operator=(const ShortBusyWait &) = delete;

private:
    void setBusyWait(int ms) const
    {
        if (m_restoreMs < 0)
            return;
        QSqlQuery pragma(m_db);
        pragma.exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(ms));
    }

    QSqlDatabase m_db;
    int m_restoreMs;
};

constexpr std::size_t MaxKeptRecords = 10'000;

} // namespace

// The refusal is the answer the client waits for: its record never makes it wait
// for the database a second time.
void BillingService::recordOutcome(const RunJournal::Call &call, const RunJournal::Outcome &outcome) const
{
    // A call refused for a busy database has had its one wait.
    if (outcome.errorCode != RpcCode::Busy && writeRecord(call, outcome)) {
        writeKeptRecords();
        return;
    }
    const std::lock_guard lock(m_keptMutex);
    if (m_kept.size() >= MaxKeptRecords) {
        qCWarning(lcSql,
                  "%s de %s (resultado %d) não registrada: o banco de dados não aceita registros há muito "
                  "tempo",
                  qUtf8Printable(call.method), qUtf8Printable(call.user), outcome.errorCode);
        return;
    }
    qCInfo(lcSql, "%s de %s (resultado %d): registro adiado até o banco de dados aceitar gravações",
           qUtf8Printable(call.method), qUtf8Printable(call.user), outcome.errorCode);
    m_kept.push_back({call, outcome});
}

bool BillingService::writeRecord(const RunJournal::Call &call, const RunJournal::Outcome &outcome) const
{
    try {
        QSqlDatabase db = m_database.connection();
        const ShortBusyWait shortWait(db, m_database);
        RunJournal(call).record(db, outcome);
        return true;
    } catch (const std::exception &error) {
        qCWarning(lcSql, "%s: registro da chamada adiado: %s", qUtf8Printable(call.method), error.what());
        return false;
    }
}

void BillingService::writeKeptRecords() const
{
    std::vector<KeptRecord> kept;
    {
        const std::lock_guard lock(m_keptMutex);
        kept.swap(m_kept);
    }
    std::size_t written = 0;
    while (written < kept.size() && writeRecord(kept[written].call, kept[written].outcome))
        ++written;
    if (written == kept.size())
        return;
    const std::lock_guard lock(m_keptMutex);
    m_kept.insert(m_kept.begin(), kept.begin() + std::ptrdiff_t(written), kept.end());
}

// Keys are kept at least RunJournal::KeptDays; this server forgets older ones at most
// once an hour, after a run, outside its transaction.
void BillingService::pruneKeysNowAndThen() const
{
    static std::atomic<qint64> lastPrune{0};
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    qint64 last = lastPrune.load();
    if (now - last < 3600 || !lastPrune.compare_exchange_strong(last, now))
        return;
    try {
        RunJournal::pruneKeys(m_database.connection());
    } catch (const std::exception &error) {
        qCWarning(lcSql, "chaves de idempotência antigas não apagadas: %s", error.what());
    }
}

std::pair<bool, QString> BillingService::health() const
{
    // A second attempt on a fresh connection tells a database that is down from a
    // connection that broke while the database went on.
    QString reason;
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            QSqlDatabase db = m_database.connection();
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("SELECT 1")) && query.next())
                return {true, {}};
            reason = QStringLiteral("O banco de dados %1 não responde: %2")
                         .arg(m_database.url().displayName(), query.lastError().text());
            m_database.discard();
        } catch (const DatabaseError &error) {
            reason = error.message();
        }
    }
    return {false, reason};
}
