#include "server/billing/GenerationRun.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <deque>
#include <map>
#include <optional>
#include <tuple>

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>

#include "billing/BillingCodes.h"
#include "platform/data/CivilDate.h"
#include "server/billing/BatchTable.h"
#include "server/billing/PreviewStream.h"
#include "server/billing/RunJournal.h"
#include "server/billing/SqlTransaction.h"
#include "server/billing/SqlText.h"
#include "server/rpc/RpcError.h"
#include "server/sql/NativeCursor.h"
#include "server/sql/SqlFailure.h"
#include "server/sql/SqlStatement.h"

namespace {

QString text(const TRecordStore &store, int row, int field)
{
    if (field < 0 || store.isNull(row, field))
        return {};
    const std::string_view value = store.text(row, field);
    return QString::fromUtf8(value.data(), qsizetype(value.size()));
}

QVariantList bindKey(const GenerationRun::ItemKey &k)
{
    return QVariantList{k.company, k.branch, k.client, CivilDate::sqlDate(k.month), k.type};
}

// How a refusal names an item.
QString describe(const GenerationRun::ItemKey &k, const QString &name)
{
    QString service = BillingCodes::serviceTypeText(k.type);
    service = service.isEmpty() ? QStringLiteral("tipo de serviço \"%1\"").arg(k.type)
                                : QStringLiteral("%1 (tipo %2)").arg(service, k.type);
    const QString client = name.isEmpty() ? k.client : QStringLiteral("%1 – %2").arg(k.client, name);
    return QStringLiteral("cliente %1, mês %2, %3, empresa %4, filial %5")
        .arg(client, k.month.toString(QStringLiteral("MM/yyyy")), service, k.company, k.branch);
}

// An item's entry, if it has one: ITEMLANCFAT l joined to the item (APURFATFAS
// under the name `item`).
QString entryJoin(const QString &item = QStringLiteral("a"))
{
    return QStringLiteral("l.CDEMPRESA = %1.CDEMPRESA AND l.CDFILIAL = %1.CDFILIAL AND l.CDCLIENTE = %1.CDCLIENTE "
                          "AND l.DTMESAPURFAS = %1.DTMESAPURFAS AND l.IDAPURFATFAS = %1.IDAPURFATFAS")
        .arg(item);
}

// The client's main address in Brazil, as ENDECLIE d (the item under the name `item`).
QString mainAddressInBrazil(const QString &item = QStringLiteral("a"))
{
    return QStringLiteral("d.CDCLIENTE = %1.CDCLIENTE AND d.CDPAIS = '0055' AND d.IDTPENDECLIE = 'P'").arg(item);
}

// Reads pos, client name, group and value of the batch's items; %1: more columns,
// %2: the batch joined to APURFATFAS a, %3: the lock order.
QString readSql()
{
    return QStringLiteral("SELECT k.pos, c.NMFANTCLIE, a.CDGRUPONFAPUR, a.VRTOTAFATFAS%1 FROM %2 "
                          "LEFT JOIN CLIENTE c ON c.CDCLIENTE = a.CDCLIENTE%3");
}

} // namespace

struct GenerationRun::ItemState
{
    ItemKey key;
    QString clientName;
    QString group;
    bool groupNull = true;
    double value = 0;
};

// What the steps of one run share.
struct GenerationRun::RunState
{
    const std::vector<ItemKey> &keys;
    // The batch travels as one bound JSON array of [position, company, branch,
    // client, month, type], read as a table by every statement of the run: a few
    // statements per batch, however many items it has.
    const BatchTable table;
    SqlStatement itemRead;            // explain's, prepared before the claim
    std::vector<ItemState> items;     // by position in `keys`
    std::deque<SqlStatement> lasting; // see prepareLasting
    std::int64_t runId;               // the run's row, named by its entries; 0: not recorded
    // When claimsRowsRead(): the places (SqlDialect::rowIdentity) of the rows the
    // last read found, a bound JSON array, so that the claim updates exactly those
    // rows without looking the keys up again.
    std::string rowids;
    // The entries' time (DTLANCFAT), also their DPS's emission.
    QDateTime stamp = QDateTime::currentDateTime();

    // A statement kept until the run ends: on PostgreSQL the driver releases a
    // prepared statement with a round trip of its own, which then comes after the
    // commit instead of inside the transaction's locks.
    SqlStatement &prepareLasting(const QSqlDatabase &db, const QString &sql, const char *context)
    {
        return lasting.emplace_back(db, sql, context);
    }
    // Releases every result, so the transaction can end.
    void finishAll()
    {
        itemRead.finish();
        for (SqlStatement &statement : lasting)
            statement.finish();
    }
};

std::vector<GenerationRun::ItemKey> GenerationRun::keysOf(const TRecordStore &batch)
{
    auto field = [&batch](const char *name, bool required) {
        const int index = batch.indexOf(QString::fromLatin1(name));
        if (index < 0 && required)
            throw RpcError(RpcCode::InvalidParams,
                           QStringLiteral("Lote de itens inválido: falta o campo %1.").arg(QLatin1String(name)));
        return index;
    };
    const int company = field("CDEMPRESA", true);
    const int branch = field("CDFILIAL", true);
    const int client = field("CDCLIENTE", true);
    const int type = field("IDAPURFATFAS", true);
    const int month = field("DTMESAPURFAS", false);
    const int monthText = field("MESAPURADO", false);
    const int name = field("NMFANTCLIE", false);
    if (month < 0 && monthText < 0)
        throw RpcError(RpcCode::InvalidParams,
                       QStringLiteral("Lote de itens inválido: falta o campo DTMESAPURFAS (ou MESAPURADO)."));
    for (int f : {company, branch, client, type})
        if (!batch.defs().at(f).isText())
            throw RpcError(
                RpcCode::InvalidParams,
                QStringLiteral("Lote de itens inválido: o campo %1 deve ser texto.").arg(batch.defs().at(f).name));
    if (month >= 0 && batch.defs().at(month).type != TFieldType::DateTime)
        throw RpcError(RpcCode::InvalidParams,
                       QStringLiteral("Lote de itens inválido: o campo DTMESAPURFAS deve ser data."));

    std::vector<ItemKey> keys;
    keys.reserve(size_t(batch.rowCount()));
    for (int row = 0; row < batch.rowCount(); ++row) {
        ItemKey key;
        key.company = text(batch, row, company);
        key.branch = text(batch, row, branch);
        key.client = text(batch, row, client);
        key.type = text(batch, row, type);
        key.clientName = text(batch, row, name);
        for (const auto &[index, value] : {std::pair{company, key.company}, std::pair{branch, key.branch},
                                           std::pair{client, key.client}, std::pair{type, key.type}})
            if (value.contains(QChar(0)))
                throw RpcError(RpcCode::InvalidParams,
                               QStringLiteral("Lote de itens inválido: o campo %1 do item %2 contém o caractere NUL "
                                              "(\\u0000), que nenhum código tem.")
                                   .arg(batch.defs().at(index).name)
                                   .arg(row + 1));
        if (month >= 0 && !batch.isNull(row, month)) {
            const std::int64_t ms = batch.dateTimeMs(row, month);
            if (CivilDate::inRange(ms)) {
                const QDate date = CivilDate::dateOf(ms);
                key.month = QDate(date.year(), date.month(), 1);
            }
        } else if (monthText >= 0) {
            // "MM/yyyy", as the preview shows the month.
            const QString shown = text(batch, row, monthText);
            const QDate date = QDate::fromString(QStringLiteral("01/") + shown, QStringLiteral("dd/MM/yyyy"));
            if (date.isValid())
                key.month = date;
        }
        if (!key.month.isValid())
            throw RpcError(RpcCode::InvalidParams,
                           QStringLiteral("Lote de itens inválido: o item %1 (cliente %2) não tem o mês de apuração.")
                               .arg(row + 1)
                               .arg(key.client));
        keys.push_back(std::move(key));
    }
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    return keys;
}

GenerationRun::GenerationRun(QSqlDatabase db, DatabaseUrl::Kind dialect, Kind kind,
                             DpsData::Environment nfseEnvironment)
    : m_db(std::move(db))
    , m_sql(dialect)
    , m_kind(kind)
    , m_nfseEnvironment(nfseEnvironment)
{
}

// Runs the batch in one transaction: check the keys, begin, claim the items, number
// their entries, write the entries and their links, read the answer, commit.
GenerationRun::Answer GenerationRun::run(const TRecordStore &batch, RunJournal *journal)
{
    const std::vector<ItemKey> keys = keysOf(batch);
    if (keys.empty())
        throw RpcError(RpcCode::InvalidParams,
                       QStringLiteral("O lote está vazio: informe ao menos um item. %1.").arg(nothingGenerated()));

    SqlTransaction transaction(m_db, m_sql);
    RunState state{keys, BatchTable(keys, m_sql), prepareItemRead(), {}, {}, 0, {}};
    if (journal)
        state.runId = journal->open(m_db);

    // When the first attempt takes the whole batch no item can be refused and the
    // check is not needed. Otherwise it is undone and the run goes the long way:
    // read and lock, the check names the first refused item with the exact
    // reason, then the claim again.
    execUnprepared(QStringLiteral("SAVEPOINT claim"));
    if (!claimWholeBatch(state)) {
        execUnprepared(QStringLiteral("ROLLBACK TO SAVEPOINT claim"));
        claimTheLongWay(state);
    }
    execUnprepared(QStringLiteral("RELEASE SAVEPOINT claim"));

    const Groups groups = groupItems(state.items);
    // The notes of companies emitting NFS-e: their registration is checked before
    // anything of theirs is written, their DPS written after their entries.
    std::optional<NfseOutbox> outbox;
    if (!isInvoice()) {
        outbox.emplace(m_db, m_sql, m_nfseEnvironment);
        if (!outbox->read(state.table, state.keys))
            outbox.reset();
    }
    if (outbox)
        outbox->check(noteEntries(state, groups, {}));
    const std::map<QString, int> firstNumbers = numberEntries(state, groups);
    const double total = writeEntriesAndLinks(state, groups, firstNumbers);
    if (outbox)
        outbox->write(noteEntries(state, groups, firstNumbers), state.stamp);

    state.finishAll();
    Answer answer = readAnswer(state.table);
    answer.entries = int(groups.size());
    answer.total = total;
    if (journal)
        journal->close(m_db, {int(state.items.size()), answer.entries, total}, answer.packet, answer.rows);
    transaction.commit();
    return answer;
}

QString GenerationRun::kindCode() const
{
    return isInvoice() ? QStringLiteral("I") : QStringLiteral("N");
}

QString GenerationRun::nothingGenerated() const
{
    return isInvoice() ? QStringLiteral("Nenhuma Invoice foi gerada")
                       : QStringLiteral("Nenhuma Nota Fiscal foi gerada");
}

void GenerationRun::refuse(int code, const ItemKey &key, const QString &name, const QString &why) const
{
    throw RpcError(code, QStringLiteral("%1. O item do %2 %3").arg(nothingGenerated(), describe(key, name), why));
}

void GenerationRun::refuseBilledMeanwhile() const
{
    throw RpcError(RpcCode::ItemAlreadyBilled,
                   QStringLiteral("%1. Um item do lote acabou de ser faturado por outra geração; atualize a "
                                  "prévia.")
                       .arg(nothingGenerated()));
}

void GenerationRun::execUnprepared(const QString &sql) const // not preparable on PostgreSQL
{
    QSqlQuery query(m_db);
    if (!query.exec(sql))
        throw SqlFailure(QStringLiteral("reserva dos itens"), query.lastError());
}

// The statement explain reads one item with, prepared once before the claim.
SqlStatement GenerationRun::prepareItemRead() const
{
    const QString itemKey = QStringLiteral("a.CDEMPRESA = ? AND a.CDFILIAL = ? AND a.CDCLIENTE = ? "
                                           "AND a.DTMESAPURFAS = %1 AND a.IDAPURFATFAS = ?")
                                .arg(m_sql.typed("DATE"));
    return SqlStatement(m_db,
                        QStringLiteral("SELECT a.IDSTAPFATFAS, l.IDTPLANCFAT, l.NRLANCFAT, c.NMFANTCLIE, "
                                       "(SELECT COUNT(1) FROM ENDECLIE d WHERE %1), "
                                       "a.CDGRUPONFAPUR, a.VRTOTAFATFAS "
                                       "FROM APURFATFAS a "
                                       "LEFT JOIN CLIENTE c ON c.CDCLIENTE = a.CDCLIENTE "
                                       "LEFT JOIN ITEMLANCFAT l ON %2 WHERE %3")
                            .arg(mainAddressInBrazil(), entryJoin(), itemKey),
                        "GeraNF/GeraInvoice: leitura do item");
}

// The read's row locks, in key order (nothing on SQLite, which holds the database).
QString GenerationRun::lockOrder() const
{
    const QString item = QStringLiteral("a");
    return m_sql.lockOrder(ItemKey::lockOrder(m_sql, item)) + m_sql.forUpdate(item);
}

// Fills `items` from a statement whose rows are pos, client name, group, value;
// returns how many rows it read.
int GenerationRun::readItems(RunState &state, const QString &sql, const char *context) const
{
    state.items.assign(state.keys.size(), ItemState());
    for (size_t i = 0; i < state.keys.size(); ++i)
        state.items[i].key = state.keys[i];
    SqlStatement read(m_db, sql, context);
    read.exec({state.table.json()});
    int count = 0;
    state.rowids.assign(1, '[');
    while (read.next()) {
        ItemState &item = state.items.at(size_t(read.value(0).toInt()));
        item.clientName = read.value(1).toString();
        item.groupNull = read.value(2).isNull();
        item.group = read.value(2).toString();
        item.value = read.value(3).toDouble();
        if (claimsRowsRead()) {
            if (count > 0)
                state.rowids.push_back(',');
            state.rowids += std::to_string(read.value(4).toLongLong());
        }
        ++count;
    }
    state.rowids.push_back(']');
    read.finish();
    return count;
}

// What the run needs of each item (client name, note group, value). On
// PostgreSQL the statement that reads it locks the batch's rows in one fixed
// order, so two runs over overlapping batches wait for each other instead of
// deadlocking, and the check and the claim see the rows as they now stand.
void GenerationRun::readAndLock(RunState &state) const
{
    readItems(state,
              readSql().arg(claimsRowsRead() ? QStringLiteral(", a.") + m_sql.rowIdentity() : QString(),
                            state.table.joinItems(QStringLiteral("a")), lockOrder()),
              "GeraNF/GeraInvoice: leitura dos itens");
}

// Whether the client's main address is in Brazil matches the kind of document.
QString GenerationRun::rightNationality(const QString &item) const
{
    return QStringLiteral("(CASE WHEN EXISTS (SELECT 1 FROM ENDECLIE d WHERE %1) THEN 1 ELSE 0 END) = %2")
        .arg(mainAddressInBrazil(item))
        .arg(isInvoice() ? 0 : 1);
}

// What the claim requires of an item besides being in the batch: still pending
// and unbilled at this moment and, in the first attempt, of a client of the
// right nationality.
QString GenerationRun::claimable(bool withNationality) const
{
    const QString item = QStringLiteral("APURFATFAS");
    return QStringLiteral("COALESCE(APURFATFAS.IDSTAPFATFAS, '') IN ('P', '') "
                          "AND NOT EXISTS (SELECT 1 FROM ITEMLANCFAT l WHERE %1)%2")
        .arg(entryJoin(item), withNationality ? QStringLiteral(" AND ") + rightNationality(item) : QString());
}

// The first attempt: read, lock and claim the whole batch under every rule of
// the check. Where a WITH may hold an UPDATE (PostgreSQL) one statement locks the
// rows in key order, as the read alone does, then claims exactly the rows it
// locked; elsewhere (SQLite) the read and the claim are two statements.
bool GenerationRun::claimWholeBatch(RunState &state) const
{
    if (!m_sql.updatesInWith()) {
        readAndLock(state);
        return claimAll(state, true);
    }
    const QString place = m_sql.rowIdentity();
    const QString locked = readSql().arg(QStringLiteral(", a.%1 AS rowid").arg(place),
                                         state.table.joinItems(QStringLiteral("a")), lockOrder());
    const QString sql = QStringLiteral("WITH locked AS (%1), claimed AS (UPDATE APURFATFAS SET IDSTAPFATFAS = 'R' "
                                       "FROM locked WHERE APURFATFAS.%2 = locked.rowid AND %3 "
                                       "RETURNING locked.pos, locked.NMFANTCLIE, locked.CDGRUPONFAPUR, "
                                       "locked.VRTOTAFATFAS) SELECT * FROM claimed")
                            .arg(locked, place, claimable(true));
    return readItems(state, sql, "GeraNF/GeraInvoice: reserva dos itens") == int(state.keys.size());
}

// The claim: one conditional update over the batch. Where writers take no row
// locks (SQLite) the transaction holds the whole database since BEGIN, so nothing
// changed since the read: the claim takes the rows the read found, by their
// place, without looking each key up again. Where they do (PostgreSQL) it joins
// the batch on the whole key.
bool GenerationRun::claimAll(const RunState &state, bool withNationality) const
{
    const QString item = QStringLiteral("APURFATFAS");
    SqlStatement claim(m_db,
                       claimsRowsRead()
                           ? QStringLiteral("UPDATE APURFATFAS SET IDSTAPFATFAS = 'R' WHERE %1 IN (%2) AND %3")
                                 .arg(m_sql.rowIdentity(), m_sql.jsonValues(), claimable(withNationality))
                           : QStringLiteral("UPDATE APURFATFAS SET IDSTAPFATFAS = 'R' FROM %1 WHERE %2 AND %3")
                                 .arg(state.table.source(), BatchTable::matches(item), claimable(withNationality)),
                       "GeraNF/GeraInvoice: reserva dos itens");
    claim.exec({claimsRowsRead() ? QString::fromStdString(state.rowids) : state.table.json()});
    const bool all = claim.rowsAffected() == int(state.keys.size());
    claim.finish();
    return all;
}

// The long way, after the first attempt was undone: read and lock, name the first
// item that cannot be billed, claim again; an item the claim still misses was
// billed by another run meanwhile.
void GenerationRun::claimTheLongWay(RunState &state) const
{
    readAndLock(state);
    refuseFirst(state, false);
    if (!claimAll(state, false)) {
        refuseFirst(state, true);
        refuseBilledMeanwhile();
    }
}

// The first item, in key order, that cannot be billed, or none: explain then
// names it with the exact reason. Before the claim, by explain's own rules;
// after it, any item the claim did not take (not realized now, or with an entry).
QString GenerationRun::firstRefusedSql(const BatchTable &table, bool afterClaim) const
{
    const QString refused = afterClaim ? QStringLiteral("COALESCE(a.IDSTAPFATFAS, '') <> 'R'")
                                       : QStringLiteral("COALESCE(a.IDSTAPFATFAS, '') NOT IN ('P', '') OR NOT ")
                                             + rightNationality();
    return QStringLiteral("SELECT k.pos FROM %1 LEFT JOIN APURFATFAS a ON %2 LEFT JOIN ITEMLANCFAT l ON %3 "
                          "WHERE a.CDEMPRESA IS NULL OR l.IDTPLANCFAT IS NOT NULL OR %4 ORDER BY k.pos LIMIT 1")
        .arg(table.source(), BatchTable::matches(QStringLiteral("a")), entryJoin(), refused);
}

void GenerationRun::refuseFirst(RunState &state, bool afterClaim) const
{
    SqlStatement firstRefused(m_db, firstRefusedSql(state.table, afterClaim),
                              "GeraNF/GeraInvoice: verificação dos itens");
    firstRefused.exec({state.table.json()});
    const int position = firstRefused.next() ? firstRefused.value(0).toInt() : -1;
    firstRefused.finish();
    if (position >= 0)
        explain(state, state.keys.at(size_t(position)), afterClaim);
}

// Says why one item cannot be billed, from what the database holds now.
void GenerationRun::explain(RunState &state, const ItemKey &key, bool afterClaim) const
{
    SqlStatement &info = state.itemRead;
    info.exec(bindKey(key));
    if (!info.next())
        refuse(RpcCode::ItemNotFound, key, key.clientName, QStringLiteral("não existe."));
    const QString status = info.value(0).toString();
    const QString entryKind = info.value(1).toString();
    const QString entryNumber = info.value(2).toString();
    const QString name = info.value(3).toString();
    const int domesticAddresses = info.value(4).toInt();
    info.finish();
    if (!entryKind.isEmpty())
        refuse(RpcCode::ItemAlreadyBilled, key, name,
               entryKind == QLatin1String("I")
                   ? QStringLiteral("já possui Invoice (lançamento %1).").arg(entryNumber)
                   : QStringLiteral("já possui Nota Fiscal (lançamento %1).").arg(entryNumber));
    if (status == QLatin1String("C"))
        refuse(RpcCode::ItemCancelled, key, name,
               QStringLiteral("não pode gerar Nota Fiscal / Invoice porque a Apuração foi cancelada."));
    if (status == QLatin1String("R"))
        refuse(RpcCode::ItemAlreadyBilled, key, name, QStringLiteral("já foi realizado (faturado)."));
    if (status != QLatin1String("P") && !status.isEmpty()) {
        const QString shown = BillingCodes::situationText(status);
        refuse(RpcCode::ItemNotPending, key, name,
               QStringLiteral("não está pendente (situação \"%1\"); só itens pendentes podem ser faturados.")
                   .arg(shown.isEmpty() ? status : shown));
    }
    if (isInvoice() && domesticAddresses > 0)
        refuse(RpcCode::ItemWrongNationality, key, name,
               QStringLiteral("é de cliente nacional (endereço principal no Brasil): gere Nota Fiscal, "
                              "não Invoice."));
    if (!isInvoice() && domesticAddresses == 0)
        refuse(RpcCode::ItemWrongNationality, key, name,
               QStringLiteral("é de cliente estrangeiro (sem endereço principal no Brasil): gere Invoice, "
                              "não Nota Fiscal."));
    if (afterClaim)
        refuse(RpcCode::ItemAlreadyBilled, key, name,
               QStringLiteral("acabou de ser faturado por outra geração; atualize a prévia."));
}

// One entry per company, branch, client and fiscal-note group.
GenerationRun::Groups GenerationRun::groupItems(const std::vector<ItemState> &items)
{
    Groups groups;
    for (const ItemState &item : items)
        groups[{item.key.company, item.key.branch, item.key.client, item.groupNull, item.group}].push_back(&item);
    return groups;
}

// The first number of each company's new entries: its NUMLANCFAT counter (the
// row made if missing) moves past them inside the run's transaction.
std::map<QString, int> GenerationRun::numberEntries(RunState &state, const Groups &groups) const
{
    std::map<QString, int> entriesPerCompany;
    for (const auto &[key, members] : groups)
        ++entriesPerCompany[std::get<0>(key)];

    const QString kind = kindCode();
    SqlStatement &counterRow = state.prepareLasting(
        m_db,
        QStringLiteral("INSERT INTO NUMLANCFAT (CDEMPRESA, IDTPLANCFAT, NRULTLANCFAT) "
                       "VALUES (?, ?, 0) ON CONFLICT (CDEMPRESA, IDTPLANCFAT) DO NOTHING"),
        "GeraNF/GeraInvoice: contador");
    SqlStatement &counterStep = state.prepareLasting(
        m_db,
        QStringLiteral("UPDATE NUMLANCFAT SET NRULTLANCFAT = NRULTLANCFAT + ? "
                       "WHERE CDEMPRESA = ? AND IDTPLANCFAT = ?"),
        "GeraNF/GeraInvoice: numeração");
    SqlStatement &counterRead = state.prepareLasting(
        m_db, QStringLiteral("SELECT NRULTLANCFAT FROM NUMLANCFAT WHERE CDEMPRESA = ? AND IDTPLANCFAT = ?"),
        "GeraNF/GeraInvoice: numeração");
    std::map<QString, int> firstNumbers;
    for (const auto &[company, count] : entriesPerCompany) {
        counterRow.exec({company, kind});
        counterStep.exec({count, company, kind});
        counterRead.exec({company, kind});
        if (!counterRead.next())
            throw SqlFailure(QStringLiteral("numeração da empresa %1").arg(company), QSqlError());
        const int last = counterRead.value(0).toInt();
        counterRead.finish();
        firstNumbers[company] = last - count + 1;
    }
    return firstNumbers;
}

// The entry's total in cents, rounded as the column keeps it. A total the column
// cannot hold (NUMERIC(15,2)), or a stored value that is no number, refuses the
// run and names the item: the item whose own value is at fault, or else the
// entry's first item.
double GenerationRun::entryTotal(const std::vector<const ItemState *> &members) const
{
    constexpr double LargestCents = 999'999'999'999'999.0; // 9.999.999.999.999,99
    const auto fits = [](double value) {
        return std::isfinite(value) && std::fabs(std::round(value * 100)) <= LargestCents;
    };
    double total = 0;
    for (const ItemState *item : members) {
        if (!fits(item->value))
            refuseValue(*item, item->value, QStringLiteral("tem valor total"));
        total += item->value;
    }
    if (!fits(total))
        refuseValue(*members.front(), total,
                    QStringLiteral("entraria num lançamento de %1 itens cujo total soma").arg(members.size()));
    return std::round(total * 100) / 100.0;
}

void GenerationRun::refuseValue(const ItemState &item, double value, const QString &what) const
{
    const QString shown = std::isnan(value)   ? QStringLiteral("inválido (NaN)")
                          : std::isinf(value) ? QStringLiteral("infinito")
                                              : QString::number(value, 'f', 2);
    refuse(RpcCode::UnsendableValue, item.key, item.clientName,
           QStringLiteral("%1 %2, que não cabe no lançamento (no máximo 9.999.999.999.999,99). O valor precisa "
                          "ser corrigido no banco de dados.")
               .arg(what, shown));
}

// The note entries the run makes, numbered from `nextNumber` (none: numbered 0),
// in the order writeEntriesAndLinks writes them.
std::vector<NfseOutbox::Entry> GenerationRun::noteEntries(const RunState &state, const Groups &groups,
                                                          std::map<QString, int> nextNumber) const
{
    std::vector<NfseOutbox::Entry> entries;
    entries.reserve(groups.size());
    for (const auto &[key, members] : groups) {
        NfseOutbox::Entry &entry = entries.emplace_back();
        entry.company = std::get<0>(key);
        entry.number = nextNumber[entry.company]++;
        entry.total = entryTotal(members);
        for (const ItemState *item : members)
            entry.positions.push_back(int(item - state.items.data()));
    }
    return entries;
}

// The entries and their items, each written by one statement from a bound list.
// Returns the entries' total.
double GenerationRun::writeEntriesAndLinks(RunState &state, const Groups &groups,
                                           std::map<QString, int> nextNumber) const
{
    double runTotal = 0;
    std::string entryRows = "[";
    std::string linkRows = "[";
    for (const auto &[key, members] : groups) {
        const QString &company = std::get<0>(key);
        const int number = nextNumber[company]++;
        const double total = entryTotal(members);
        BatchTable::appendEntry(entryRows, company, number, std::get<1>(key), std::get<2>(key),
                                std::get<3>(key) ? nullptr : &std::get<4>(key), int(members.size()), total);
        runTotal += total;
        for (const ItemState *item : members)
            BatchTable::appendLink(linkRows, item->key, number);
    }
    entryRows += ']';
    linkRows += ']';
    insertEntriesAndLinks(state, entryRows, linkRows);
    return runTotal;
}

void GenerationRun::insertEntriesAndLinks(RunState &state, const std::string &entryRows,
                                          const std::string &linkRows) const
{
    const QString kind = kindCode();
    const QString stamp = CivilDate::sqlDateTime(state.stamp, CivilDate::SqlTime::Milliseconds);
    SqlStatement &entries = state.prepareLasting(m_db, state.table.insertEntries(), "GeraNF/GeraInvoice: lançamentos");
    entries.exec({kind, stamp, state.runId ? QVariant(qint64(state.runId)) : QVariant(QMetaType(QMetaType::LongLong)),
                  QString::fromStdString(entryRows)});
    SqlStatement &links = state.prepareLasting(m_db, state.table.insertLinks(),
                                               "GeraNF/GeraInvoice: itens dos lançamentos");
    try {
        links.exec({kind, QString::fromStdString(linkRows)});
    } catch (const SqlFailure &failure) {
        if (!failure.isUniqueViolation())
            throw;
        refuseBilledMeanwhile();
    }
}

// The answer: the batch's items as they now stand (each in a new entry), read
// inside the transaction so that they are exactly what this run wrote, in the
// preview's order, written straight into the packet's text.
GenerationRun::Answer GenerationRun::readAnswer(const BatchTable &table) const
{
    // The batch's keys are unique, so a join on the whole key picks the same rows
    // as an IN, and both databases then look each item up by its full key.
    const QString batchRows =
        QStringLiteral("JOIN %1 ON %2\n").arg(table.source(), BatchTable::matches(QStringLiteral("a")));
    const QString answerSql = SqlText::get("item-select", m_sql.kind()) + batchRows
                              + SqlText::get("item-order", m_sql.kind());
    Answer answer;
    PreviewStream rows(NativeCursor::open(m_db, answerSql, {table.json()}, "GeraNF/GeraInvoice: resposta"));
    while (rows.fill(answer.packet)) {
    }
    answer.rows = rows.rows();
    return answer;
}
