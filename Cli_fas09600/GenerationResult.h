#pragma once

#include <QDate>
#include <QList>
#include <QString>

#include "pkg_fas09600_export.h"

class TRecordStore;

// What a generation run made, read from the application server's answers: one
// entry (fiscal note or invoice) per company and entry number, with its client,
// the number of its items and their total, and the months of calculation its
// items belong to. The answers carry the generated items in the preview's
// layout; the entry number is NRLANCTONF for notes, NRLANCINVOICE for invoices.
class PKG_FAS09600_EXPORT GenerationResult
{
public:
    enum class Kind { Note, Invoice };

    struct Entry
    {
        QString kind; // "Nota Fiscal" or "Invoice", as the result lists it
        QString number;
        QString company;
        QString companyCode; // CDEMPRESA: entries are numbered per company and kind
        QString client;
        int items = 0;
        double total = 0;
        QList<QDate> months; // first days of the items' months (DTMESAPURFAS), in order, once each
        bool reversed = false; // reversed since, in the history of generations
    };

    // Months as the result lists them: "MM/yyyy", in order, separated by ", ".
    static QString MonthsText(const QList<QDate> &months);
    // The months of all entries, in order, once each.
    QList<QDate> AllMonths() const;

    static QString KindText(Kind kind);

    // The answer to a batch of `kind`.
    void AddAnswer(Kind kind, const TRecordStore &answer);

    // The entry of the company, kind ("N" note, "I" invoice) and number was
    // reversed; false when the run did not make it (or it was known reversed).
    bool MarkReversed(const QString &companyCode, const QString &kindCode, qint64 number);

    const QList<Entry> &Entries() const { return m_entries; }
    bool IsEmpty() const { return m_entries.isEmpty(); }

private:
    QList<Entry> m_entries;
};
