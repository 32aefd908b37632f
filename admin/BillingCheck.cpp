#include "admin/BillingCheck.h"

#include <QLocale>
#include <QSqlError>
#include <QSqlQuery>

#include "platform/sql/DatabaseError.h"
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
    all += itemsInTwoEntries();
    all += entryTotals();
    all += numberCounters();
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

QStringList BillingCheck::itemsInTwoEntries() const
{
    return findings(
        QStringLiteral("SELECT %1, COUNT(*) FROM ITEMLANCFAT GROUP BY %1 HAVING COUNT(*) > 1 ORDER BY %1").arg(ItemKey),
        [](const QSqlQuery &row) {
            return QStringLiteral("A %1 está em %2 lançamentos.").arg(itemName(row), row.value(5).toString());
        });
}

// An entry's items are its links: in ITEMLANCFAT while it is live, in
// ITEMLANCFATHIST once it was reversed.
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
            "GROUP BY l.CDEMPRESA, l.IDTPLANCFAT, l.NRLANCFAT, l.VRTOTLANCFAT, l.QTITEMLANCFAT "
            "HAVING ABS(l.VRTOTLANCFAT - COALESCE(SUM(COALESCE(a.VRTOTAFATFAS, 0)), 0)) >= 0.005 "
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
