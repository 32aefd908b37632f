#include "server/billing/PreviewQuery.h"

#include <array>

#include "platform/data/CivilDate.h"
#include "platform/data/JsonWriter.h"
#include "server/billing/ItemRowReader.h"
#include "server/billing/SqlText.h"
#include "server/sql/SqlStatement.h"

namespace {

// The conditions of preview-where that a filter may leave out, each a line of the
// file ending in "-- with <tag>". A condition a filter does not need is not written
// at all, so the planner sees only what narrows the rows and can use an index on it.
enum Condition : unsigned {
    Clients = 1,     // the client list
    Companies = 2,   // the company list
    Situations = 4,  // a list of situations
    PendingOnly = 8, // pending alone, written as the pending index's condition
    NoteState = 16,  // one of the two note states of realized items
    ConditionCount = 32,
};

const char *const Tags[] = {"clients", "companies", "situations", "pending", "note-state"};

bool pendingOnly(const QStringList &situations)
{
    return situations.size() == 2 && situations.contains(QStringLiteral("P")) && situations.contains(QString());
}

unsigned conditionsOf(const PreviewFilter &filter)
{
    unsigned conditions = 0;
    if (!filter.allClients)
        conditions |= Clients;
    if (!filter.allCompanies)
        conditions |= Companies;
    if (!filter.allSituations)
        conditions |= pendingOnly(filter.situations) ? PendingOnly : Situations;
    if (!(filter.issuedWanted && filter.notIssuedWanted))
        conditions |= NoteState;
    return conditions;
}

// preview-where with the untagged lines and the tagged lines of `conditions`.
QString whereOf(const QString &where, unsigned conditions)
{
    QString out;
    for (const QStringView line : QStringView(where).split(u'\n')) {
        const qsizetype tagAt = line.indexOf(QLatin1String("-- with "));
        bool keep = tagAt < 0;
        for (unsigned bit = 0; !keep && bit < std::size(Tags); ++bit)
            keep = (conditions & (1u << bit)) && line.mid(tagAt + 8).trimmed() == QLatin1String(Tags[bit]);
        if (keep && !line.isEmpty())
            out += line.toString() + u'\n';
    }
    return out;
}

// The statement of each combination, made once per database on first use.
const QString &statementOf(DatabaseUrl::Kind kind, unsigned conditions)
{
    using Texts = std::array<QString, ConditionCount>;
    static const auto make = [](DatabaseUrl::Kind k) {
        Texts texts;
        const QString where = SqlText::get("preview-where", k);
        for (unsigned c = 0; c < ConditionCount; ++c)
            texts[c] = SqlText::get("item-select", k) + whereOf(where, c) + SqlText::get("item-order", k);
        return texts;
    };
    static const Texts sqlite = make(DatabaseUrl::Kind::Sqlite);
    static const Texts postgres = make(DatabaseUrl::Kind::PostgreSql);
    return (kind == DatabaseUrl::Kind::Sqlite ? sqlite : postgres)[conditions];
}

QString jsonList(const QStringList &values)
{
    return QString::fromStdString(JsonWriter::stringList(values));
}

} // namespace

PreviewQuery::PreviewQuery(const PreviewFilter &filter, DatabaseUrl::Kind kind)
{
    const unsigned conditions = conditionsOf(filter);
    m_sql = statementOf(kind, conditions);
    // The period by its first and last month: every calculation is dated the first
    // day of its month, and the last month's first day is a four-digit year even
    // for December 9999, where the month after it would not compare as text.
    m_bindings = {
        CivilDate::sqlDate(filter.firstMonth),
        CivilDate::sqlDate(filter.endMonth.addMonths(-1)),
        jsonList(filter.serviceTypes),
    };
    if (conditions & Clients)
        m_bindings.append(jsonList(filter.clients));
    if (conditions & Companies)
        m_bindings.append(jsonList(filter.companies));
    if (conditions & Situations)
        m_bindings.append(jsonList(filter.situations));
    if (conditions & NoteState)
        m_bindings << (filter.issuedWanted ? 1 : 0) << (filter.notIssuedWanted ? 1 : 0);
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
