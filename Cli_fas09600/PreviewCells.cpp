#include "Cli_fas09600/PreviewCells.h"

#include <QHeaderView>

#include "billing/BillingCodes.h"
#include "platform/data/FormatSettings.h"
#include "platform/data/TClientDataSet.h"
#include "platform/ui/TDBGrid.h"
#include "platform/ui/TDisplayRowScope.h"
#include "platform/data/TField.h"

namespace {

} // namespace

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
        return field.IsNull() ? QString() : FormatSettings::dateTimeToString(field.AsDateTime());
    case Shown::Plain:
        break;
    }
    return field.DisplayText();
}

} // namespace

PreviewCells::PreviewCells(const TDBGrid &grid, Rows rows)
    : m_grid(grid)
    , m_dataSet(grid.DataModel()->DataSet())
{
    takeShownColumns();
    const TClientDataSet *dataSet = m_dataSet;
    if (!dataSet || !dataSet->Active())
        return;
    const TRecordStore &store = dataSet->Store();
    const int tick = store.indexOf(QStringLiteral("IDCHECK"));
    const int count = grid.DataModel()->rowCount();
    m_rows.reserve(count);
    for (int row = 0; row < count; ++row) {
        if (rows == Rows::Ticked && (tick < 0 || store.isNull(row, tick) || store.text(row, tick) != "S"))
            continue;
        m_rows << row;
    }
}

PreviewCells::PreviewCells(const TDBGrid &grid, QList<int> rows)
    : m_grid(grid)
    , m_dataSet(grid.DataModel()->DataSet())
    , m_rows(std::move(rows))
{
    takeShownColumns();
}

void PreviewCells::takeShownColumns()
{
    const QHeaderView *header = m_grid.horizontalHeader();
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (!header->isSectionHidden(logical) && m_grid.ColumnField(logical)) {
            m_columns << logical;
            m_fields << m_grid.ColumnField(logical);
            m_shown << shownAs(*m_fields.last());
        }
    }
}

template<typename Read>
auto PreviewCells::read(int row, int column, Read read) const
{
    const TDisplayRowScope displayed(m_dataSet, m_rows.at(row));
    return read(*field(column));
}

QString PreviewCells::title(int column) const
{
    return ColumnTitle(m_grid, m_columns.at(column));
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

ExportTable::Kind PreviewCells::kind(int column) const
{
    switch (field(column)->DataType()) {
    case TFieldType::Float:
        return Kind::Number;
    case TFieldType::DateTime:
        return Kind::DateTime;
    default:
        return Kind::Text;
    }
}

int PreviewCells::widthPixels(int column) const
{
    return m_grid.columnWidth(m_columns.at(column));
}

QString PreviewCells::text(int row, int column) const
{
    return read(row, column, [shown = m_shown.at(column)](const TField &f) { return shownText(f, shown); });
}

bool PreviewCells::isBlank(int row, int column) const
{
    return read(row, column, [](const TField &f) { return f.IsNull(); });
}

double PreviewCells::number(int row, int column) const
{
    return read(row, column, [](const TField &f) { return f.AsFloat(); });
}

QDateTime PreviewCells::dateTime(int row, int column) const
{
    return read(row, column, [](const TField &f) { return f.AsDateTime(); });
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
