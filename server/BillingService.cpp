#include "BillingService.h"

#include <cstdio>

#include <QSqlError>
#include <QSqlQuery>

#include "DataPacket.h"
#include "DatabaseError.h"
#include "GenerationRun.h"
#include "PreviewQuery.h"
#include "RpcError.h"
#include "SqlFailure.h"

namespace {

// Runs `work` on the thread's connection and turns a database failure into an
// answer. A connection that failed is dropped, so the next call starts afresh.
template<typename Work>
auto withDatabase(const ThreadDatabase &database, const char *method, Work &&work)
{
    QSqlDatabase db = database.connection();
    try {
        return work(db);
    } catch (const SqlFailure &failure) {
        std::fprintf(stderr, "fas-appserver: %s: erro do banco de dados em %s: %s [%s]\n", method,
                     failure.context().toLocal8Bit().constData(),
                     failure.error().text().toLocal8Bit().constData(),
                     failure.error().nativeErrorCode().toLocal8Bit().constData());
        if (failure.isBusy())
            throw RpcError(RpcCode::Busy, QStringLiteral("O banco de dados está ocupado com outra geração. "
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
}

} // namespace

BillingService::BillingService(const ThreadDatabase &database)
    : m_database(database)
{
}

void BillingService::registerMethods(JsonRpcFront &front) const
{
    front.addMethod("GetFaturamento", [this](const RpcParams &p) { return getFaturamento(p); });
    front.addMethod("GeraNF", [this](const RpcParams &p) { return geraNF(p); });
    front.addMethod("GeraInvoice", [this](const RpcParams &p) { return geraInvoice(p); });
}

JsonRpcFront::Result BillingService::getFaturamento(const RpcParams &params) const
{
    const PreviewFilter filter = PreviewFilter::fromParams(params);
    const PreviewQuery query(filter, m_database.url().kind());
    const TRecordStore rows = withDatabase(m_database, "GetFaturamento",
                                           [&query](QSqlDatabase &db) { return query.run(db); });
    JsonRpcFront::Result result;
    result.rows = rows.rowCount();
    DataPacket::encodeTo(rows, result.json);
    return result;
}

JsonRpcFront::Result BillingService::geraNF(const RpcParams &params) const
{
    return generate(params, false);
}

JsonRpcFront::Result BillingService::geraInvoice(const RpcParams &params) const
{
    return generate(params, true);
}

JsonRpcFront::Result BillingService::generate(const RpcParams &params, bool invoice) const
{
    const QString method = invoice ? QStringLiteral("GeraInvoice") : QStringLiteral("GeraNF");
    params.expectCount(method, 1, QStringLiteral("o pacote de dados do lote"));
    const std::string &json = params.object(0, QStringLiteral("lote"));
    const TRecordStore batch = DataPacket::decode(QByteArrayView(json.data(), qsizetype(json.size())));
    const TRecordStore rows = withDatabase(m_database, invoice ? "GeraInvoice" : "GeraNF", [&](QSqlDatabase &db) {
        GenerationRun run(db, m_database.url().kind(),
                          invoice ? GenerationRun::Kind::Invoice : GenerationRun::Kind::FiscalNote);
        return run.run(batch);
    });
    JsonRpcFront::Result result;
    result.rows = rows.rowCount();
    DataPacket::encodeTo(rows, result.json);
    return result;
}

std::pair<bool, QString> BillingService::health() const
{
    try {
        QSqlDatabase db = m_database.connection();
        QSqlQuery query(db);
        if (query.exec(QStringLiteral("SELECT 1")) && query.next())
            return {true, {}};
        const QString reason = query.lastError().text();
        m_database.discard();
        return {false, QStringLiteral("O banco de dados %1 não responde: %2")
                           .arg(m_database.url().displayName(), reason)};
    } catch (const DatabaseError &error) {
        return {false, error.message()};
    }
}
