#pragma once

#include <map>
#include <string>
#include <utility>

#include <QList>

#include "pkg_fas09600_export.h"
#include "platform/ui/GridCells.h"

class TDBGrid;
class TField;

// The preview grid's rows as the user sees them, for export, the clipboard and
// find (GridCells), with the preview's own readings: the status as its
// situation text, the tick as "Sim" or "Não", the two picture columns titled;
// and the ticked rows alone when asked.
class PKG_FAS09600_EXPORT PreviewCells : public GridCells
{
public:
    enum class Rows { All, Ticked };
    // How a field's cells read: the status as its situation text, the tick as
    // "Sim"/"Não", a date-time whole, anything else as the grid shows it.
    enum class Shown { Situation, Tick, DateTime, Plain };
    PreviewCells(const TDBGrid &grid, Rows rows);
    PreviewCells(const TDBGrid &grid, QList<int> rows);

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

protected:
    QString cellText(const TField &field, int column) const override;
    void appendCellUtf8(const TField &field, int column, std::string &utf8) const override;
    QString columnTitle(int gridColumn) const override;

private:
    void takeShownKinds();
    static Shown shownAs(const TField &field);

    QList<Shown> m_shown; // per column, found once
    // The status and tick texts by stored text, made once each.
    mutable std::map<std::pair<Shown, std::string>, std::string> m_fromStored;
};
