#pragma once

#include <memory>

#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

#include "platform/sql/DatabaseUrl.h"
#include "platform/data/TRecordStore.h"
#include "server/billing/PreviewFilter.h"
#include "server/billing/PreviewStream.h"

// The GetFaturamento query: one fixed SQL text per database (the item columns of
// server/billing/sql/item-select, the conditions of server/billing/sql/preview-where,
// the order of server/billing/sql/item-order) and the filter's values bound to its
// placeholders. Lists travel as one bound JSON array
// each (json_each on SQLite, json_array_elements_text on PostgreSQL), so the text
// never changes with the filter and no value is ever pasted into it.
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
