#pragma once

#include <memory>

#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

#include "platform/sql/DatabaseUrl.h"
#include "platform/data/TRecordStore.h"
#include "server/billing/PreviewFilter.h"
#include "server/billing/PreviewStream.h"

// The GetFaturamento query: the item columns of server/billing/sql/item-select, the
// conditions of server/billing/sql/preview-where, the order of
// server/billing/sql/item-order, and the filter's values bound to its placeholders.
// A filter that takes everything (all clients, all companies, all situations, both
// note states) has no condition at all, and pending alone is written as the pending
// index's condition: one statement per combination, each made once. Lists travel as
// one bound JSON array each (json_each on SQLite, `= ANY (ARRAY(...))` over
// json_array_elements_text on PostgreSQL, a form an index serves), so no value is
// ever pasted into the text.
class PreviewQuery
{
public:
    PreviewQuery(const PreviewFilter &filter, DatabaseUrl::Kind kind);

    const QString &sql() const { return m_sql; }
    const QVariantList &bindings() const { return m_bindings; }

    // The rows in the preview's 28-field layout, ordered by client name, month,
    // service type, company, branch and client code, read through Qt SQL: the
    // reference the streamed packet is checked against. Throws SqlFailure.
    TRecordStore run(const QSqlDatabase &db) const;
    // The same rows as a packet written while they are read (the server's answer);
    // the query has run and its first row is read. Throws SqlFailure.
    std::unique_ptr<PreviewStream> stream(const QSqlDatabase &db) const;

private:
    QString m_sql;
    QVariantList m_bindings;
};
