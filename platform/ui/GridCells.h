#pragma once

#include <memory>

#include <QList>

#include "platform/data/FormatSettings.h"

#include "fasui_export.h"
#include "platform/ui/ExportTable.h"

class TClientDataSet;
class TDBGrid;
class TField;

// A data grid's rows as the user sees them, for export and the clipboard: the
// shown columns in their on-screen order and titles, the rows in the grid's
// order (all of them, or a chosen few by dataset row). A date-time reads whole,
// any other cell as the grid shows it. A screen whose columns read otherwise
// (pictures, codes shown as words) says so in cellText and columnTitle.
class FASUI_EXPORT GridCells : public ExportTable
{
public:
    explicit GridCells(const TDBGrid &grid); // every row
    GridCells(const TDBGrid &grid, QList<int> rows);

    int columnCount() const override { return int(m_columns.size()); }
    QString title(int column) const override;
    Kind kind(int column) const override;
    int widthPixels(int column) const override;
    int rowCount() const override { return int(m_rows.size()); }
    QString text(int row, int column) const override;
    bool isBlank(int row, int column) const override;
    double number(int row, int column) const override;
    QDateTime dateTime(int row, int column) const override;
    // The row made the fields' display row once for all its cells; stored texts
    // copied as they are, numbers and dates written straight as UTF-8.
    void rowUtf8(int row, std::vector<std::string> &cells) const override;

    // A cell of `field` on the row it reads: a date-time whole (blank when null),
    // anything else as its display text.
    static QString ShownText(const TField &field);

protected:
    // The text of the cell of `column` that `field` reads now.
    virtual QString cellText(const TField &field, int column) const;
    virtual QString columnTitle(int gridColumn) const;
    // Appends cellText(field, column) as UTF-8 (field reading the row being
    // read); a screen overriding cellText overrides this too.
    virtual void appendCellUtf8(const TField &field, int column, std::string &utf8) const;

    const TDBGrid &grid() const { return m_grid; }
    TField *field(int column) const { return m_fields.at(column); }
    TClientDataSet *dataSet() const { return m_dataSet; }
    void setRows(QList<int> rows) { m_rows = std::move(rows); }

private:
    void takeShownColumns();
    enum class Written { Stored, Number, DateTime, Shown };
    static Written writtenAs(const TField &field);
    // The field of `column` reading dataset row `row` (the display row, set
    // for the call: the cursor does not move).
    template<typename Read>
    auto read(int row, int column, Read read) const;

    const TDBGrid &m_grid;
    TClientDataSet *m_dataSet;
    QList<int> m_columns; // grid columns in on-screen order
    QList<TField *> m_fields;
    QList<int> m_rows; // dataset rows
    // Per column, how rowUtf8 writes a cell and a number (made on the first call).
    mutable std::vector<Written> m_written;
    mutable std::vector<FormatSettings::FloatWriter> m_numberWriters;
    mutable std::unique_ptr<FormatSettings::DateTimeWriter> m_dateWriter;
};
