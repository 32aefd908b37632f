#include "admin/BillingCheck.h"

#include <QLocale>
#include <QSqlError>
#include <QSqlQuery>

#include "billing/FiscalRegistration.h"
#include "platform/sql/DatabaseError.h"
#include "db/SchemaMigrator.h"
#include "db/SchemaScript.h"

namespace {

// An entry as people name it: kind, company and number ("nota fiscal 01/7").
QString entryName(const QSqlQuery &row, int kindColumn, int companyColumn, int numberColumn)
{
    const QString kind = row.value(kindColumn).toString() == QLatin1String("I") ? QStringLiteral("invoice")
                                                                                : QStringLiteral("nota fiscal");
    return QStringLiteral("lançamento de %1 %2/%3")
        .arg(kind, row.value(companyColumn).toString(), row.value(numberColumn).toString());
}

QString money(const QVariant &value)
{
    return QLocale(QLocale::Portuguese, QLocale::Brazil).toString(value.toDouble(), 'f', 2);
}

// A calculation's key as the preview shows it: company, branch, client, month, kind.
const QString ItemKey = QStringLiteral("CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, IDAPURFATFAS");

// The key columns of the calculation `table`, as a list.
QString itemKeyOf(const QString &table)
{
    return QStringLiteral("%1.CDEMPRESA, %1.CDFILIAL, %1.CDCLIENTE, %1.DTMESAPURFAS, %1.IDAPURFATFAS").arg(table);
}

// The calculation `left` is the one `right` names.
QString sameItem(const QString &left, const QString &right)
{
    QStringList terms;
    for (const char *column : {"CDEMPRESA", "CDFILIAL", "CDCLIENTE", "DTMESAPURFAS", "IDAPURFATFAS"})
        terms << QStringLiteral("%1.%3 = %2.%3").arg(left, right, QLatin1String(column));
    return terms.join(QStringLiteral(" AND "));
}

QString itemName(const QSqlQuery &row)
{
    return QStringLiteral("apuração %1/%2/%3/%4/%5")
        .arg(row.value(0).toString(), row.value(1).toString(), row.value(2).toString(),
             row.value(3).toString().left(10), row.value(4).toString());
}

} // namespace

BillingCheck::BillingCheck(const QSqlDatabase &db)
    : m_db(db)
    , m_sqlite(SchemaScript::kindOf(db) == DatabaseUrl::Kind::Sqlite)
{
}

QStringList BillingCheck::run() const
{
    QStringList all = m_sqlite ? sqliteIntegrity() : postgresqlIntegrity();
    const QStringList missing = [this] {
        QStringList names;
        const QStringList present = SchemaScript::existingTables(m_db);
        for (const QString &table : SchemaScript::tables())
            if (!present.contains(table))
                names.append(table);
        return names;
    }();
    if (!missing.isEmpty()) {
        all.append(QStringLiteral("Faltam tabelas do faturamento: %1.").arg(missing.join(QStringLiteral(", "))));
        return all;
    }
    const QString version = schemaVersion();
    if (!version.isEmpty()) // the rules below read the tables as the newest version has them
        return all << version;
    all += itemsInTwoEntries();
    all += linkedButNotRealized();
    all += freedButRealized();
    all += entryTotals();
    all += numberCounters();
    all += dpsCounters();
    all += fiscalRegistration();
    return all;
}

template<typename Describe>
QStringList BillingCheck::findings(const QString &sql, Describe describe) const
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.exec(sql))
        throw DatabaseError(
            QStringLiteral("A verificação não pôde ser feita: %1\n%2").arg(query.lastError().text(), sql));
    QStringList lines;
    while (query.next())
        lines.append(describe(query));
    return lines;
}

QStringList BillingCheck::sqliteIntegrity() const
{
    QStringList lines = findings(QStringLiteral("PRAGMA integrity_check"), [](const QSqlQuery &row) {
        return QStringLiteral("Integridade do arquivo: %1").arg(row.value(0).toString());
    });
    if (lines.size() == 1 && lines.constFirst().endsWith(QLatin1String(": ok")))
        lines.clear();
    lines += findings(QStringLiteral("PRAGMA foreign_key_check"), [](const QSqlQuery &row) {
        return QStringLiteral("Chave estrangeira: a linha %1 de %2 aponta para um registro inexistente de %3.")
            .arg(row.value(1).toString(), row.value(0).toString(), row.value(2).toString());
    });
    return lines;
}

// PostgreSQL enforces its constraints itself; what can be left broken is a
// constraint added without validation or an index whose building failed.
QStringList BillingCheck::postgresqlIntegrity() const
{
    QStringList lines = findings(
        QStringLiteral("SELECT conrelid::regclass::text, conname FROM pg_constraint "
                       "WHERE NOT convalidated AND connamespace = current_schema()::regnamespace "
                       "ORDER BY 1, 2"),
        [](const QSqlQuery &row) {
            return QStringLiteral("Restrição %1 de %2 não validada.")
                .arg(row.value(1).toString(), row.value(0).toString());
        });
    lines += findings(QStringLiteral("SELECT i.indexrelid::regclass::text, i.indrelid::regclass::text FROM pg_index i "
                                     "JOIN pg_class c ON c.oid = i.indexrelid "
                                     "WHERE NOT i.indisvalid AND c.relnamespace = current_schema()::regnamespace "
                                     "ORDER BY 1"),
                      [](const QSqlQuery &row) {
                          return QStringLiteral("Índice %1 de %2 inválido: recrie-o com REINDEX.")
                              .arg(row.value(0).toString(), row.value(1).toString());
                      });
    return lines;
}

QString BillingCheck::schemaVersion() const
{
    QSqlDatabase db = m_db;
    SchemaMigrator migrator(db);
    int version = 0;
    try {
        version = migrator.currentVersion();
    } catch (const DatabaseError &error) {
        return error.message();
    }
    if (version < migrator.newestVersion())
        return QStringLiteral("O esquema do banco de dados está na versão %1 e estes programas usam a versão %2: "
                              "atualize-o com fas-admin migrate (o servidor não inicia antes disso).")
            .arg(version)
            .arg(migrator.newestVersion());
    if (version > migrator.newestVersion())
        return QStringLiteral("O esquema do banco de dados está na versão %1, mais nova que a versão %2 destes "
                              "programas: atualize os programas.")
            .arg(version)
            .arg(migrator.newestVersion());
    return {};
}

QStringList BillingCheck::itemsInTwoEntries() const
{
    return findings(
        QStringLiteral("SELECT %1, COUNT(*) FROM ITEMLANCFAT GROUP BY %1 HAVING COUNT(*) > 1 ORDER BY %1").arg(ItemKey),
        [](const QSqlQuery &row) {
            return QStringLiteral("A %1 está em %2 lançamentos.").arg(itemName(row), row.value(5).toString());
        });
}

// A calculation in a live entry was realized when the entry was made, and stays so
// until the entry is reversed.
QStringList BillingCheck::linkedButNotRealized() const
{
    const QString sql =
        QStringLiteral(
            "SELECT a.CDEMPRESA, a.CDFILIAL, a.CDCLIENTE, a.DTMESAPURFAS, a.IDAPURFATFAS, l.IDTPLANCFAT, l.NRLANCFAT, "
            "a.IDSTAPFATFAS FROM ITEMLANCFAT l "
            "JOIN LANCFATFAS e ON e.CDEMPRESA = l.CDEMPRESA AND e.IDTPLANCFAT = l.IDTPLANCFAT "
            "AND e.NRLANCFAT = l.NRLANCFAT AND e.DTESTORNO IS NULL "
            "JOIN APURFATFAS a ON %1 WHERE COALESCE(a.IDSTAPFATFAS, '') <> 'R' ORDER BY %2")
            .arg(sameItem(QStringLiteral("a"), QStringLiteral("l")), itemKeyOf(QStringLiteral("a")));
    return findings(sql, [](const QSqlQuery &row) {
        const QString status = row.value(7).toString();
        return QStringLiteral("A %1 está no %2, mas a sua situação %3 e não Realizada (R).")
            .arg(itemName(row), entryName(row, 5, 0, 6),
                 status.isEmpty() ? QStringLiteral("está em branco") : QStringLiteral("é %1").arg(status));
    });
}

// A reversal frees its calculations (their links go to the history) and makes them
// pending again; one left realized with no live entry cannot be billed again.
QStringList BillingCheck::freedButRealized() const
{
    const QString sql = QStringLiteral("SELECT DISTINCT a.CDEMPRESA, a.CDFILIAL, a.CDCLIENTE, a.DTMESAPURFAS, "
                                       "a.IDAPURFATFAS FROM ITEMLANCFATHIST h "
                                       "JOIN APURFATFAS a ON %1 WHERE a.IDSTAPFATFAS = 'R' "
                                       "AND NOT EXISTS (SELECT 1 FROM ITEMLANCFAT l WHERE %2) ORDER BY %3")
                            .arg(sameItem(QStringLiteral("a"), QStringLiteral("h")),
                                 sameItem(QStringLiteral("a"), QStringLiteral("l")), itemKeyOf(QStringLiteral("a")));
    return findings(sql, [](const QSqlQuery &row) {
        return QStringLiteral("A %1 foi liberada por um estorno e não está em nenhum lançamento, mas continua "
                              "Realizada: não pode ser faturada de novo.")
            .arg(itemName(row));
    });
}

// An entry's items are its links: in ITEMLANCFAT while it is live, in
// ITEMLANCFATHIST once it was reversed. A reversed entry's calculations may have
// changed since (pending again, imported again): only its item count is checked.
QStringList BillingCheck::entryTotals() const
{
    const QString sql =
        QStringLiteral(
            "SELECT l.CDEMPRESA, l.IDTPLANCFAT, l.NRLANCFAT, l.VRTOTLANCFAT, l.QTITEMLANCFAT, "
            "COALESCE(SUM(COALESCE(a.VRTOTAFATFAS, 0)), 0), COUNT(i.CDEMPRESA) "
            "FROM LANCFATFAS l "
            "LEFT JOIN (SELECT %1 FROM ITEMLANCFAT UNION ALL SELECT %1 FROM ITEMLANCFATHIST) i "
            "ON i.CDEMPRESA = l.CDEMPRESA AND i.IDTPLANCFAT = l.IDTPLANCFAT "
            "AND i.NRLANCFAT = l.NRLANCFAT "
            "LEFT JOIN APURFATFAS a ON a.CDEMPRESA = i.CDEMPRESA AND a.CDFILIAL = i.CDFILIAL "
            "AND a.CDCLIENTE = i.CDCLIENTE AND a.DTMESAPURFAS = i.DTMESAPURFAS AND a.IDAPURFATFAS = i.IDAPURFATFAS "
            "GROUP BY l.CDEMPRESA, l.IDTPLANCFAT, l.NRLANCFAT, l.VRTOTLANCFAT, l.QTITEMLANCFAT, l.DTESTORNO "
            "HAVING (l.DTESTORNO IS NULL "
            "AND ABS(l.VRTOTLANCFAT - COALESCE(SUM(COALESCE(a.VRTOTAFATFAS, 0)), 0)) >= 0.005) "
            "OR l.QTITEMLANCFAT <> COUNT(i.CDEMPRESA) "
            "ORDER BY l.CDEMPRESA, l.IDTPLANCFAT, l.NRLANCFAT")
            .arg(QStringLiteral("CDEMPRESA, IDTPLANCFAT, NRLANCFAT, CDFILIAL, CDCLIENTE, DTMESAPURFAS, "
                                "IDAPURFATFAS"));
    return findings(sql, [](const QSqlQuery &row) {
        return QStringLiteral("O %1 registra %2 itens no total de %3, mas tem %4 itens somando %5.")
            .arg(entryName(row, 1, 0, 2), row.value(4).toString(), money(row.value(3)), row.value(6).toString(),
                 money(row.value(5)));
    });
}

QStringList BillingCheck::numberCounters() const
{
    const QString sql = QStringLiteral(
        "SELECT n.CDEMPRESA, n.IDTPLANCFAT, n.NRULTLANCFAT, MAX(l.NRLANCFAT) FROM NUMLANCFAT n "
        "LEFT JOIN LANCFATFAS l ON l.CDEMPRESA = n.CDEMPRESA AND l.IDTPLANCFAT = n.IDTPLANCFAT "
        "GROUP BY n.CDEMPRESA, n.IDTPLANCFAT, n.NRULTLANCFAT "
        "HAVING n.NRULTLANCFAT <> COALESCE(MAX(l.NRLANCFAT), 0) "
        "UNION ALL "
        "SELECT l.CDEMPRESA, l.IDTPLANCFAT, NULL, MAX(l.NRLANCFAT) FROM LANCFATFAS l "
        "WHERE NOT EXISTS (SELECT 1 FROM NUMLANCFAT n WHERE n.CDEMPRESA = l.CDEMPRESA "
        "AND n.IDTPLANCFAT = l.IDTPLANCFAT) "
        "GROUP BY l.CDEMPRESA, l.IDTPLANCFAT "
        "ORDER BY 1, 2");
    return findings(sql, [](const QSqlQuery &row) {
        const QString kind = row.value(1).toString() == QLatin1String("I") ? QStringLiteral("invoices")
                                                                           : QStringLiteral("notas fiscais");
        if (row.value(2).isNull())
            return QStringLiteral("A empresa %1 tem lançamentos de %2 até o número %3, mas nenhum contador em "
                                  "NUMLANCFAT.")
                .arg(row.value(0).toString(), kind, row.value(3).toString());
        if (row.value(3).isNull())
            return QStringLiteral("O contador de %1 da empresa %2 está em %3, mas nenhum número foi usado.")
                .arg(kind, row.value(0).toString(), row.value(2).toString());
        return QStringLiteral("O contador de %1 da empresa %2 está em %3, mas o maior número usado é %4.")
            .arg(kind, row.value(0).toString(), row.value(2).toString(), row.value(3).toString());
    });
}

QStringList BillingCheck::dpsCounters() const
{
    const QString sql = QStringLiteral(
        "SELECT s.CDEMPRESA, s.NRSERIEDPS, n.NRULTDPS, MAX(s.NRDPS) FROM NFSEDPS s "
        "LEFT JOIN NUMDPS n ON n.CDEMPRESA = s.CDEMPRESA AND n.NRSERIEDPS = s.NRSERIEDPS "
        "GROUP BY s.CDEMPRESA, s.NRSERIEDPS, n.NRULTDPS "
        "HAVING n.NRULTDPS IS NULL OR n.NRULTDPS < MAX(s.NRDPS) ORDER BY 1, 2");
    return findings(sql, [](const QSqlQuery &row) {
        if (row.value(2).isNull())
            return QStringLiteral("A empresa %1 tem DPS da série %2 até o número %3, mas nenhum contador em NUMDPS: "
                                  "a próxima nota repetiria um número.")
                .arg(row.value(0).toString(), row.value(1).toString(), row.value(3).toString());
        return QStringLiteral("O contador de DPS da empresa %1, série %2, está em %3, mas o maior número usado é %4: "
                              "a próxima nota repetiria um número.")
            .arg(row.value(0).toString(), row.value(1).toString(), row.value(2).toString(), row.value(3).toString());
    });
}

namespace {

// A calculation not yet billed, of a company whose notes go out as NFS-e, for a
// client with its main address in Brazil: one that would become a national note.
QString pendingNationalNote(const QString &item)
{
    return QStringLiteral(
               "COALESCE(%1.IDSTAPFATFAS, '') IN ('P', '') "
               "AND EXISTS (SELECT 1 FROM EMPRESA e WHERE e.CDEMPRESA = %1.CDEMPRESA AND e.IDNFSEEMPRESA = 'S') "
               "AND EXISTS (SELECT 1 FROM ENDECLIE d WHERE d.CDCLIENTE = %1.CDCLIENTE AND d.CDPAIS = '0055' "
               "AND d.IDTPENDECLIE = 'P') "
               "AND NOT EXISTS (SELECT 1 FROM ITEMLANCFAT l WHERE %2)")
        .arg(item, sameItem(item, QStringLiteral("l")));
}

QString joined(const QStringList &problems)
{
    return problems.join(QStringLiteral("; "));
}

} // namespace

QStringList BillingCheck::fiscalRegistration() const
{
    QStringList all = findings(
        QStringLiteral("SELECT CDEMPRESA, NRCNPJEMPRESA, NRINSCMUNEMPRESA, CDMUNIBGEEMPRESA, IDREGTRIBEMPRESA, "
                       "NRSERIEDPS FROM EMPRESA WHERE IDNFSEEMPRESA = 'S' ORDER BY CDEMPRESA"),
        [](const QSqlQuery &row) {
            const QStringList problems = FiscalRegistration::problems(
                FiscalRegistration::Company{row.value(1).toString(), row.value(2).toString(), row.value(3).toString(),
                                            row.value(4).toString(), row.value(5).toString()});
            return problems.isEmpty() ? QString()
                                      : QStringLiteral("A empresa %1 emite NFS-e, mas %2.")
                                            .arg(row.value(0).toString(), joined(problems));
        });
    all += findings(
        QStringLiteral("SELECT c.CDCLIENTE, c.IDTPIJURCLIE, c.NRINSJURCLIE, (SELECT MIN(d.CDMUNIBGE) FROM ENDECLIE d "
                       "WHERE d.CDCLIENTE = c.CDCLIENTE AND d.CDPAIS = '0055' AND d.IDTPENDECLIE = 'P') FROM CLIENTE c "
                       "WHERE EXISTS (SELECT 1 FROM APURFATFAS a WHERE a.CDCLIENTE = c.CDCLIENTE AND %1) "
                       "ORDER BY c.CDCLIENTE")
            .arg(pendingNationalNote(QStringLiteral("a"))),
        [](const QSqlQuery &row) {
            const QStringList problems = FiscalRegistration::problems(
                FiscalRegistration::Client{row.value(1).toString(), row.value(2).toString(), row.value(3).toString()});
            return problems.isEmpty() ? QString()
                                      : QStringLiteral("O cliente %1 tem apurações pendentes de NFS-e, mas %2.")
                                            .arg(row.value(0).toString(), joined(problems));
        });
    all += findings(QStringLiteral("SELECT p.CDPRODUTO, p.CDSERVNACPRODUTO, p.PCALIQISSPRODUTO FROM PRODUTO p "
                                   "WHERE EXISTS (SELECT 1 FROM APURFATFAS a WHERE a.CDPRODUTO = p.CDPRODUTO AND %1) "
                                   "ORDER BY p.CDPRODUTO")
                        .arg(pendingNationalNote(QStringLiteral("a"))),
                    [](const QSqlQuery &row) {
                        FiscalRegistration::Service service{row.value(1).toString(), {}};
                        if (!row.value(2).isNull())
                            service.issRate = row.value(2).toDouble();
                        const QStringList problems = FiscalRegistration::problems(service);
                        return problems.isEmpty()
                                   ? QString()
                                   : QStringLiteral("O produto %1 tem apurações pendentes de NFS-e, mas %2.")
                                         .arg(row.value(0).toString(), joined(problems));
                    });
    all += findings(QStringLiteral("SELECT a.CDEMPRESA, COUNT(*) FROM APURFATFAS a WHERE a.CDPRODUTO IS NULL AND %1 "
                                   "GROUP BY a.CDEMPRESA ORDER BY a.CDEMPRESA")
                        .arg(pendingNationalNote(QStringLiteral("a"))),
                    [](const QSqlQuery &row) {
                        return QStringLiteral("A empresa %1 emite NFS-e, mas %2 apuração(ões) pendente(s) de clientes "
                                              "no Brasil não têm produto (CDPRODUTO), de onde a nota tira o código de "
                                              "serviço e a alíquota de ISS.")
                            .arg(row.value(0).toString(), row.value(1).toString());
                    });
    all.removeAll(QString());
    return all;
}
