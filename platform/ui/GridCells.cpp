#include "platform/ui/GridCells.h"

#include <QHeaderView>

#include "platform/data/FormatSettings.h"
#include "platform/data/TClientDataSet.h"
#include "platform/data/TField.h"
#include "platform/data/TRecordStore.h"
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

void GridCells::rowUtf8(int row, std::vector<std::string> &cells) const
{
    if (!m_dateWriter) {
        m_dateWriter = std::make_unique<FormatSettings::DateTimeWriter>();
        for (const TField *columnField : m_fields) {
            m_numberWriters.emplace_back(columnField->Def().displayFormat);
            m_written.push_back(writtenAs(*columnField));
        }
    }
    cells.resize(m_fields.size());
    const TDisplayRowScope displayed(m_dataSet, m_rows.at(row));
    for (int column = 0; column < columnCount(); ++column) {
        std::string &cell = cells[std::size_t(column)];
        cell.clear();
        appendCellUtf8(*field(column), column, cell);
    }
}

// As ShownText: a date-time whole (blank when null), a text field without a
// text handler as stored, a number in its display format; anything else as
// its display text.
GridCells::Written GridCells::writtenAs(const TField &field)
{
    const bool handled = bool(field.OnGetText());
    switch (field.DataType()) {
    case TFieldType::DateTime:
        return Written::DateTime;
    case TFieldType::String:
    case TFieldType::FixedChar:
        return handled ? Written::Shown : Written::Stored;
    case TFieldType::Float:
        return handled || field.Def().displayFormat.isEmpty() ? Written::Shown : Written::Number;
    }
    return Written::Shown;
}

void GridCells::appendCellUtf8(const TField &field, int column, std::string &utf8) const
{
    const TRecordStore &store = m_dataSet->BufferStore();
    const int row = m_dataSet->BufferRow();
    const int index = field.Index();
    switch (m_written[std::size_t(column)]) {
    case Written::Stored:
        utf8 += store.text(row, index);
        break;
    case Written::DateTime:
        if (!store.isNull(row, index))
            m_dateWriter->append(store.dateTimeMs(row, index), utf8);
        break;
    case Written::Number:
        if (!store.isNull(row, index))
            m_numberWriters[std::size_t(column)].append(store.number(row, index), utf8);
        break;
    case Written::Shown:
        utf8 += cellText(field, column).toStdString();
        break;
    }
}
