#pragma once

#include <QList>
#include <QString>

#include "ExportTable.h"
#include "pkg_fas09600_export.h"

class TClientDataSet;

// What a generation run made, from the application server's answers: one line
// per entry (fiscal note or invoice) with its number, company, client, number of
// items and total. The answers carry the generated items in the preview's
// layout; the entry number is NRLANCTONF for notes, NRLANCINVOICE for invoices.
class PKG_FAS09600_EXPORT RunResult : public ExportTable
{
public:
    struct Entry
    {
        QString kind; // "Nota Fiscal" or "Invoice"
        QString number;
        QString company;
        QString client;
        int items = 0;
        double total = 0;
    };

    // The answer of "GeraNF" or "GeraInvoice", as loaded into `answer`.
    void AddAnswer(const QString &method, const TClientDataSet &answer);
    void AddEntry(const Entry &entry) { m_entries << entry; }
    void Clear() { m_entries.clear(); }
    const QList<Entry> &Entries() const { return m_entries; }

    int columnCount() const override { return 6; }
    QString title(int column) const override;
    Kind kind(int column) const override;
    int widthPixels(int column) const override;
    int rowCount() const override { return int(m_entries.size()); }
    QString text(int row, int column) const override;
    bool isBlank(int row, int column) const override;
    double number(int row, int column) const override;
    QDateTime dateTime(int row, int column) const override;
    int decimals(int column) const override { return column == 4 ? 0 : 2; }

private:
    QList<Entry> m_entries;
};
