#include "platform/ui/GridCells.h"

#include <QHeaderView>

#include "platform/data/FormatSettings.h"
#include "platform/data/TClientDataSet.h"
#include "platform/data/TField.h"
#include "platform/ui/TDBGrid.h"
#include "platform/ui/TDisplayRowScope.h"

GridCells::GridCells(const TDBGrid &grid)
    : GridCells(grid, {})
{
    if (!m_dataSet || !m_dataSet->Active())
        return;
    const int count = grid.DataModel()->rowCount();
    m_rows.reserve(count);
    for (int row = 0; row < count; ++row)
        m_rows << row;
}

GridCells::GridCells(const TDBGrid &grid, QList<int> rows)
    : m_grid(grid)
    , m_dataSet(grid.DataModel()->DataSet())
    , m_rows(std::move(rows))
{
    takeShownColumns();
}

void GridCells::takeShownColumns()
{
    const QHeaderView *header = m_grid.horizontalHeader();
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (!header->isSectionHidden(logical) && m_grid.ColumnField(logical)) {
            m_columns << logical;
            m_fields << m_grid.ColumnField(logical);
        }
    }
}

template<typename Read>
auto GridCells::read(int row, int column, Read read) const
{
    const TDisplayRowScope displayed(m_dataSet, m_rows.at(row));
    return read(*field(column));
}

QString GridCells::ShownText(const TField &field)
{
    if (field.DataType() == TFieldType::DateTime)
        return field.IsNull() ? QString() : FormatSettings::dateTimeToString(field.AsDateTime());
    return field.DisplayText();
}

QString GridCells::cellText(const TField &field, int column) const
{
    Q_UNUSED(column);
    return ShownText(field);
}

QString GridCells::columnTitle(int gridColumn) const
{
    return m_grid.model()->headerData(gridColumn, Qt::Horizontal).toString();
}

QString GridCells::title(int column) const
{
    return columnTitle(m_columns.at(column));
}

ExportTable::Kind GridCells::kind(int column) const
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

int GridCells::widthPixels(int column) const
{
    return m_grid.columnWidth(m_columns.at(column));
}

QString GridCells::text(int row, int column) const
{
    return read(row, column, [this, column](const TField &f) { return cellText(f, column); });
}

bool GridCells::isBlank(int row, int column) const
{
    return read(row, column, [](const TField &f) { return f.IsNull(); });
}

double GridCells::number(int row, int column) const
{
    return read(row, column, [](const TField &f) { return f.AsFloat(); });
}

QDateTime GridCells::dateTime(int row, int column) const
{
    return read(row, column, [](const TField &f) { return f.AsDateTime(); });
}
