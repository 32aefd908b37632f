#pragma once

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QTime>

class TRecordStore;

// Builds preview packets (the 28-field layout) for screen tests.
struct BillingRow
{
    QString client = QStringLiteral("Cliente");
    QString clientCode = QStringLiteral("C001");
    QString serviceType = QStringLiteral("6");
    QString status = QStringLiteral("P");
    QString tick = QStringLiteral("N");
    double total = 100.0;
    QString noteEntry;
    QString invoiceEntry;
    QTime calculationTime{0, 0}; // the time of day of DTAPURFATFAS
    QDate month{2024, 3, 1};     // DTMESAPURFAS, and MESAPURADO as "MM/yyyy"
};

namespace BillingRows {

QByteArray packet(const QList<BillingRow> &rows);

// A cell of a dataset's rows as text: texts as they stand, date-times in ISO
// form with milliseconds, numbers in full; a null cell reads as the empty text.
QString cell(const TRecordStore &store, int row, const char *field);

} // namespace BillingRows
