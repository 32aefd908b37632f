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

// Writes a valid import file's rows in one transaction: stages them as the file
// is read, checks that
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
    ImportWriter(const ImportWriter &) = delete;
    ImportWriter &operator=(const ImportWriter &) = delete;
    // Rolls back what was staged and not committed.
    ~ImportWriter();

    // Stages a piece of the file's rows; the first call begins the transaction.
    // Throws DatabaseError when the database fails; nothing is kept then either.
    void stage(const ImportBatch &rows);
    // Checks and writes what was staged, and commits; throws DatabaseError.
    Outcome finish();

private:
    void checkReferences(const std::vector<StagingTable> &staged, Outcome &outcome) const;
    void checkBilled(const StagingTable &staged, Outcome &outcome) const;
    // Adds to `billedMeanwhile` the calculations it left as they were because they
    // were billed since the check.
    TableCount upsert(const StagingTable &staged, const ImportTarget &target, int rows, bool known,
                      int &billedMeanwhile) const;
    QString stillUnbilled(const ImportTarget &target) const;
    QString lockOrder(const ImportTarget &target) const;
    QString billedCondition(const QString &stagedRow) const;
    QString changedCondition(const ImportTarget &target) const;
    static QString valuesText(const QStringList &columns, const QSqlQuery &query, int first);
    void begin();
    bool holdsAnyKey(const StagingTable &staged, const ImportTarget &target) const;

    QSqlDatabase m_db;
    SqlDialect m_sql;
    const ImportLayout &m_layout;
    std::vector<StagingTable> m_staged; // one per target, once begun
    std::vector<int> m_rows;            // rows staged per target
    bool m_open = false;                // a transaction is running
};
