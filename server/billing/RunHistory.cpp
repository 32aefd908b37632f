#include "server/billing/RunHistory.h"

#include <QDateTime>

#include "billing/HistoryLayout.h"
#include "platform/data/CivilDate.h"
#include "platform/data/DataPacket.h"
#include "server/billing/PreviewFilter.h"
#include "server/rpc/RpcError.h"
#include "server/sql/SqlStatement.h"

namespace {

QDate optionalDate(const RpcParams &params, int index, const QString &name)
{
    const QString text = params.text(index, name.toLower());
    return text.trimmed().isEmpty() ? QDate() : PreviewFilter::parseDate(text, name);
}

// The entries of the run, whether it made them or reversed them, with their NFS-e
// if they have one.
const QLatin1String EntryColumns(
    "SELECT e.CDEMPRESA, e.IDTPLANCFAT, e.NRLANCFAT, e.CDFILIAL, e.CDCLIENTE, e.DTLANCFAT, e.QTITEMLANCFAT, "
    "e.VRTOTLANCFAT, CASE WHEN e.DTESTORNO IS NULL THEN 'A' ELSE 'E' END, e.NMUSUESTORNO, e.DTESTORNO, "
    "e.DSMOTIVOESTORNO, e.IDEXECFAT, s.IDSITDPS, SUBSTR(s.DSRETORNO, 1, 1000), s.NRCHAVEACESSO FROM LANCFATFAS e "
    "LEFT JOIN NFSEDPS s ON s.CDEMPRESA = e.CDEMPRESA AND s.IDTPLANCFAT = e.IDTPLANCFAT "
    "AND s.NRLANCFAT = e.NRLANCFAT ");
const QLatin1String EntryOrder(" ORDER BY e.CDEMPRESA, e.IDTPLANCFAT, e.NRLANCFAT");

} // namespace

RunHistory::RunFilter RunHistory::RunFilter::fromParams(const RpcParams &params)
{
    params.expectCount(QStringLiteral("GetGeracoes"), 4, QStringLiteral("dtInicio, dtFim, usuario, cdEmpresa"));
    RunFilter filter;
    filter.from = optionalDate(params, 0, QStringLiteral("Data inicial"));
    filter.to = optionalDate(params, 1, QStringLiteral("Data final"));
    if (filter.from.isValid() && filter.to.isValid() && filter.from > filter.to)
        throw RpcError(RpcCode::InvalidParams, QStringLiteral("Data inicial deve ser menor ou igual à data final."));
    filter.user = params.text(2, QStringLiteral("usuário")).trimmed();
    filter.company = params.text(3, QStringLiteral("empresa")).trimmed();
    return filter;
}

RunHistory::RunHistory(QSqlDatabase db, DatabaseUrl::Kind dialect)
    : m_db(std::move(db))
    , m_dialect(dialect)
{
}

namespace {

// The entries run r made (IDEXECFAT) or reversed (IDEXECESTORNO): a run does one
// or the other, and each lookup by itself uses its index.
QString entriesOfRunBy(const char *column)
{
    return QStringLiteral("FROM LANCFATFAS l WHERE l.%1 = r.IDEXECFAT").arg(QLatin1String(column));
}

QString oneCompanyBy(const char *column)
{
    return QStringLiteral("(SELECT CASE WHEN MIN(l.CDEMPRESA) = MAX(l.CDEMPRESA) THEN MIN(l.CDEMPRESA) END %1)")
        .arg(entriesOfRunBy(column));
}

} // namespace

// Newest first; a call answered again from its key's stored answer made no run and
// is left out. The period uses the index on DTINICIO; the company is the one of
// the run's entries (null when they are of several companies, or none).
RunHistory::Packet RunHistory::runs(const RunFilter &filter) const
{
    QString sql = QStringLiteral(
                      "SELECT r.IDEXECFAT, r.DTINICIO, r.NMUSUARIO, r.NMMETODO, COALESCE(%1, %2), "
                      "r.QTLANCAMENTOS, r.QTITENS, r.VRTOTAL, r.CDERRO FROM EXECFAT r WHERE r.IDEXECORIGEM IS NULL")
                      .arg(oneCompanyBy("IDEXECFAT"), oneCompanyBy("IDEXECESTORNO"));
    QVariantList values;
    if (filter.from.isValid()) {
        sql += QStringLiteral(" AND r.DTINICIO >= ?");
        values << CivilDate::sqlDate(filter.from);
    }
    if (filter.to.isValid()) {
        sql += QStringLiteral(" AND r.DTINICIO < ?");
        values << CivilDate::sqlDate(filter.to.addDays(1));
    }
    if (!filter.user.isEmpty()) {
        sql += QStringLiteral(" AND r.NMUSUARIO = ?");
        values << filter.user;
    }
    if (!filter.company.isEmpty()) {
        sql += QStringLiteral(" AND (EXISTS (SELECT 1 %1 AND l.CDEMPRESA = ?) OR EXISTS (SELECT 1 %2 AND "
                              "l.CDEMPRESA = ?))")
                   .arg(entriesOfRunBy("IDEXECFAT"), entriesOfRunBy("IDEXECESTORNO"));
        values << filter.company << filter.company;
    }
    sql += QStringLiteral(" ORDER BY r.DTINICIO DESC, r.IDEXECFAT DESC");
    return read(HistoryLayout::runs(), sql, values, "GetGeracoes: leitura das gerações");
}

RunHistory::Packet RunHistory::entriesOfRun(std::int64_t run) const
{
    SqlStatement exists(m_db, QStringLiteral("SELECT 1 FROM EXECFAT WHERE IDEXECFAT = ?"),
                        "GetLancamentosGeracao: geração");
    exists.exec({qint64(run)});
    const bool found = exists.next();
    exists.finish();
    if (!found)
        throw RpcError(RpcCode::EntryNotFound, QStringLiteral("A geração %1 não existe.").arg(run));
    return read(HistoryLayout::entries(),
                EntryColumns + QStringLiteral("WHERE e.IDEXECFAT = ? OR e.IDEXECESTORNO = ?") + EntryOrder,
                {qint64(run), qint64(run)}, "GetLancamentosGeracao: leitura dos lançamentos");
}

RunHistory::Packet RunHistory::entriesReversedBy(std::int64_t run) const
{
    return read(HistoryLayout::entries(), EntryColumns + QStringLiteral("WHERE e.IDEXECESTORNO = ?") + EntryOrder,
                {qint64(run)}, "estorno: resposta");
}

std::int64_t RunHistory::runIdOf(const RpcParams &params, int index, const QString &name)
{
    if (index >= params.size())
        throw RpcError(RpcCode::InvalidParams, QStringLiteral("Falta o parâmetro %1 (%2).").arg(index + 1).arg(name));
    const RpcParams::Value &value = params.at(index);
    const QString text = value.kind == RpcParams::Kind::String ? value.text
                                                               : QString::fromStdString(RpcParams::jsonText(value));
    bool ok = false;
    const qlonglong id = text.trimmed().toLongLong(&ok);
    if (!ok || id <= 0 || (value.kind != RpcParams::Kind::String && value.kind != RpcParams::Kind::Number))
        throw RpcError(
            RpcCode::InvalidParams,
            QStringLiteral("O parâmetro %1 (%2) deve ser um número inteiro maior que zero.").arg(index + 1).arg(name));
    return id;
}

RunHistory::Packet RunHistory::read(const TFieldDefs &fields, const QString &sql, const QVariantList &values,
                                    const char *context) const
{
    TRecordStore store(fields);
    SqlStatement query(m_db, sql, context);
    query.exec(values);
    while (query.next()) {
        const int row = store.appendRow();
        for (int f = 0; f < store.fieldCount(); ++f)
            putCell(store, row, f, query.value(f));
    }
    query.finish();
    Packet packet;
    packet.rows = store.rowCount();
    DataPacket::encodeTo(store, packet.json);
    return packet;
}

void RunHistory::putCell(TRecordStore &store, int row, int field, const QVariant &value)
{
    if (value.isNull())
        return; // a new row's cells are null
    switch (store.defs().at(field).type) {
    case TFieldType::String:
    case TFieldType::FixedChar: {
        const QByteArray utf8 = value.toString().toUtf8();
        store.setText(row, field, std::string_view(utf8.constData(), size_t(utf8.size())));
        break;
    }
    case TFieldType::DateTime: {
        std::int64_t ms = 0;
        if (value.metaType().id() == QMetaType::QDateTime)
            ms = CivilDate::fromQt(value.toDateTime());
        else if (!CivilDate::parseIso<CivilDate::IsoForm::Database>(QStringView(value.toString()), ms))
            return;
        store.setDateTimeMs(row, field, ms);
        break;
    }
    case TFieldType::Float:
        store.setNumber(row, field, value.toDouble());
        break;
    }
}
