#include "server/billing/BillingService.h"

#include <malloc.h>

#include <QSqlError>
#include <QSqlQuery>

#include "DataPacket.h"
#include "DatabaseError.h"
#include "server/base/ServerLog.h"
#include "server/billing/GenerationRun.h"
#include "server/billing/PreviewQuery.h"
#include "server/rpc/RpcError.h"
#include "server/sql/SqlFailure.h"

namespace {

enum class Retry { No, OnLostConnection };

// Logs a database failure and throws the answer a user can act on. A connection
// that failed is dropped, so the next call starts afresh; a busy one is kept.
[[noreturn]] void answerFailure(const ThreadDatabase &database, const char *method, const SqlFailure &failure)
{
    qCWarning(lcSql, "%s: erro do banco de dados em %s: %s [%s]", method, qUtf8Printable(failure.context()),
              qUtf8Printable(failure.error().text().simplified()), qUtf8Printable(failure.error().nativeErrorCode()));
    if (failure.isBusy())
        throw RpcError(RpcCode::Busy, database.url().isSqlite()
                                          ? QStringLiteral("Outro processo está gravando no banco de dados %1 e não o "
                                                           "liberou a tempo. Nada foi alterado; tente novamente em "
                                                           "instantes. Se persistir, feche o programa que está "
                                                           "gravando nele.")
                                                .arg(database.url().displayName())
                                          : QStringLiteral("O banco de dados está ocupado com outra geração. "
                                                           "Nada foi alterado; tente novamente em instantes."));
    database.discard();
    if (failure.isConnectionLost())
        throw RpcError(RpcCode::DatabaseUnavailable,
                       QStringLiteral("O banco de dados %1 está indisponível. Nada foi alterado; tente "
                                      "novamente ou informe o administrador.")
                           .arg(database.url().displayName()));
    throw RpcError(RpcCode::ServerFailure,
                   QStringLiteral("O banco de dados recusou a operação %1. Nada foi alterado; informe o "
                                  "administrador (detalhes no registro do servidor).")
                       .arg(QString::fromLatin1(method)));
}

// Runs `work` on the thread's connection and turns a database failure into an
// answer. When the old connection turns out to be broken (the database server
// restarted meanwhile) the work runs once more on a fresh one: reading work always,
// a generation only when it broke at its first statement, since a lost COMMIT would
// leave unknown whether it was written.
template<typename Work>
auto withDatabase(const ThreadDatabase &database, const char *method, Retry retry, Work &&work)
{
    try {
        try {
            QSqlDatabase db = database.connection();
            return work(db);
        } catch (const SqlFailure &failure) {
            if (!failure.isConnectionLost() || (retry == Retry::No && !failure.isBeforeChanges()))
                throw;
            qCWarning(lcSql, "%s: conexão com o banco perdida (%s); reconectando", method,
                      qUtf8Printable(failure.error().text().simplified()));
            database.discard();
            QSqlDatabase db = database.connection();
            return work(db);
        }
    } catch (const SqlFailure &failure) {
        answerFailure(database, method, failure);
    }
}

// The preview's packet as the answer's stream. The query runs on the thread's
// connection, which nothing else uses until the answer is written; a failure
// releases the statement before the connection may be dropped.
class PreviewAnswer final : public RpcResultStream
{
public:
    PreviewAnswer(const ThreadDatabase &database, std::unique_ptr<PreviewStream> stream)
        : m_database(database)
        , m_stream(std::move(stream))
    {
    }

    bool fill(std::string &out) override
    {
        if (!m_stream)
            return false;
        try {
            const bool more = m_stream->fill(out);
            m_rows = m_stream->rows();
            return more;
        } catch (const SqlFailure &failure) {
            m_stream.reset();
            answerFailure(m_database, "GetFaturamento", failure);
        } catch (...) {
            m_stream.reset();
            throw;
        }
    }

    int rows() const override { return m_rows; }

    ~PreviewAnswer() override
    {
        m_stream.reset();
        // Give back to the system what reading a large answer left in the allocator.
        if (m_rows >= TrimAfterRows)
            malloc_trim(0);
    }

private:
    static constexpr int TrimAfterRows = 10'000;

    const ThreadDatabase &m_database;
    std::unique_ptr<PreviewStream> m_stream;
    int m_rows = 0;
};

} // namespace

BillingService::BillingService(const ThreadDatabase &database)
    : m_database(database)
{
}

void BillingService::registerMethods(MethodRegistry &methods) const
{
    methods.add("GetFaturamento", AccessRight::Consulta,
                [this](const RpcParams &p, const RequestContext &c) { return getFaturamento(p, c); });
    methods.add("GeraNF", AccessRight::Faturamento,
                [this](const RpcParams &p, const RequestContext &c) { return geraNF(p, c); });
    methods.add("GeraInvoice", AccessRight::Faturamento,
                [this](const RpcParams &p, const RequestContext &c) { return geraInvoice(p, c); });
}

RpcResult BillingService::getFaturamento(const RpcParams &params, const RequestContext &) const
{
    const PreviewFilter filter = PreviewFilter::fromParams(params);
    const PreviewQuery query(filter, m_database.url().kind());
    std::unique_ptr<PreviewStream> stream = withDatabase(m_database, "GetFaturamento", Retry::OnLostConnection,
                                                         [&query](QSqlDatabase &db) { return query.stream(db); });
    RpcResult result;
    result.stream = std::make_shared<PreviewAnswer>(m_database, std::move(stream));
    return result;
}

RpcResult BillingService::geraNF(const RpcParams &params, const RequestContext &) const
{
    return generate(params, false);
}

RpcResult BillingService::geraInvoice(const RpcParams &params, const RequestContext &) const
{
    return generate(params, true);
}

RpcResult BillingService::generate(const RpcParams &params, bool invoice) const
{
    const QString method = invoice ? QStringLiteral("GeraInvoice") : QStringLiteral("GeraNF");
    params.expectCount(method, 1, QStringLiteral("o pacote de dados do lote"));
    const std::string &json = params.object(0, QStringLiteral("lote"));
    const TRecordStore batch = DataPacket::decode(QByteArrayView(json.data(), qsizetype(json.size())));
    GenerationRun::Answer answer = withDatabase(m_database, invoice ? "GeraInvoice" : "GeraNF", Retry::No, [&](QSqlDatabase &db) {
        GenerationRun run(db, m_database.url().kind(),
                          invoice ? GenerationRun::Kind::Invoice : GenerationRun::Kind::FiscalNote);
        return run.run(batch);
    });
    RpcResult result;
    result.rows = answer.rows;
    result.json = std::move(answer.packet);
    return result;
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
