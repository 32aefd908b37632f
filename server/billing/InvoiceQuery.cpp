#include "server/billing/InvoiceQuery.h"

#include <limits>

#include "billing/InvoiceLayout.h"
#include "platform/data/DataPacket.h"
#include "platform/data/TRecordStore.h"
#include "server/billing/RunHistory.h"
#include "server/rpc/RpcError.h"
#include "server/sql/SqlStatement.h"

namespace {

const QLatin1String Method("GetFaturaDocumento");

// The client's address: the billing one, else the main one, else the first.
const QLatin1String AddressOfClient(
    "(SELECT x.NRSEQENDECLIE FROM ENDECLIE x WHERE x.CDCLIENTE = l.CDCLIENTE ORDER BY CASE x.IDTPENDECLIE "
    "WHEN 'C' THEN 0 WHEN 'P' THEN 1 ELSE 2 END, x.NRSEQENDECLIE LIMIT 1)");

// The entry's calculations: its live links, or those its reversal kept.
const QLatin1String ItemsOfEntry(
    "(SELECT CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, IDAPURFATFAS, IDTPLANCFAT, NRLANCFAT FROM ITEMLANCFAT "
    "UNION ALL SELECT CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, IDAPURFATFAS, IDTPLANCFAT, NRLANCFAT "
    "FROM ITEMLANCFATHIST)");

QString documentSql()
{
    return QStringLiteral(
               "SELECT l.CDEMPRESA, l.NRLANCFAT, l.DTLANCFAT, l.VRTOTLANCFAT, "
               "CASE WHEN l.DTESTORNO IS NULL THEN 'A' ELSE 'E' END, e.NMEMPRESA, e.NRCNPJEMPRESA, e.SGESTADO, "
               "f.NMFILIAL, f.NMCIDADE, c.CDCLIENTE, c.NMFANTCLIE, c.NMRAZSOCCLIE, c.NRINSJURCLIE, "
               "d.DSLOGRENDECLIE, d.NMBAIRENDECLIE, d.NMCIDADE, d.SGESTADO, d.NRCEPENDECLIE, d.CDPAIS, "
               "a.DTMESAPURFAS, a.IDAPURFATFAS, p.NMPRODUTO, a.DSFATURCLIE, a.VRTOTAFATFAS "
               "FROM LANCFATFAS l JOIN EMPRESA e ON e.CDEMPRESA = l.CDEMPRESA "
               "JOIN FILIAL f ON f.CDEMPRESA = l.CDEMPRESA AND f.CDFILIAL = l.CDFILIAL "
               "JOIN CLIENTE c ON c.CDCLIENTE = l.CDCLIENTE "
               "LEFT JOIN ENDECLIE d ON d.CDCLIENTE = l.CDCLIENTE AND d.NRSEQENDECLIE = %1 "
               "JOIN %2 i ON i.CDEMPRESA = l.CDEMPRESA AND i.IDTPLANCFAT = l.IDTPLANCFAT AND i.NRLANCFAT = l.NRLANCFAT "
               "JOIN APURFATFAS a ON a.CDEMPRESA = i.CDEMPRESA AND a.CDFILIAL = i.CDFILIAL AND "
               "a.CDCLIENTE = i.CDCLIENTE AND a.DTMESAPURFAS = i.DTMESAPURFAS AND a.IDAPURFATFAS = i.IDAPURFATFAS "
               "LEFT JOIN PRODUTO p ON p.CDPRODUTO = a.CDPRODUTO "
               "WHERE l.CDEMPRESA = ? AND l.IDTPLANCFAT = 'I' AND l.NRLANCFAT = ? "
               "ORDER BY a.DTMESAPURFAS, a.IDAPURFATFAS, a.CDFILIAL")
        .arg(AddressOfClient, ItemsOfEntry);
}

} // namespace

InvoiceQuery::Request InvoiceQuery::Request::fromParams(const RpcParams &params)
{
    if (params.size() != 2 && params.size() != 3)
        params.expectCount(Method, 2, QStringLiteral("cdEmpresa, nrLancFat[, idTpLancFat]"));
    Request request;
    request.company = params.text(0, QStringLiteral("empresa")).trimmed();
    if (request.company.isEmpty())
        throw RpcError(RpcCode::InvalidParams, QStringLiteral("Informe a empresa da fatura."));
    request.number = RunHistory::runIdOf(params, 1, QStringLiteral("número do lançamento"));
    if (request.number > std::numeric_limits<int>::max())
        throw RpcError(RpcCode::InvalidParams, QStringLiteral("Número de lançamento inválido."));
    const QString kind = params.size() == 3 ? params.text(2, QStringLiteral("tipo do lançamento")).trimmed().toUpper()
                                            : QStringLiteral("I");
    if (kind != u"I")
        throw RpcError(RpcCode::InvalidParams,
                       QStringLiteral("O lançamento %1 da empresa %2 não é uma fatura (invoice): só uma fatura tem "
                                      "documento em PDF.")
                           .arg(request.number)
                           .arg(request.company));
    return request;
}

InvoiceQuery::InvoiceQuery(QSqlDatabase db)
    : m_db(std::move(db))
{
}

InvoiceQuery::Packet InvoiceQuery::read(const Request &request) const
{
    TRecordStore store(InvoiceLayout::lines());
    SqlStatement query(m_db, documentSql(), "GetFaturaDocumento: leitura da fatura");
    query.exec({request.company, request.number});
    while (query.next()) {
        const int row = store.appendRow();
        for (int f = 0; f < store.fieldCount(); ++f)
            RunHistory::putCell(store, row, f, query.value(f));
    }
    query.finish();
    if (store.rowCount() == 0)
        throw RpcError(
            RpcCode::EntryNotFound,
            QStringLiteral("A fatura %1 da empresa %2 não existe.").arg(request.number).arg(request.company));
    Packet packet;
    packet.rows = store.rowCount();
    DataPacket::encodeTo(store, packet.json);
    return packet;
}
