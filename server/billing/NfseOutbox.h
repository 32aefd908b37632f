#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include <QDate>
#include <QDateTime>
#include <QSqlDatabase>
#include <QString>

#include "server/billing/ItemKey.h"
#include "server/nfse/DpsData.h"
#include "server/sql/SqlDialect.h"

class BatchTable;

// The national service notes (NFS-e) of one GeraNF run, for the companies whose
// notes go out as NFS-e (EMPRESA.IDNFSEEMPRESA = 'S'). Inside the run's
// transaction: reads the registration of the batch's items of those companies,
// refuses the run (RpcError NfseRegistration) naming every missing or invalid
// registration before anything is written, and, once the entries are written,
// builds each entry's DPS and writes it to NFSEDPS as 'P' (to send), numbered per
// company and series from the NUMDPS counter. Nothing is sent here: the sender
// takes the rows after the commit.
class NfseOutbox
{
public:
    NfseOutbox(QSqlDatabase db, SqlDialect dialect, DpsData::Environment environment);

    // What the DPS takes from one item; read once per run.
    struct Item
    {
        QString company;
        DpsData registration;  // the company and client parts, filled from the database
        QString companyRegime; // IDREGTRIBEMPRESA as stored
        QString companySeries;
        QString clientCode;
        QString clientShown; // "code – trade name", as refusals name the client
        QString clientPersonType;
        QString product;
        QString productName;
        QString serviceCode;
        std::optional<double> issRate;
        QString description; // DSEMISSPRONF
        QDate month;
    };

    // One note entry the run writes: its items by position in the batch.
    struct Entry
    {
        QString company;
        int number = 0;
        std::vector<int> positions;
        double total = 0;
    };

    // Reads the batch's items of companies emitting NFS-e. False when there are none:
    // the run then goes on exactly as for a company without the national note.
    bool read(const BatchTable &table, const std::vector<ItemKey> &keys);
    // Throws RpcError naming every company, client and product whose registration
    // is missing or invalid, and every entry whose items differ in service code or
    // ISS rate.
    void check(const std::vector<Entry> &entries) const;
    // Builds the DPS of each national entry and writes it, with its number.
    void write(const std::vector<Entry> &entries, const QDateTime &stamp) const;

private:
    bool anyNational(const std::vector<ItemKey> &keys) const;
    bool isNational(const Entry &entry) const;
    QStringList registrationProblems() const;
    QString mixedServices(const Entry &entry) const;
    std::map<std::pair<QString, QString>, qint64> numberDps(const std::vector<Entry> &entries) const;
    DpsData dpsOf(const Entry &entry, const QDateTime &stamp) const;
    void appendRow(std::string &rows, const Entry &entry, const DpsData &data, const QByteArray &xml) const;

    QSqlDatabase m_db;
    SqlDialect m_sql;
    DpsData::Environment m_environment;
    std::vector<std::optional<Item>> m_items; // by position in the batch; empty for other companies
};
