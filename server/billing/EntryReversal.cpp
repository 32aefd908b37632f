#include "server/billing/EntryReversal.h"

#include <algorithm>
#include <limits>

#include <QDateTime>

#include "platform/data/CivilDate.h"
#include "server/billing/ItemKey.h"
#include "server/billing/RunHistory.h"
#include "server/billing/RunJournal.h"
#include "server/billing/SqlTransaction.h"
#include "server/rpc/RpcError.h"
#include "server/sql/SqlStatement.h"

namespace {

const QLatin1String NothingReversed(" Nada foi estornado.");

QString reasonOf(const RpcParams &params, int index)
{
    const QString reason = params.text(index, QStringLiteral("motivo")).trimmed();
    const QList<uint> characters = reason.toUcs4();
    if (std::any_of(characters.begin(), characters.end(),
                    [](uint c) { return QChar::category(char32_t(c)) == QChar::Other_Control; }))
        throw RpcError(RpcCode::InvalidParams,
                       QStringLiteral("O motivo do estorno tem um caractere de controle (quebra de linha, tabulação "
                                      "ou outro invisível); escreva-o em uma linha só, só com texto.%1")
                           .arg(NothingReversed));
    // Characters as a reader counts them: an emoji is one, not two UTF-16 units.
    if (reason.isEmpty() || characters.size() > EntryReversal::MaxReasonLength)
        throw RpcError(RpcCode::InvalidParams, QStringLiteral("Informe o motivo do estorno, com até %1 caracteres.%2")
                                                   .arg(EntryReversal::MaxReasonLength)
                                                   .arg(NothingReversed));
    return reason;
}

QVariant textOrNull(const QString &text)
{
    return text.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(text);
}

} // namespace

EntryReversal::Request EntryReversal::Request::ofRun(const RpcParams &params)
{
    params.expectCount(QStringLiteral("EstornaGeracao"), 2, QStringLiteral("idGeracao, motivo"));
    Request request;
    request.run = RunHistory::runIdOf(params, 0);
    request.reason = reasonOf(params, 1);
    return request;
}

EntryReversal::Request EntryReversal::Request::ofEntry(const RpcParams &params)
{
    params.expectCount(QStringLiteral("EstornaLancamento"), 4,
                       QStringLiteral("cdEmpresa, idTpLancFat, nrLancFat, motivo"));
    Request request;
    request.company = params.text(0, QStringLiteral("empresa")).trimmed();
    request.kind = params.text(1, QStringLiteral("tipo do lançamento")).trimmed().toUpper();
    if (request.company.isEmpty())
        throw RpcError(RpcCode::InvalidParams, QStringLiteral("Informe a empresa do lançamento.") + NothingReversed);
    if (request.kind != u"N" && request.kind != u"I")
        throw RpcError(RpcCode::InvalidParams,
                       QStringLiteral("O tipo do lançamento deve ser N (Nota Fiscal) ou I (Invoice).")
                           + NothingReversed);
    const std::int64_t number = RunHistory::runIdOf(params, 2, QStringLiteral("número do lançamento"));
    if (number > std::numeric_limits<int>::max())
        throw RpcError(RpcCode::InvalidParams, QStringLiteral("Número de lançamento inválido.") + NothingReversed);
    request.number = int(number);
    request.reason = reasonOf(params, 3);
    return request;
}

EntryReversal::EntryReversal(QSqlDatabase db, DatabaseUrl::Kind dialect)
    : m_db(std::move(db))
    , m_sql(dialect)
{
}

// One transaction: lock the entries, then their calculations; move the links,
// reopen the calculations, mark the entries; answer with what was reversed.
EntryReversal::Answer EntryReversal::run(const Request &request, RunJournal &journal)
{
    m_request = request;
    SqlTransaction transaction(m_db, m_sql);
    const std::int64_t reversalRun = journal.open(m_db);
    const Totals totals = lockEntries();
    lockCalculations();
    moveLinksAndReopen();
    markEntries(journal.call().user, reversalRun);

    const RunHistory::Packet packet = RunHistory(m_db, m_sql.kind()).entriesReversedBy(reversalRun);
    journal.close(m_db, {totals.items, totals.entries, totals.total}, packet.json, packet.rows);
    transaction.commit();
    return Answer{packet.json, packet.rows};
}

QString EntryReversal::target() const
{
    return m_request.run ? QStringLiteral("IDEXECFAT = ?")
                         : QStringLiteral("CDEMPRESA = ? AND IDTPLANCFAT = ? AND NRLANCFAT = ?");
}

QVariantList EntryReversal::targetValues() const
{
    return m_request.run ? QVariantList{qint64(m_request.run)}
                         : QVariantList{m_request.company, m_request.kind, m_request.number};
}

// The keys of the targeted entries still live, as a sub-select.
QString EntryReversal::liveEntryKeys() const
{
    return QStringLiteral("(CDEMPRESA, IDTPLANCFAT, NRLANCFAT) IN (SELECT CDEMPRESA, IDTPLANCFAT, NRLANCFAT "
                          "FROM LANCFATFAS WHERE DTESTORNO IS NULL AND %1)")
        .arg(target());
}

// Reads (on PostgreSQL: locks, in key order) the targeted entries; the totals of
// the live ones. Refuses when none is live.
EntryReversal::Totals EntryReversal::lockEntries() const
{
    SqlStatement entries(m_db,
                         QStringLiteral("SELECT DTESTORNO, QTITEMLANCFAT, VRTOTLANCFAT FROM LANCFATFAS WHERE %1 "
                                        "ORDER BY CDEMPRESA, IDTPLANCFAT, NRLANCFAT%2")
                             .arg(target(), m_sql.forUpdate()),
                         "estorno: lançamentos");
    entries.exec(targetValues());
    Totals totals;
    int reversed = 0;
    while (entries.next()) {
        if (!entries.value(0).isNull()) {
            ++reversed;
            continue;
        }
        ++totals.entries;
        totals.items += entries.value(1).toInt();
        totals.total += entries.value(2).toDouble();
    }
    entries.finish();
    if (totals.entries == 0)
        refuseNothingLive(reversed);
    return totals;
}

void EntryReversal::refuseNothingLive(int reversed) const
{
    if (reversed > 0)
        throw RpcError(RpcCode::EntryAlreadyReversed,
                       (m_request.run
                            ? QStringLiteral("Os lançamentos da geração %1 já foram estornados.").arg(m_request.run)
                            : QStringLiteral("O %1 já foi estornado.").arg(entryName()))
                           + NothingReversed);
    if (!m_request.run)
        throw RpcError(RpcCode::EntryNotFound, QStringLiteral("O %1 não existe.").arg(entryName()) + NothingReversed);
    SqlStatement exists(m_db, QStringLiteral("SELECT 1 FROM EXECFAT WHERE IDEXECFAT = ?"), "estorno: geração");
    exists.exec({qint64(m_request.run)});
    const bool found = exists.next();
    exists.finish();
    throw RpcError(RpcCode::EntryNotFound, (found ? QStringLiteral("A geração %1 não gerou lançamentos.")
                                                  : QStringLiteral("A geração %1 não existe."))
                                                   .arg(m_request.run)
                                               + NothingReversed);
}

// Where writers lock rows (PostgreSQL): the entries' calculations, locked in the
// order generation locks them.
void EntryReversal::lockCalculations() const
{
    if (!m_sql.locksRows())
        return;
    const QString item = QStringLiteral("a");
    SqlStatement lock(
        m_db,
        QStringLiteral("SELECT 1 FROM APURFATFAS a WHERE (a.CDEMPRESA, a.CDFILIAL, a.CDCLIENTE, "
                       "a.DTMESAPURFAS, a.IDAPURFATFAS) IN (SELECT CDEMPRESA, CDFILIAL, CDCLIENTE, "
                       "DTMESAPURFAS, IDAPURFATFAS FROM ITEMLANCFAT WHERE %1)%2%3")
            .arg(liveEntryKeys(), m_sql.lockOrder(ItemKey::lockOrder(m_sql, item)), m_sql.forUpdate(item)),
        "estorno: itens");
    lock.exec(targetValues());
    while (lock.next()) {
    }
    lock.finish();
}

// The links go to the history and leave ITEMLANCFAT, whose key is the
// calculation's: the calculation, pending again, can be in a new entry.
void EntryReversal::moveLinksAndReopen() const
{
    const QString keys = liveEntryKeys();
    SqlStatement(m_db,
                 QStringLiteral("INSERT INTO ITEMLANCFATHIST (CDEMPRESA, IDTPLANCFAT, NRLANCFAT, CDFILIAL, CDCLIENTE, "
                                "DTMESAPURFAS, IDAPURFATFAS) SELECT CDEMPRESA, IDTPLANCFAT, NRLANCFAT, CDFILIAL, "
                                "CDCLIENTE, DTMESAPURFAS, IDAPURFATFAS FROM ITEMLANCFAT WHERE %1")
                     .arg(keys),
                 "estorno: histórico dos itens")
        .exec(targetValues());
    SqlStatement(m_db,
                 QStringLiteral("UPDATE APURFATFAS SET IDSTAPFATFAS = 'P' WHERE (CDEMPRESA, CDFILIAL, CDCLIENTE, "
                                "DTMESAPURFAS, IDAPURFATFAS) IN (SELECT CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, "
                                "IDAPURFATFAS FROM ITEMLANCFAT WHERE %1)")
                     .arg(keys),
                 "estorno: itens pendentes")
        .exec(targetValues());
    SqlStatement(m_db, QStringLiteral("DELETE FROM ITEMLANCFAT WHERE %1").arg(keys), "estorno: itens")
        .exec(targetValues());
}

void EntryReversal::markEntries(const QString &user, std::int64_t reversalRun) const
{
    const QString stamp = CivilDate::sqlDateTime(QDateTime::currentDateTime(), CivilDate::SqlTime::Milliseconds);
    QVariantList values{stamp, textOrNull(user), m_request.reason, qint64(reversalRun)};
    values += targetValues();
    SqlStatement(m_db,
                 QStringLiteral("UPDATE LANCFATFAS SET DTESTORNO = ?, NMUSUESTORNO = ?, DSMOTIVOESTORNO = ?, "
                                "IDEXECESTORNO = ? WHERE DTESTORNO IS NULL AND %1")
                     .arg(target()),
                 "estorno: lançamentos")
        .exec(values);
}

QString EntryReversal::entryName() const
{
    return QStringLiteral("lançamento de %1 %2 da empresa %3")
        .arg(m_request.kind == u"I" ? QStringLiteral("Invoice") : QStringLiteral("Nota Fiscal"))
        .arg(m_request.number)
        .arg(m_request.company);
}
