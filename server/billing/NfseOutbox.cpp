#include "server/billing/NfseOutbox.h"

#include <algorithm>
#include <cmath>
#include <set>

#include <QRegularExpression>
#include <QSqlError>

#include "billing/FiscalId.h"
#include "billing/FiscalRegistration.h"
#include "platform/data/CivilDate.h"
#include "platform/data/JsonWriter.h"
#include "server/billing/BatchTable.h"
#include "server/nfse/DpsBuilder.h"
#include "server/nfse/NfseFormat.h"
#include "server/rpc/RpcError.h"
#include "server/sql/SqlFailure.h"
#include "server/sql/SqlStatement.h"

namespace {

const QString NothingGenerated = QStringLiteral("Nenhuma Nota Fiscal foi gerada");

// Reads, for each item of a company emitting NFS-e, the company's registration,
// the client and its main address in Brazil (the first one), and the product.
QString readSql(const BatchTable &table)
{
    return QStringLiteral(
               "SELECT k.pos, a.CDEMPRESA, e.NRCNPJEMPRESA, e.NRINSCMUNEMPRESA, e.CDMUNIBGEEMPRESA, "
               "e.IDREGTRIBEMPRESA, e.NRSERIEDPS, c.CDCLIENTE, c.IDTPIJURCLIE, c.NRINSJURCLIE, c.NMRAZSOCCLIE, "
               "c.NMFANTCLIE, d.CDMUNIBGE, d.DSLOGRENDECLIE, d.NMBAIRENDECLIE, d.NRCEPENDECLIE, a.CDPRODUTO, "
               "p.NMPRODUTO, p.CDSERVNACPRODUTO, p.PCALIQISSPRODUTO, a.DSEMISSPRONF, a.DTMESAPURFAS FROM %1 "
               "JOIN EMPRESA e ON e.CDEMPRESA = a.CDEMPRESA AND e.IDNFSEEMPRESA = 'S' "
               "JOIN CLIENTE c ON c.CDCLIENTE = a.CDCLIENTE "
               "LEFT JOIN ENDECLIE d ON d.CDCLIENTE = a.CDCLIENTE AND d.NRSEQENDECLIE = (SELECT MIN(d2.NRSEQENDECLIE) "
               "FROM ENDECLIE d2 WHERE d2.CDCLIENTE = a.CDCLIENTE AND d2.CDPAIS = '0055' AND d2.IDTPENDECLIE = 'P') "
               "LEFT JOIN PRODUTO p ON p.CDPRODUTO = a.CDPRODUTO")
        .arg(table.joinItems(QStringLiteral("a")));
}

QString trimmedText(const SqlStatement &row, int column)
{
    return row.value(column).toString().trimmed();
}

// The address's street and number: "Rua das Flores, 120" is street "Rua das
// Flores" and number "120"; a street without a number after its last comma is
// "S/N" (sem número), as the notes write it.
std::pair<QString, QString> streetAndNumber(const QString &line)
{
    static const QRegularExpression split(QStringLiteral("^(.*\\S)\\s*,\\s*(\\d[^,]*)$"));
    const QRegularExpressionMatch match = split.match(line.trimmed());
    if (match.hasMatch())
        return {match.captured(1), match.captured(2).trimmed()};
    return {line.trimmed(), QStringLiteral("S/N")};
}

void readClient(const SqlStatement &row, DpsData &d)
{
    d.clientDocument = FiscalId::bare(trimmedText(row, 9));
    d.clientName = trimmedText(row, 10).isEmpty() ? trimmedText(row, 11) : trimmedText(row, 10);
    d.clientMunicipality = trimmedText(row, 12);
    // The address goes whole or not at all (it is optional in the DPS): the
    // municipality alone is the registration a note requires.
    const QString street = trimmedText(row, 13);
    const QString district = trimmedText(row, 14);
    const QString cep = trimmedText(row, 15);
    if (street.isEmpty() || district.isEmpty() || NfseFormat::digitsOf(cep).size() != 8)
        return;
    std::tie(d.clientStreet, d.clientStreetNumber) = streetAndNumber(street);
    d.clientDistrict = district;
    d.clientPostalCode = cep;
}

NfseOutbox::Item itemOf(const SqlStatement &row)
{
    NfseOutbox::Item item;
    item.company = row.value(1).toString();
    DpsData &d = item.registration;
    d.companyCnpj = FiscalId::bare(trimmedText(row, 2));
    d.companyMunicipalRegistration = trimmedText(row, 3);
    d.companyMunicipality = trimmedText(row, 4);
    const QString regime = trimmedText(row, 5);
    item.companyRegime = regime;
    d.taxRegime = regime == u"2" || regime == u"3" ? DpsData::TaxRegime::SimplesNacional : DpsData::TaxRegime::Normal;
    item.companySeries = trimmedText(row, 6);
    item.clientCode = row.value(7).toString();
    item.clientPersonType = trimmedText(row, 8);
    item.clientShown = QStringLiteral("%1 – %2").arg(item.clientCode, trimmedText(row, 11));
    readClient(row, d);
    item.product = row.value(16).toString();
    item.productName = trimmedText(row, 17);
    item.serviceCode = trimmedText(row, 18);
    if (!row.value(19).isNull())
        item.issRate = row.value(19).toDouble();
    item.description = trimmedText(row, 20);
    item.month = row.value(21).toDate();
    return item;
}

QString registrationText(const QString &who, const QStringList &problems)
{
    return QStringLiteral("%1: %2.").arg(who, problems.join(QStringLiteral("; ")));
}

int rateHundredths(const std::optional<double> &rate)
{
    return rate ? int(std::lround(*rate * 100)) : 0;
}

QString serviceShown(const NfseOutbox::Item &item)
{
    return QStringLiteral("produto %1, código %2, ISS %3%")
        .arg(item.product, item.serviceCode, NfseFormat::rate(rateHundredths(item.issRate)).replace(u'.', u','));
}

} // namespace

NfseOutbox::NfseOutbox(QSqlDatabase db, SqlDialect dialect, DpsData::Environment environment)
    : m_db(std::move(db))
    , m_sql(dialect)
    , m_environment(environment)
{
}

// Whether any company of the batch emits NFS-e: one look at the few companies, so
// that a run without national notes pays no more than that.
bool NfseOutbox::anyNational(const std::vector<ItemKey> &keys) const
{
    SqlStatement companies(m_db, QStringLiteral("SELECT CDEMPRESA FROM EMPRESA WHERE IDNFSEEMPRESA = 'S'"),
                           "GeraNF: empresas com NFS-e");
    companies.exec();
    std::set<QString> national;
    while (companies.next())
        national.insert(companies.value(0).toString());
    companies.finish();
    return !national.empty() && std::any_of(keys.begin(), keys.end(), [&national](const ItemKey &key) {
        return national.count(key.company) > 0;
    });
}

bool NfseOutbox::read(const BatchTable &table, const std::vector<ItemKey> &keys)
{
    if (!anyNational(keys))
        return false;
    const int itemCount = int(keys.size());
    m_items.assign(size_t(itemCount), std::nullopt);
    SqlStatement rows(m_db, readSql(table), "GeraNF: cadastro da NFS-e");
    rows.exec({table.json()});
    bool any = false;
    while (rows.next()) {
        const int position = rows.value(0).toInt();
        if (position >= 0 && position < itemCount) {
            m_items[size_t(position)] = itemOf(rows);
            any = true;
        }
    }
    rows.finish();
    return any;
}

bool NfseOutbox::isNational(const Entry &entry) const
{
    return !entry.positions.empty() && m_items[size_t(entry.positions.front())].has_value();
}

// Every registration the batch's national notes lack, each company, client and
// product named once, in the batch's key order.
QStringList NfseOutbox::registrationProblems() const
{
    QStringList found;
    std::set<QString> companies, clients, products;
    for (const std::optional<Item> &item : m_items) {
        if (!item)
            continue;
        const DpsData &d = item->registration;
        if (companies.insert(item->company).second)
            if (const QStringList p = FiscalRegistration::problems(
                    FiscalRegistration::Company{d.companyCnpj, d.companyMunicipalRegistration, d.companyMunicipality,
                                                item->companyRegime, item->companySeries});
                !p.isEmpty())
                found << registrationText(QStringLiteral("Empresa %1 (emite NFS-e)").arg(item->company), p);
        if (clients.insert(item->clientCode).second)
            if (const QStringList p = FiscalRegistration::problems(
                    FiscalRegistration::Client{item->clientPersonType, d.clientDocument, d.clientMunicipality});
                !p.isEmpty())
                found << registrationText(QStringLiteral("Cliente %1").arg(item->clientShown), p);
        if (item->product.isEmpty()) {
            found << QStringLiteral("A apuração do cliente %1 de %2 não tem produto: a NFS-e precisa do código de "
                                    "serviço nacional e da alíquota de ISS do produto.")
                         .arg(item->clientShown, item->month.toString(QStringLiteral("MM/yyyy")));
        } else if (products.insert(item->product).second) {
            if (const QStringList p = FiscalRegistration::problems(
                    FiscalRegistration::Service{item->serviceCode, item->issRate});
                !p.isEmpty())
                found << registrationText(QStringLiteral("Produto %1").arg(item->product), p);
        }
    }
    return found;
}

// The services of an entry whose items differ in national service code or ISS
// rate (one DPS declares one service), or nothing.
QString NfseOutbox::mixedServices(const Entry &entry) const
{
    const Item &first = *m_items[size_t(entry.positions.front())];
    QStringList shown{serviceShown(first)};
    bool mixed = false;
    for (int position : entry.positions) {
        const Item &item = *m_items[size_t(position)];
        if (item.serviceCode != first.serviceCode || rateHundredths(item.issRate) != rateHundredths(first.issRate)) {
            mixed = true;
            if (!shown.contains(serviceShown(item)))
                shown << serviceShown(item);
        }
    }
    if (!mixed)
        return {};
    return QStringLiteral("O lançamento do cliente %1 juntaria serviços diferentes (%2), e uma NFS-e declara um "
                          "só serviço: separe-os em grupos de nota fiscal diferentes (CDGRUPONFAPUR) ou gere-os em "
                          "lotes separados.")
        .arg(first.clientShown, shown.join(QStringLiteral("; ")));
}

void NfseOutbox::check(const std::vector<Entry> &entries) const
{
    QStringList found = registrationProblems();
    if (found.isEmpty())
        for (const Entry &entry : entries)
            if (isNational(entry))
                if (const QString mixed = mixedServices(entry); !mixed.isEmpty())
                    found << mixed;
    if (found.isEmpty())
        return;
    throw RpcError(RpcCode::NfseRegistration,
                   QStringLiteral("%1: as notas desta geração sairiam como NFS-e, e o cadastro fiscal não permite. "
                                  "%2 Corrija o cadastro e gere novamente.")
                       .arg(NothingGenerated, found.join(u' ')));
}

// The first DPS number of each company's series: its NUMDPS counter (the row made
// if missing) moves past them inside the run's transaction, after the entries'
// counters, so two runs take the counters in one order.
std::map<std::pair<QString, QString>, qint64> NfseOutbox::numberDps(const std::vector<Entry> &entries) const
{
    std::map<std::pair<QString, QString>, qint64> counts;
    for (const Entry &entry : entries)
        if (isNational(entry))
            ++counts[{entry.company, m_items[size_t(entry.positions.front())]->companySeries}];
    SqlStatement row(m_db,
                     QStringLiteral("INSERT INTO NUMDPS (CDEMPRESA, NRSERIEDPS, NRULTDPS) VALUES (?, ?, 0) "
                                    "ON CONFLICT (CDEMPRESA, NRSERIEDPS) DO NOTHING"),
                     "GeraNF: contador da DPS");
    SqlStatement step(
        m_db, QStringLiteral("UPDATE NUMDPS SET NRULTDPS = NRULTDPS + ? WHERE CDEMPRESA = ? AND NRSERIEDPS = ?"),
        "GeraNF: numeração da DPS");
    SqlStatement read(m_db, QStringLiteral("SELECT NRULTDPS FROM NUMDPS WHERE CDEMPRESA = ? AND NRSERIEDPS = ?"),
                      "GeraNF: numeração da DPS");
    std::map<std::pair<QString, QString>, qint64> first;
    for (const auto &[key, count] : counts) {
        row.exec({key.first, key.second});
        step.exec({qint64(count), key.first, key.second});
        read.exec({key.first, key.second});
        if (!read.next())
            throw SqlFailure(QStringLiteral("numeração da DPS da empresa %1").arg(key.first), QSqlError());
        first[key] = read.value(0).toLongLong() - count + 1;
        read.finish();
    }
    row.finish();
    step.finish();
    return first;
}

// The entry's DPS: the company and client as registered, the service of its items,
// its total; the competence is the latest month of its items.
DpsData NfseOutbox::dpsOf(const Entry &entry, const QDateTime &stamp) const
{
    const Item &first = *m_items[size_t(entry.positions.front())];
    DpsData d = first.registration;
    d.environment = m_environment;
    d.series = first.companySeries.toInt();
    d.emitted = stamp;
    d.serviceCode = first.serviceCode;
    d.issRateHundredths = rateHundredths(first.issRate);
    d.valueCents = std::llround(entry.total * 100);
    QStringList descriptions, names;
    for (int position : entry.positions) {
        const Item &item = *m_items[size_t(position)];
        d.competence = std::max(d.competence, item.month);
        if (!item.description.isEmpty() && !descriptions.contains(item.description))
            descriptions << item.description;
        if (!item.productName.isEmpty() && !names.contains(item.productName))
            names << item.productName;
    }
    d.description = (descriptions.isEmpty() ? names : descriptions).join(QStringLiteral("; ")).left(2000);
    return d;
}

void NfseOutbox::appendRow(std::string &rows, const Entry &entry, const DpsData &data, const QByteArray &xml) const
{
    rows += rows.size() > 1 ? ",[" : "[";
    JsonWriter::appendString(rows, entry.company);
    rows += ',';
    JsonWriter::appendInteger(rows, entry.number);
    rows += ',';
    JsonWriter::appendString(rows, m_items[size_t(entry.positions.front())]->companySeries);
    rows += ',';
    JsonWriter::appendInteger(rows, data.number);
    rows += ',';
    JsonWriter::appendString(rows, DpsBuilder::dpsId(data));
    rows += ',';
    JsonWriter::appendString(rows, std::string_view(xml.constData(), size_t(xml.size())));
    rows += ']';
}

void NfseOutbox::write(const std::vector<Entry> &entries, const QDateTime &stamp) const
{
    std::map<std::pair<QString, QString>, qint64> next = numberDps(entries);
    std::string rows = "[";
    for (const Entry &entry : entries) {
        if (!isNational(entry))
            continue;
        DpsData data = dpsOf(entry, stamp);
        data.number = next[{entry.company, m_items[size_t(entry.positions.front())]->companySeries}]++;
        if (const QStringList problems = data.problems(); !problems.isEmpty())
            throw RpcError(RpcCode::NfseRegistration,
                           QStringLiteral("%1: a NFS-e da nota do cliente %2 pela empresa %3 não pôde ser montada. %4")
                               .arg(NothingGenerated, m_items[size_t(entry.positions.front())]->clientShown,
                                    entry.company, problems.join(u' ')));
        appendRow(rows, entry, data, DpsBuilder::build(data));
    }
    rows += ']';
    const auto column = [this](int index, const char *type = nullptr) { return m_sql.jsonRowElement(index, type); };
    SqlStatement insert(
        m_db,
        QStringLiteral("INSERT INTO NFSEDPS (CDEMPRESA, IDTPLANCFAT, NRLANCFAT, NRSERIEDPS, NRDPS, IDDPS, DSXMLDPS, "
                       "IDSITDPS, NRTENTATIVAS, DTPROXTENTATIVA, DTCRIACAO) "
                       "SELECT %1, 'N', %2, %3, %4, %5, %6, 'P', 0, t.stamp, t.stamp FROM (SELECT %7 AS stamp) t, %8")
            .arg(column(0), column(1, "INTEGER"), column(2), column(3, "BIGINT"), column(4), column(5),
                 m_sql.typed("TIMESTAMP"), m_sql.jsonRows()),
        "GeraNF: DPS das notas");
    insert.exec({CivilDate::sqlDateTime(stamp, CivilDate::SqlTime::Milliseconds), QString::fromStdString(rows)});
    insert.finish();
}
