#include "server/billing/BatchTable.h"

#include "platform/data/CivilDate.h"
#include "platform/data/JsonWriter.h"

namespace {

// The item's key, its five parts as JSON texts separated by commas.
void appendKey(std::string &out, const ItemKey &key)
{
    bool first = true;
    for (const QString &text : {key.company, key.branch, key.client, CivilDate::sqlDate(key.month), key.type}) {
        if (!first)
            out.push_back(',');
        first = false;
        JsonWriter::appendString(out, text);
    }
}

void openRow(std::string &out)
{
    if (out.size() > 1)
        out.push_back(',');
    out.push_back('[');
}

} // namespace

BatchTable::BatchTable(const std::vector<ItemKey> &keys, SqlDialect dialect)
    : m_sql(dialect)
{
    std::string out = "[";
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const ItemKey &k = keys[i];
        openRow(out);
        JsonWriter::appendInteger(out, std::int64_t(i));
        out.push_back(',');
        appendKey(out, k);
        out.push_back(']');
    }
    out.push_back(']');
    m_json = QString::fromStdString(out);
}

QString BatchTable::column(int index, const char *type) const
{
    return m_sql.jsonRowElement(index, type);
}

QString BatchTable::source() const
{
    const QString from = m_sql.jsonRows();
    return QStringLiteral("(SELECT %1 AS pos, %2 AS company, %3 AS branch, %4 AS client, %5 AS month, %6 AS type "
                          "FROM %7) k")
        .arg(column(0, "INTEGER"), column(1), column(2), column(3), column(4, "DATE"), column(5, "CHAR(1)"), from);
}

QString BatchTable::matches(const QString &alias)
{
    return QStringLiteral("%1.CDEMPRESA = k.company AND %1.CDFILIAL = k.branch AND %1.CDCLIENTE = k.client "
                          "AND %1.DTMESAPURFAS = k.month AND %1.IDAPURFATFAS = k.type")
        .arg(alias);
}

QString BatchTable::joinItems(const QString &alias) const
{
    return QStringLiteral("%1 JOIN APURFATFAS %2 ON %3").arg(source(), alias, matches(alias));
}

void BatchTable::appendEntry(std::string &out, const QString &company, int number, const QString &branch,
                             const QString &client, const QString *group, int items, double total)
{
    openRow(out);
    JsonWriter::appendString(out, company);
    out.push_back(',');
    JsonWriter::appendInteger(out, number);
    out.push_back(',');
    JsonWriter::appendString(out, branch);
    out.push_back(',');
    JsonWriter::appendString(out, client);
    out.push_back(',');
    if (group)
        JsonWriter::appendString(out, *group);
    else
        out += "null";
    out.push_back(',');
    JsonWriter::appendInteger(out, items);
    out.push_back(',');
    JsonWriter::appendNumber(out, total);
    out.push_back(']');
}

void BatchTable::appendLink(std::string &out, const ItemKey &key, int number)
{
    openRow(out);
    appendKey(out, key);
    out.push_back(',');
    JsonWriter::appendInteger(out, number);
    out.push_back(']');
}

QString BatchTable::insertEntries() const
{
    return QStringLiteral("INSERT INTO LANCFATFAS (CDEMPRESA, IDTPLANCFAT, NRLANCFAT, CDFILIAL, CDCLIENTE, "
                          "CDGRUPONFAPUR, DTLANCFAT, QTITEMLANCFAT, VRTOTLANCFAT, IDEXECFAT) "
                          "SELECT %1, t.kind, %2, %3, %4, %5, t.stamp, %6, %7, t.run "
                          "FROM (SELECT %8 AS kind, %9 AS stamp, %10 AS run) t, %11")
        .arg(column(0), column(1, "INTEGER"), column(2), column(3), column(4), column(5, "INTEGER"),
             column(6, "NUMERIC"), m_sql.typed("CHAR(1)"), m_sql.typed("TIMESTAMP"), m_sql.typed("BIGINT"),
             m_sql.jsonRows());
}

QString BatchTable::insertLinks() const
{
    return QStringLiteral("INSERT INTO ITEMLANCFAT (CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, IDAPURFATFAS, "
                          "IDTPLANCFAT, NRLANCFAT) "
                          "SELECT %1, %2, %3, %4, %5, t.kind, %6 FROM (SELECT %7 AS kind) t, %8")
        .arg(column(0), column(1), column(2), column(3, "DATE"), column(4, "CHAR(1)"), column(5, "INTEGER"),
             m_sql.typed("CHAR(1)"), m_sql.jsonRows());
}
