#include "server/billing/PreviewQuery.h"

#include "platform/data/CivilDate.h"
#include "platform/data/JsonWriter.h"
#include "server/billing/ItemRowReader.h"
#include "server/billing/SqlText.h"
#include "server/sql/SqlStatement.h"

namespace {

QString jsonList(const QStringList &values)
{
    return QString::fromStdString(JsonWriter::stringList(values));
}

} // namespace

PreviewQuery::PreviewQuery(const PreviewFilter &filter, DatabaseUrl::Kind kind)
    : m_sql(SqlText::get("item-select", kind) + SqlText::get("preview-where", kind) + SqlText::get("item-order", kind))
{
    // The period by its first and last month: every calculation is dated the first
    // day of its month, and the last month's first day is a four-digit year even
    // for December 9999, where the month after it would not compare as text.
    m_bindings = {
        CivilDate::sqlDate(filter.firstMonth),
        CivilDate::sqlDate(filter.endMonth.addMonths(-1)),
        jsonList(filter.serviceTypes),
        filter.allClients ? 1 : 0,
        jsonList(filter.clients),
        filter.allCompanies ? 1 : 0,
        jsonList(filter.companies),
        filter.allSituations ? 1 : 0,
        jsonList(filter.situations),
        filter.issuedWanted ? 1 : 0,
        filter.notIssuedWanted ? 1 : 0,
    };
}

TRecordStore PreviewQuery::run(const QSqlDatabase &db) const
{
    SqlStatement statement(db, m_sql, "GetFaturamento");
    statement.exec(m_bindings);
    TRecordStore store = ItemRowReader::emptyStore();
    ItemRowReader::appendAll(statement.query(), store);
    return store;
}

std::unique_ptr<PreviewStream> PreviewQuery::stream(const QSqlDatabase &db) const
{
    return std::make_unique<PreviewStream>(NativeCursor::open(db, m_sql, m_bindings, "GetFaturamento"));
}
