#pragma once

#include <QList>

#include "Cli_fas09600/ExportTable.h"
#include "pkg_fas09600_export.h"

class TClientDataSet;
class TDBGrid;
class TField;

// The preview grid's rows as the user sees them, for export, the clipboard and
// find: the shown columns in their on-screen order and titles, the rows in the
// grid's order (all, only the ticked ones, or a chosen few). The status reads as
// its situation text, the tick as "Sim" or "Não", the calculation's date whole.
class PKG_FAS09600_EXPORT PreviewCells : public ExportTable
{
public:
    enum class Rows { All, Ticked };
    // How a field's cells read: the status as its situation text, the tick as
    // "Sim"/"Não", a date-time whole, anything else as the grid shows it.
    enum class Shown { Situation, Tick, DateTime, Plain };
    PreviewCells(const TDBGrid &grid, Rows rows);
    PreviewCells(const TDBGrid &grid, QList<int> rows);

    int columnCount() const override { return int(m_columns.size()); }
    QString title(int column) const override;
    Kind kind(int column) const override;
    int widthPixels(int column) const override;
    int rowCount() const override { return int(m_rows.size()); }
    QString text(int row, int column) const override;
    bool isBlank(int row, int column) const override;
    double number(int row, int column) const override;
    QDateTime dateTime(int row, int column) const override;

    // The title of a grid column as title() gives it (the picture columns named).
    static QString ColumnTitle(const TDBGrid &grid, int gridColumn);
    // The text of one grid cell, by dataset row and grid column, as text() gives it.
    static QString CellText(const TDBGrid &grid, int datasetRow, int gridColumn);
    // Whether a cell of `field` reads as the text stored in the dataset as it is
    // (a plain text field with no text handler), so a reader may take the
    // stored UTF-8 instead of making the cell's text.
    static bool ShowsStoredText(const TField &field);
    // Whether a cell of `field` reads as a text made from its stored text alone
    // (the status, the tick), and that text for a stored one (a null as an empty one).
    static bool ShowsFromStoredText(const TField &field);
    static QString ShownFromStored(const TField &field, const QString &stored);

private:
    void takeShownColumns();
    static Shown shownAs(const TField &field);
    TField *field(int column) const { return m_fields.at(column); }
    // The field of `column` reading dataset row `row` (the display row, set
    // for the call: the cursor does not move).
    template<typename Read>
    auto read(int row, int column, Read read) const;

    const TDBGrid &m_grid;
    TClientDataSet *m_dataSet;
    QList<int> m_columns; // grid columns in on-screen order
    QList<TField *> m_fields;
    QList<Shown> m_shown; // per column, found once
    QList<int> m_rows;    // dataset rows
};
