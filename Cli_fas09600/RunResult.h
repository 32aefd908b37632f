#pragma once

#include <QList>
#include <QString>

#include "platform/ui/ExportTable.h"
#include "Cli_fas09600/GenerationResult.h"
#include "pkg_fas09600_export.h"

// A generation run's result as a table to show and export: per entry its kind,
// number, company, client, the months of its items (MM/yyyy), number of items
// and total; after the entries, a line "Total" with the run's months, items and
// total summed. An entry reversed since reads "Nota Fiscal (estornada)" and is
// left out of the total line's items and total.
class PKG_FAS09600_EXPORT RunResult : public ExportTable
{
public:
    using Entry = GenerationResult::Entry;
    enum Column {
        KindColumn,
        EntryColumn,
        CompanyColumn,
        ClientColumn,
        MonthsColumn,
        ItemsColumn,
        TotalColumn,
        ColumnCount
    };

    RunResult() = default;
    explicit RunResult(GenerationResult made);

    const GenerationResult &Made() const { return m_made; }
    const QList<Entry> &Entries() const { return m_made.Entries(); }
    // The line after the entries; there is none when the run made nothing.
    bool isTotalLine(int row) const { return row == int(Entries().size()); }

    int columnCount() const override { return ColumnCount; }
    QString title(int column) const override;
    Kind kind(int column) const override;
    int widthPixels(int column) const override;
    int rowCount() const override { return Entries().isEmpty() ? 0 : int(Entries().size()) + 1; }
    QString text(int row, int column) const override;
    bool isBlank(int row, int column) const override;
    double number(int row, int column) const override;
    QDateTime dateTime(int row, int column) const override;
    int decimals(int column) const override { return column == ItemsColumn ? 0 : 2; }

private:
    GenerationResult m_made;
    Entry m_sum; // the total line's figures
};
