#pragma once

#include <string>
#include <vector>

#include <QString>

#include "server/billing/ItemKey.h"
#include "server/sql/SqlDialect.h"

// A generation batch as SQL sees it: the items' keys in one bound JSON array,
// read as a table (SqlDialect::jsonRows), so a run needs a few statements per
// batch instead of a few per item. Also writes the bound lists of new entries and
// links the run inserts from a select.
class BatchTable
{
public:
    // `keys` in the run's order; an item's position in it is its "pos".
    BatchTable(const std::vector<ItemKey> &keys, SqlDialect dialect);

    // The value to bind wherever source() has its placeholder.
    const QString &json() const { return m_json; }
    // "(SELECT ... ) k": columns pos, company, branch, client, month, type; one '?'.
    QString source() const;
    // The condition joining `alias` (APURFATFAS) to k.
    static QString matches(const QString &alias);
    // source() joined to APURFATFAS `alias`.
    QString joinItems(const QString &alias) const;

    // One entry: [company, number, branch, client, group or null, items, total].
    static void appendEntry(std::string &out, const QString &company, int number, const QString &branch,
                            const QString &client, const QString *group, int items, double total);
    // One link of an item to its entry: [company, branch, client, month, type, number].
    static void appendLink(std::string &out, const ItemKey &key, int number);

    // INSERTs from the bound lists; placeholders: kind, time stamp, run (or null), entries / kind, links.
    QString insertEntries() const;
    QString insertLinks() const;

private:
    QString column(int index, const char *type = nullptr) const;

    SqlDialect m_sql;
    QString m_json;
};
