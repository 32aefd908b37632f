#pragma once

#include <vector>

#include <QList>
#include <QSqlDatabase>
#include <QString>

#include "admin/import/ImportBatch.h"
#include "admin/import/ImportLayout.h"
#include "server/sql/SqlDialect.h"

class QSqlQuery;
class StagingTable;

// Writes a valid import file's rows in one transaction: stages them, checks that
// every company, branch, client, product and operator they name exists and that
// no billed calculation would change, and then inserts the new keys and updates
// the known ones (so a month's file may be loaded again). A billed calculation
// whose line brings nothing new is left as it is; one that would change is
// refused. The update itself changes only a calculation still unbilled, so one
// billed by a generation running meanwhile is never changed either: it is counted
// as kept, or refused like the others when its line would change it. When
// anything is refused, the transaction is rolled back.
class ImportWriter
{
public:
    struct TableCount
    {
        QString table;
        int inserted = 0;
        int updated = 0;
        int keptBilled = 0;
    };
    struct Outcome
    {
        QList<ImportProblem> problems; // not empty: nothing was written
        QList<TableCount> counts;
    };

    ImportWriter(QSqlDatabase db, const ImportLayout &layout);

    // Throws DatabaseError when the database fails; nothing is kept then either.
    Outcome write(const ImportBatch &batch);

private:
    void checkReferences(const std::vector<StagingTable> &staged, Outcome &outcome) const;
    void checkBilled(const StagingTable &staged, Outcome &outcome) const;
    // Adds to `billedMeanwhile` the calculations it left as they were because they
    // were billed since the check.
    TableCount upsert(const StagingTable &staged, const ImportTarget &target, int rows, int &billedMeanwhile) const;
    QString stillUnbilled(const ImportTarget &target) const;
    QString lockOrder(const ImportTarget &target) const;
    QString billedCondition(const QString &stagedRow) const;
    QString changedCondition(const ImportTarget &target) const;
    static QString valuesText(const QStringList &columns, const QSqlQuery &query, int first);
    void begin();

    QSqlDatabase m_db;
    SqlDialect m_sql;
    const ImportLayout &m_layout;
};
