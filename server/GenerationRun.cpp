#include "GenerationRun.h"

#include <algorithm>
#include <map>
#include <numeric>
#include <tuple>

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>

#include "BillingCodes.h"
#include "ItemRowReader.h"
#include "RpcError.h"
#include "SqlFailure.h"
#include "SqlStatement.h"
#include "SqlText.h"

namespace {

constexpr std::int64_t MsPerDay = 86'400'000;

// Rolls back unless committed, on every way out of the run.
class Transaction
{
public:
    Transaction(QSqlDatabase &db, DatabaseUrl::Kind dialect)
        : m_db(db)
    {
        // SQLite: take the write lock now rather than at the first write, so that two
        // runs never both read and then fail to upgrade their locks.
        const QString begin = dialect == DatabaseUrl::Kind::Sqlite ? QStringLiteral("BEGIN IMMEDIATE")
                                                                   : QStringLiteral("BEGIN");
        QSqlQuery query(m_db);
        if (!query.exec(begin)) {
            SqlFailure failure(QStringLiteral("início da transação"), query.lastError());
            failure.markBeforeChanges();
            throw failure;
        }
    }
    ~Transaction()
    {
        if (!m_done) {
            QSqlQuery query(m_db);
            query.exec(QStringLiteral("ROLLBACK"));
        }
    }
    void commit()
    {
        QSqlQuery query(m_db);
        if (!query.exec(QStringLiteral("COMMIT")))
            throw SqlFailure(QStringLiteral("gravação da transação"), query.lastError());
        m_done = true;
    }

private:
    QSqlDatabase &m_db;
    bool m_done = false;
};

QString dateText(QDate date)
{
    return date.toString(QStringLiteral("yyyy-MM-dd"));
}

QString text(const TRecordStore &store, int row, int field)
{
    if (field < 0 || store.isNull(row, field))
        return {};
    const std::string_view value = store.text(row, field);
    return QString::fromUtf8(value.data(), qsizetype(value.size()));
}

struct ItemState
{
    GenerationRun::ItemKey key;
    QString clientName;
    QString group;
    bool groupNull = true;
    double value = 0;
};

} // namespace

bool GenerationRun::ItemKey::operator<(const ItemKey &o) const
{
    return std::tie(company, branch, client, month, type) < std::tie(o.company, o.branch, o.client, o.month, o.type);
}

bool GenerationRun::ItemKey::operator==(const ItemKey &o) const
{
    return std::tie(company, branch, client, month, type) == std::tie(o.company, o.branch, o.client, o.month, o.type);
}

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
            throw RpcError(RpcCode::InvalidParams, QStringLiteral("Lote de itens inválido: o campo %1 deve ser texto.")
                                                       .arg(batch.defs().at(f).name));
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
        if (month >= 0 && !batch.isNull(row, month)) {
            const std::int64_t ms = batch.dateTimeMs(row, month);
            const std::int64_t days = ms >= 0 ? ms / MsPerDay : -((-ms + MsPerDay - 1) / MsPerDay);
            const QDate date = QDate::fromJulianDay(days + 2440588); // 1970-01-01
            key.month = QDate(date.year(), date.month(), 1);
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

GenerationRun::GenerationRun(QSqlDatabase db, DatabaseUrl::Kind dialect, Kind kind)
    : m_db(std::move(db))
    , m_dialect(dialect)
    , m_kind(kind)
{
}

TRecordStore GenerationRun::run(const TRecordStore &batch)
{
    const std::vector<ItemKey> keys = keysOf(batch);
    const bool invoice = m_kind == Kind::Invoice;
    const QString nothing = invoice ? QStringLiteral("Nenhuma Invoice foi gerada")
                                    : QStringLiteral("Nenhuma Nota Fiscal foi gerada");
    if (keys.empty())
        throw RpcError(RpcCode::InvalidParams, QStringLiteral("O lote está vazio: informe ao menos um item. %1.")
                                                   .arg(nothing));

    const bool sqlite = m_dialect == DatabaseUrl::Kind::Sqlite;
    const QString date = sqlite ? QStringLiteral("?") : QStringLiteral("CAST(? AS DATE)");
    const QString itemKey = QStringLiteral("a.CDEMPRESA = ? AND a.CDFILIAL = ? AND a.CDCLIENTE = ? "
                                           "AND a.DTMESAPURFAS = %1 AND a.IDAPURFATFAS = ?").arg(date);
    const QString entryJoin = QStringLiteral(
        "l.CDEMPRESA = a.CDEMPRESA AND l.CDFILIAL = a.CDFILIAL AND l.CDCLIENTE = a.CDCLIENTE "
        "AND l.DTMESAPURFAS = a.DTMESAPURFAS AND l.IDAPURFATFAS = a.IDAPURFATFAS");
    auto bindKey = [](const ItemKey &k) {
        return QVariantList{k.company, k.branch, k.client, dateText(k.month), k.type};
    };

    auto describe = [&](const ItemKey &k, const QString &name) {
        QString service = BillingCodes::serviceTypeText(k.type);
        service = service.isEmpty() ? QStringLiteral("tipo de serviço \"%1\"").arg(k.type)
                                    : QStringLiteral("%1 (tipo %2)").arg(service, k.type);
        const QString client = name.isEmpty() ? k.client : QStringLiteral("%1 – %2").arg(k.client, name);
        return QStringLiteral("cliente %1, mês %2, %3, empresa %4, filial %5")
            .arg(client, k.month.toString(QStringLiteral("MM/yyyy")), service, k.company, k.branch);
    };
    auto refuse = [&](int code, const ItemKey &k, const QString &name, const QString &why) {
        throw RpcError(code, QStringLiteral("%1. O item do %2 %3").arg(nothing, describe(k, name), why));
    };

    Transaction transaction(m_db, m_dialect);

    SqlStatement info(m_db,
                      QStringLiteral("SELECT a.IDSTAPFATFAS, l.IDTPLANCFAT, l.NRLANCFAT, c.NMFANTCLIE, "
                                     "(SELECT COUNT(1) FROM ENDECLIE d WHERE d.CDCLIENTE = a.CDCLIENTE "
                                     "AND d.CDPAIS = '0055' AND d.IDTPENDECLIE = 'P'), "
                                     "a.CDGRUPONFAPUR, a.VRTOTAFATFAS "
                                     "FROM APURFATFAS a "
                                     "LEFT JOIN CLIENTE c ON c.CDCLIENTE = a.CDCLIENTE "
                                     "LEFT JOIN ITEMLANCFAT l ON %1 WHERE %2")
                          .arg(entryJoin, itemKey),
                      "GeraNF/GeraInvoice: leitura do item");
    SqlStatement claim(m_db,
                       QStringLiteral("UPDATE APURFATFAS SET IDSTAPFATFAS = 'R' "
                                      "WHERE CDEMPRESA = ? AND CDFILIAL = ? AND CDCLIENTE = ? "
                                      "AND DTMESAPURFAS = %1 AND IDAPURFATFAS = ? "
                                      "AND COALESCE(IDSTAPFATFAS, '') IN ('P', '') "
                                      "AND NOT EXISTS (SELECT 1 FROM ITEMLANCFAT l WHERE "
                                      "l.CDEMPRESA = APURFATFAS.CDEMPRESA AND l.CDFILIAL = APURFATFAS.CDFILIAL "
                                      "AND l.CDCLIENTE = APURFATFAS.CDCLIENTE "
                                      "AND l.DTMESAPURFAS = APURFATFAS.DTMESAPURFAS "
                                      "AND l.IDAPURFATFAS = APURFATFAS.IDAPURFATFAS)")
                           .arg(date),
                       "GeraNF/GeraInvoice: reserva do item");

    // Checks why an item cannot be billed, from what the database holds now.
    auto explain = [&](const ItemKey &k, bool afterClaim) {
        info.exec(bindKey(k));
        if (!info.next())
            refuse(RpcCode::ItemNotFound, k, k.clientName, QStringLiteral("não existe."));
        const QString status = info.value(0).toString();
        const QString entryKind = info.value(1).toString();
        const QString entryNumber = info.value(2).toString();
        const QString name = info.value(3).toString();
        const int domesticAddresses = info.value(4).toInt();
        info.finish();
        if (!entryKind.isEmpty())
            refuse(RpcCode::ItemAlreadyBilled, k, name,
                   entryKind == QLatin1String("I")
                       ? QStringLiteral("já possui Invoice (lançamento %1).").arg(entryNumber)
                       : QStringLiteral("já possui Nota Fiscal (lançamento %1).").arg(entryNumber));
        if (status == QLatin1String("C"))
            refuse(RpcCode::ItemCancelled, k, name,
                   QStringLiteral("não pode gerar Nota Fiscal / Invoice porque a Apuração foi cancelada."));
        if (status == QLatin1String("R"))
            refuse(RpcCode::ItemAlreadyBilled, k, name, QStringLiteral("já foi realizado (faturado)."));
        if (status != QLatin1String("P") && !status.isEmpty()) {
            const QString shown = BillingCodes::situationText(status);
            refuse(RpcCode::ItemNotPending, k, name,
                   QStringLiteral("não está pendente (situação \"%1\"); só itens pendentes podem ser faturados.")
                       .arg(shown.isEmpty() ? status : shown));
        }
        if (invoice && domesticAddresses > 0)
            refuse(RpcCode::ItemWrongNationality, k, name,
                   QStringLiteral("é de cliente nacional (endereço principal no Brasil): gere Nota Fiscal, "
                                  "não Invoice."));
        if (!invoice && domesticAddresses == 0)
            refuse(RpcCode::ItemWrongNationality, k, name,
                   QStringLiteral("é de cliente estrangeiro (sem endereço principal no Brasil): gere Invoice, "
                                  "não Nota Fiscal."));
        if (afterClaim)
            refuse(RpcCode::ItemAlreadyBilled, k, name,
                   QStringLiteral("acabou de ser faturado por outra geração; atualize a prévia."));
        return name;
    };

    std::vector<ItemState> items;
    items.reserve(keys.size());
    for (const ItemKey &k : keys) {
        // Check first (to name the exact reason), then claim: the claim is what
        // guarantees the item is still pending and unbilled at this moment.
        explain(k, false);
        claim.exec(bindKey(k));
        if (claim.rowsAffected() != 1)
            explain(k, true);
        info.exec(bindKey(k));
        if (!info.next())
            refuse(RpcCode::ItemNotFound, k, k.clientName, QStringLiteral("não existe."));
        ItemState state;
        state.key = k;
        state.clientName = info.value(3).toString();
        state.groupNull = info.value(5).isNull();
        state.group = info.value(5).toString();
        state.value = info.value(6).toDouble();
        info.finish();
        items.push_back(std::move(state));
    }

    // One entry per company, branch, client and fiscal-note group.
    using GroupKey = std::tuple<QString, QString, QString, bool, QString>;
    std::map<GroupKey, std::vector<const ItemState *>> groups;
    for (const ItemState &item : items)
        groups[{item.key.company, item.key.branch, item.key.client, item.groupNull, item.group}].push_back(&item);
    std::map<QString, int> entriesPerCompany;
    for (const auto &[key, members] : groups)
        ++entriesPerCompany[std::get<0>(key)];

    const QString kindCode = invoice ? QStringLiteral("I") : QStringLiteral("N");
    SqlStatement counterRow(m_db,
                            QStringLiteral("INSERT INTO NUMLANCFAT (CDEMPRESA, IDTPLANCFAT, NRULTLANCFAT) "
                                           "VALUES (?, ?, 0) ON CONFLICT (CDEMPRESA, IDTPLANCFAT) DO NOTHING"),
                            "GeraNF/GeraInvoice: contador");
    SqlStatement counterStep(m_db,
                             QStringLiteral("UPDATE NUMLANCFAT SET NRULTLANCFAT = NRULTLANCFAT + ? "
                                            "WHERE CDEMPRESA = ? AND IDTPLANCFAT = ?"),
                             "GeraNF/GeraInvoice: numeração");
    SqlStatement counterRead(m_db,
                             QStringLiteral("SELECT NRULTLANCFAT FROM NUMLANCFAT WHERE CDEMPRESA = ? AND IDTPLANCFAT = ?"),
                             "GeraNF/GeraInvoice: numeração");
    std::map<QString, std::pair<int, int>> numbers; // company -> first, last
    for (const auto &[company, count] : entriesPerCompany) {
        counterRow.exec({company, kindCode});
        counterStep.exec({count, company, kindCode});
        counterRead.exec({company, kindCode});
        if (!counterRead.next())
            throw SqlFailure(QStringLiteral("numeração da empresa %1").arg(company), QSqlError());
        const int last = counterRead.value(0).toInt();
        counterRead.finish();
        numbers[company] = {last - count + 1, last};
    }

    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    SqlStatement entry(m_db,
                       QStringLiteral("INSERT INTO LANCFATFAS (CDEMPRESA, IDTPLANCFAT, NRLANCFAT, CDFILIAL, CDCLIENTE, "
                                      "CDGRUPONFAPUR, DTLANCFAT, QTITEMLANCFAT, VRTOTLANCFAT) "
                                      "VALUES (?, ?, ?, ?, ?, ?, %1, ?, ?)")
                           .arg(sqlite ? QStringLiteral("?") : QStringLiteral("CAST(? AS TIMESTAMP)")),
                       "GeraNF/GeraInvoice: lançamento");
    SqlStatement link(m_db,
                      QStringLiteral("INSERT INTO ITEMLANCFAT (CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, "
                                     "IDAPURFATFAS, IDTPLANCFAT, NRLANCFAT) VALUES (?, ?, ?, %1, ?, ?, ?)")
                          .arg(date),
                      "GeraNF/GeraInvoice: item do lançamento");
    std::map<QString, int> nextNumber;
    for (const auto &[company, range] : numbers)
        nextNumber[company] = range.first;
    for (const auto &[key, members] : groups) {
        const QString &company = std::get<0>(key);
        const int number = nextNumber[company]++;
        double total = 0;
        for (const ItemState *item : members)
            total += item->value;
        entry.exec({company, kindCode, number, std::get<1>(key), std::get<2>(key),
                    std::get<3>(key) ? QVariant(QMetaType(QMetaType::QString)) : QVariant(std::get<4>(key)), stamp,
                    int(members.size()), qRound64(total * 100) / 100.0});
        for (const ItemState *item : members) {
            try {
                link.exec({item->key.company, item->key.branch, item->key.client, dateText(item->key.month),
                           item->key.type, kindCode, number});
            } catch (const SqlFailure &failure) {
                if (!failure.isUniqueViolation())
                    throw;
                refuse(RpcCode::ItemAlreadyBilled, item->key, item->clientName,
                       QStringLiteral("acabou de ser faturado por outra geração; atualize a prévia."));
            }
        }
    }

    // The answer: the new entries' items as they stand now, read inside the
    // transaction so that they are exactly what this run wrote.
    TRecordStore generated = ItemRowReader::emptyStore();
    const QString answerSql = SqlText::get("item-select", m_dialect) + SqlText::get("entries-where", m_dialect);
    for (const auto &[company, range] : numbers) {
        SqlStatement answer(m_db, answerSql, "GeraNF/GeraInvoice: resposta");
        answer.exec({company, kindCode, range.first, range.second});
        ItemRowReader::appendAll(answer.query(), generated);
        answer.finish();
    }
    info.finish();
    claim.finish();
    transaction.commit();

    // Same order as the preview: client name, month, service type, company, branch, client.
    static constexpr int orderFields[] = {4, 6, 5, 0, 1, 3};
    std::vector<int> order(size_t(generated.rowCount()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&generated](int a, int b) {
        for (int f : orderFields) {
            const bool nullA = generated.isNull(a, f);
            const bool nullB = generated.isNull(b, f);
            if (nullA != nullB)
                return nullA;
            if (nullA)
                continue;
            if (generated.defs().at(f).type == TFieldType::DateTime) {
                if (generated.dateTimeMs(a, f) != generated.dateTimeMs(b, f))
                    return generated.dateTimeMs(a, f) < generated.dateTimeMs(b, f);
                continue;
            }
            const int c = generated.text(a, f).compare(generated.text(b, f));
            if (c != 0)
                return c < 0;
        }
        return false;
    });
    TRecordStore sorted = ItemRowReader::emptyStore();
    sorted.reserve(generated.rowCount());
    for (int source : order)
        sorted.copyRow(sorted.appendRow(), generated, source);
    return sorted;
}
