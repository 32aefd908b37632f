#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

// What an invoice entry (IDTPLANCFAT 'I') prints: plain values, filled by the caller
// from the database (the module from GetFaturaDocumento's packet, the server from its
// own query), so the document depends on nothing but the entry.
struct InvoiceDocument
{
    struct Party
    {
        QString name;
        QString taxId;       // CNPJ or CPF, digits only or formatted
        QStringList address; // the lines as printed, blank ones left out
    };
    struct Line
    {
        QString service;     // the service's name (product, else the service type)
        QString description; // what the client is billed for; may be empty
        QDate month;         // the calculation's month
        double value = 0;
    };

    Party issuer;
    Party client;
    QString company;       // CDEMPRESA
    qint64 number = 0;     // NRLANCFAT
    QDateTime date;        // DTLANCFAT, wall-clock
    bool reversed = false; // the entry was reversed: the document says so
    QList<Line> lines;

    double total() const;
};
