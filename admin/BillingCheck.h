#pragma once

#include <QSqlDatabase>
#include <QStringList>

// What fas-admin check looks at: the database's own integrity and the billing
// rules the server keeps. Each finding is one Portuguese line naming the rows.
class BillingCheck
{
public:
    explicit BillingCheck(const QSqlDatabase &db);

    // Every finding, in the order of the checks; empty when the database is sound.
    QStringList run() const;

private:
    QStringList sqliteIntegrity() const;
    QStringList postgresqlIntegrity() const;
    // A line when the schema is not at the version of these programs, else empty.
    QString schemaVersion() const;
    QStringList itemsInTwoEntries() const;
    QStringList linkedButNotRealized() const;
    QStringList freedButRealized() const;
    QStringList entryTotals() const;
    QStringList numberCounters() const;
    // The DPS counters (NUMDPS) behind the national notes' numbers (NFSEDPS): a
    // counter below a number used would give that number again.
    QStringList dpsCounters() const;
    // Companies whose notes go out as NFS-e: their registration, and that of the
    // domestic clients and services of their pending calculations.
    QStringList fiscalRegistration() const;
    // Runs a query and turns each row into a line with `describe`.
    template<typename Describe>
    QStringList findings(const QString &sql, Describe describe) const;

    QSqlDatabase m_db;
    bool m_sqlite;
};
