#include "Cli_fas09600/PreviewSorting.h"

#include <QHeaderView>

#include "platform/ui/EventGuard.h"
#include "platform/data/TClientDataSet.h"
#include "platform/ui/TDBGrid.h"

namespace {

const QLatin1String TickField("IDCHECK");
const QLatin1String Descending(" desc");

// Columns whose text does not sort as its value: "Mês Apurado" reads "mm/yyyy",
// which would put 01/2025 before 12/2024; its month as a date sorts it.
const QLatin1String MonthText("MESAPURADO");
const QLatin1String MonthDate("DTMESAPURFAS");

} // namespace

QString PreviewSorting::sortField(const QString &columnField) const
{
    if (columnField.compare(MonthText, Qt::CaseInsensitive) == 0 && m_rows->FindField(MonthDate))
        return MonthDate;
    return columnField;
}

PreviewSorting::PreviewSorting(TDBGrid *grid, TClientDataSet *rows)
    : QObject(grid)
    , m_grid(grid)
    , m_rows(rows)
{
    QHeaderView *header = grid->horizontalHeader();
    header->setSortIndicatorShown(true);
    showIndicator();
    // After the grid's own title click (the mark-all pass on the tick column).
    connect(header, &QHeaderView::sectionClicked, this,
            [this](int column) { EventGuard::run([&] { titleClicked(column); }); });
}

void PreviewSorting::titleClicked(int column)
{
    const QList<TColumn> &columns = m_grid->Columns();
    if (column >= 0 && column < columns.size() && columns.at(column).FieldName != TickField) {
        const QString field = sortField(columns.at(column).FieldName);
        const bool again = field.compare(m_rows->IndexField(), Qt::CaseInsensitive) == 0;
        m_rows->SetIndexField(field, again && !m_rows->IndexDescending());
    }
    // The header turns its indicator on every click; it shows the rows' order.
    showIndicator();
}

void PreviewSorting::showIndicator()
{
    int section = -1;
    const QList<TColumn> &columns = m_grid->Columns();
    for (int column = 0; column < columns.size() && !m_rows->IndexField().isEmpty(); ++column) {
        if (sortField(columns.at(column).FieldName).compare(m_rows->IndexField(), Qt::CaseInsensitive) == 0)
            section = column;
    }
    m_grid->horizontalHeader()->setSortIndicator(section,
                                                 m_rows->IndexDescending() ? Qt::DescendingOrder : Qt::AscendingOrder);
}

QString PreviewSorting::Kept() const
{
    if (m_rows->IndexField().isEmpty())
        return {};
    return m_rows->IndexField() + (m_rows->IndexDescending() ? QString(Descending) : QString());
}

void PreviewSorting::Apply(const QString &kept)
{
    QString field = kept.trimmed();
    const bool descending = field.endsWith(Descending);
    if (descending)
        field.chop(Descending.size());
    if (field.isEmpty() || field == TickField || !m_rows->FindField(field))
        field.clear();
    field = sortField(field);
    m_rows->SetIndexField(field, descending);
    showIndicator();
}

void PreviewSorting::Clear()
{
    Apply(QString());
}
