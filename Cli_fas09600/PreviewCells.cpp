#include "Cli_fas09600/PreviewCells.h"

#include "billing/BillingCodes.h"
#include "platform/data/TRecordStore.h"
#include "platform/data/TClientDataSet.h"
#include "platform/ui/TDBGrid.h"
#include "platform/ui/TDisplayRowScope.h"
#include "platform/data/TField.h"

PreviewCells::Shown PreviewCells::shownAs(const TField &field)
{
    const QString name = field.FieldName();
    if (name == QLatin1String("IDSTAPFATFAS"))
        return Shown::Situation;
    if (name == QLatin1String("IDCHECK"))
        return Shown::Tick;
    return field.DataType() == TFieldType::DateTime ? Shown::DateTime : Shown::Plain;
}

namespace {

QString fromStored(const QString &stored, PreviewCells::Shown shown)
{
    if (shown == PreviewCells::Shown::Situation)
        return BillingCodes::situationText(stored);
    return stored == QLatin1String("S") ? QStringLiteral("Sim") : QStringLiteral("Não");
}

QString shownText(const TField &field, PreviewCells::Shown shown)
{
    using Shown = PreviewCells::Shown;
    switch (shown) {
    case Shown::Situation:
    case Shown::Tick:
        return fromStored(field.AsString(), shown);
    case Shown::DateTime:
    case Shown::Plain:
        break;
    }
    return GridCells::ShownText(field);
}

} // namespace

PreviewCells::PreviewCells(const TDBGrid &grid, Rows rows)
    : GridCells(grid)
{
    takeShownKinds();
    const TClientDataSet *rowsOf = dataSet();
    if (rows == Rows::All || !rowsOf || !rowsOf->Active())
        return;
    const TRecordStore &store = rowsOf->Store();
    const int tick = store.indexOf(QStringLiteral("IDCHECK"));
    const int count = grid.DataModel()->rowCount();
    QList<int> ticked;
    for (int row = 0; row < count; ++row) {
        if (tick >= 0 && !store.isNull(row, tick) && store.text(row, tick) == "S")
            ticked << row;
    }
    setRows(std::move(ticked));
}

PreviewCells::PreviewCells(const TDBGrid &grid, QList<int> rows)
    : GridCells(grid, std::move(rows))
{
    takeShownKinds();
}

void PreviewCells::takeShownKinds()
{
    for (int column = 0; column < columnCount(); ++column)
        m_shown << shownAs(*field(column));
}

QString PreviewCells::cellText(const TField &field, int column) const
{
    return shownText(field, m_shown.at(column));
}

void PreviewCells::appendCellUtf8(const TField &field, int column, std::string &utf8) const
{
    const Shown shown = m_shown.at(column);
    if (shown != Shown::Situation && shown != Shown::Tick) {
        GridCells::appendCellUtf8(field, column, utf8);
        return;
    }
    const TRecordStore &store = field.DataSet()->BufferStore();
    const int row = field.DataSet()->BufferRow();
    const bool stored = field.DataType() == TFieldType::String || field.DataType() == TFieldType::FixedChar;
    if (!stored) {
        utf8 += cellText(field, column).toStdString();
        return;
    }
    auto key = std::make_pair(shown, std::string(store.text(row, field.Index())));
    auto at = m_fromStored.find(key);
    if (at == m_fromStored.end())
        at = m_fromStored.emplace(std::move(key), cellText(field, column).toStdString()).first;
    utf8 += at->second;
}

QString PreviewCells::columnTitle(int gridColumn) const
{
    return ColumnTitle(grid(), gridColumn);
}

QString PreviewCells::ColumnTitle(const TDBGrid &grid, int gridColumn)
{
    const TField *columnField = grid.ColumnField(gridColumn);
    const QString name = columnField ? columnField->FieldName() : QString();
    // The two picture columns have a symbol and a blank for titles.
    if (name == QLatin1String("IDCHECK"))
        return QStringLiteral("Marcado");
    if (name == QLatin1String("IDSTAPFATFAS"))
        return QStringLiteral("Situação");
    return grid.model()->headerData(gridColumn, Qt::Horizontal).toString();
}

QString PreviewCells::CellText(const TDBGrid &grid, int datasetRow, int gridColumn)
{
    TField *cellField = grid.ColumnField(gridColumn);
    if (!cellField)
        return {};
    TDisplayRowScope scope(grid.DataModel()->DataSet(), datasetRow);
    return shownText(*cellField, shownAs(*cellField));
}

bool PreviewCells::ShowsStoredText(const TField &field)
{
    const TFieldType type = field.DataType();
    return shownAs(field) == Shown::Plain && (type == TFieldType::String || type == TFieldType::FixedChar)
           && !field.OnGetText();
}

bool PreviewCells::ShowsFromStoredText(const TField &field)
{
    const TFieldType type = field.DataType();
    const Shown shown = shownAs(field);
    return (shown == Shown::Situation || shown == Shown::Tick)
           && (type == TFieldType::String || type == TFieldType::FixedChar);
}

QString PreviewCells::ShownFromStored(const TField &field, const QString &stored)
{
    return fromStored(stored, shownAs(field));
}
