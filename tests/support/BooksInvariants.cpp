#include "tests/support/BooksInvariants.h"

#include <QSqlError>
#include <QSqlQuery>

namespace BooksInvariants {

namespace {

const QString LinkColumns = QStringLiteral(
    "CDEMPRESA, IDTPLANCFAT, NRLANCFAT, CDFILIAL, CDCLIENTE, DTMESAPURFAS, IDAPURFATFAS");
const QString LinksOf = QStringLiteral(
    "l.CDEMPRESA = e.CDEMPRESA AND l.IDTPLANCFAT = e.IDTPLANCFAT AND l.NRLANCFAT = e.NRLANCFAT");
// A link or history row %1 naming the calculation a.
const QString ItemOf = QStringLiteral("%1.CDEMPRESA = a.CDEMPRESA AND %1.CDFILIAL = a.CDFILIAL AND %1.CDCLIENTE = "
                                      "a.CDCLIENTE AND %1.DTMESAPURFAS = a.DTMESAPURFAS AND %1.IDAPURFATFAS = "
                                      "a.IDAPURFATFAS");

QList<Rule> makeRules()
{
    return {
        {QStringLiteral("an item in two live entries"),
         QStringLiteral("SELECT COUNT(*) FROM (SELECT 1 FROM (SELECT %1 FROM ITEMLANCFAT UNION ALL SELECT %1 FROM "
                        "ITEMLANCFATHIST) l JOIN LANCFATFAS e ON %2 WHERE e.DTESTORNO IS NULL GROUP BY l.CDEMPRESA, "
                        "l.CDFILIAL, l.CDCLIENTE, l.DTMESAPURFAS, l.IDAPURFATFAS HAVING COUNT(*) > 1) x")
             .arg(LinkColumns, LinksOf)},
        {QStringLiteral("a live link of a reversed entry"),
         QStringLiteral("SELECT COUNT(*) FROM ITEMLANCFAT l JOIN LANCFATFAS e ON %1 WHERE e.DTESTORNO IS NOT NULL")
             .arg(LinksOf)},
        {QStringLiteral("a live entry without items, or with other items than it counts"),
         QStringLiteral("SELECT COUNT(*) FROM LANCFATFAS e WHERE e.DTESTORNO IS NULL AND (e.QTITEMLANCFAT <> "
                        "(SELECT COUNT(*) FROM ITEMLANCFAT l WHERE %1) OR e.QTITEMLANCFAT < 1)")
             .arg(LinksOf)},
        {QStringLiteral("a live entry whose total is not its items' sum"),
         QStringLiteral("SELECT COUNT(*) FROM LANCFATFAS e WHERE e.DTESTORNO IS NULL AND ABS(e.VRTOTLANCFAT - "
                        "(SELECT COALESCE(SUM(a.VRTOTAFATFAS), 0) FROM ITEMLANCFAT l JOIN APURFATFAS a ON %1 "
                        "WHERE %2)) > 0.005")
             .arg(ItemOf.arg(QStringLiteral("l")), LinksOf)},
        {QStringLiteral("a reversed entry without the history of its items"),
         QStringLiteral("SELECT COUNT(*) FROM LANCFATFAS e WHERE e.DTESTORNO IS NOT NULL AND NOT EXISTS (SELECT 1 "
                        "FROM ITEMLANCFATHIST l WHERE %1)")
             .arg(LinksOf)},
        // Reversed entries keep their numbers: a counter has given exactly its numbers, each once.
        {QStringLiteral("a number skipped or given twice"),
         QStringLiteral("SELECT COUNT(*) FROM NUMLANCFAT n WHERE n.NRULTLANCFAT <> (SELECT COUNT(DISTINCT "
                        "e.NRLANCFAT) FROM LANCFATFAS e WHERE e.CDEMPRESA = n.CDEMPRESA AND e.IDTPLANCFAT = "
                        "n.IDTPLANCFAT AND e.NRLANCFAT <= n.NRULTLANCFAT) OR EXISTS (SELECT 1 FROM LANCFATFAS e "
                        "WHERE e.CDEMPRESA = n.CDEMPRESA AND e.IDTPLANCFAT = n.IDTPLANCFAT AND e.NRLANCFAT > "
                        "n.NRULTLANCFAT)")},
        {QStringLiteral("an item set free that is not pending"),
         QStringLiteral("SELECT COUNT(*) FROM APURFATFAS a WHERE EXISTS (SELECT 1 FROM ITEMLANCFATHIST h WHERE %1) "
                        "AND NOT EXISTS (SELECT 1 FROM ITEMLANCFAT l WHERE %2) AND COALESCE(a.IDSTAPFATFAS, 'P') "
                        "NOT IN ('P', '')")
             .arg(ItemOf.arg(QStringLiteral("h")), ItemOf.arg(QStringLiteral("l")))},
        {QStringLiteral("an item of a live entry that is not realized"),
         QStringLiteral("SELECT COUNT(*) FROM ITEMLANCFAT l JOIN LANCFATFAS e ON %1 JOIN APURFATFAS a ON %2 WHERE "
                        "e.DTESTORNO IS NULL AND COALESCE(a.IDSTAPFATFAS, 'P') <> 'R'")
             .arg(LinksOf, ItemOf.arg(QStringLiteral("l")))},
        // Entries loaded before any run have none; from a counter's first run on, each entry names its run.
        {QStringLiteral("an entry without the run that made it"),
         QStringLiteral("SELECT COUNT(*) FROM LANCFATFAS e WHERE e.NRLANCFAT >= (SELECT MIN(f.NRLANCFAT) FROM "
                        "LANCFATFAS f WHERE f.CDEMPRESA = e.CDEMPRESA AND f.IDTPLANCFAT = e.IDTPLANCFAT AND "
                        "f.IDEXECFAT IS NOT NULL) AND NOT EXISTS (SELECT 1 FROM EXECFAT x WHERE x.IDEXECFAT = "
                        "e.IDEXECFAT AND x.CDERRO IS NULL AND x.NMMETODO = CASE e.IDTPLANCFAT WHEN 'N' THEN "
                        "'GeraNF' ELSE 'GeraInvoice' END)")},
        {QStringLiteral("a reversed entry without the run that reversed it"),
         QStringLiteral("SELECT COUNT(*) FROM LANCFATFAS e WHERE e.DTESTORNO IS NOT NULL AND NOT EXISTS (SELECT 1 "
                        "FROM EXECFAT x WHERE x.IDEXECFAT = e.IDEXECESTORNO AND x.CDERRO IS NULL AND x.NMMETODO "
                        "IN ('EstornaGeracao', 'EstornaLancamento'))")},
        // A key belongs to its user: two users may send the same text.
        {QStringLiteral("a key of two committed runs"),
         QStringLiteral(
             "SELECT COUNT(*) FROM (SELECT CHAVEREQ FROM EXECFAT WHERE CDERRO IS NULL AND IDEXECORIGEM IS NULL AND "
             "CHAVEREQ <> '' "
             "GROUP BY COALESCE(NMUSUARIO, ''), CHAVEREQ HAVING COUNT(*) > 1) x")},
        {QStringLiteral("a committed run without its key's answer"),
         QStringLiteral(
             "SELECT COUNT(*) FROM EXECFAT x WHERE x.CDERRO IS NULL AND x.IDEXECORIGEM IS NULL AND x.CHAVEREQ <> '' "
             "AND NOT EXISTS "
             "(SELECT 1 FROM CHAVEEXECFAT c WHERE c.IDEXECFAT = x.IDEXECFAT)")},
    };
}

} // namespace

const QList<Rule> &rules()
{
    static const QList<Rule> all = makeRules();
    return all;
}

QStringList broken(const QSqlDatabase &db)
{
    QStringList found;
    for (const Rule &rule : rules()) {
        QSqlQuery query(db);
        if (!query.exec(rule.sql) || !query.next())
            found << rule.name + QStringLiteral(": ") + query.lastError().text();
        else if (query.value(0).toLongLong() != 0)
            found << rule.name + QStringLiteral(": ") + query.value(0).toString();
    }
    return found;
}

} // namespace BooksInvariants
