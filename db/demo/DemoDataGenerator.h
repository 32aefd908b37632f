#pragma once

#include <QDate>
#include <QSqlDatabase>

// Fills an empty schema with a realistic, reproducible demo set: issuing companies
// and branches, domestic and foreign clients of both person types, products,
// operators and billing calculations from January 2008 to the current month, with
// their fiscal-note and invoice entries. Everything goes in one transaction, table by
// table in bulk (COPY on PostgreSQL, multi-row INSERTs on SQLite), so large sets
// for benchmarks are quick to make.
class DemoDataGenerator
{
public:
    struct Options
    {
        int rows = 3000;     // billing calculations
        quint32 seed = 9600; // same seed, same data
        QDate today = QDate::currentDate();
        bool nationalNotes = false; // the companies' notes go out as national NFS-e
    };
    struct Summary
    {
        int companies = 0;
        int branches = 0;
        int clients = 0;
        int calculations = 0;
        int entries = 0;
    };

    DemoDataGenerator(QSqlDatabase db, Options options);

    // Throws DatabaseError; nothing is kept when it fails.
    Summary fill();

private:
    // Writes every table, in the order their keys need, inside fill()'s transaction.
    Summary fillTables();

    QSqlDatabase m_db;
    Options m_options;
};
