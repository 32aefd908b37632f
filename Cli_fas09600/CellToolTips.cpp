#include "Cli_fas09600/CellToolTips.h"

#include <QHelpEvent>
#include <QToolTip>

#include "Cli_fas09600/PreviewCells.h"
#include "platform/ui/TDBGrid.h"
#include "platform/data/TField.h"

CellToolTips::CellToolTips(TDBGrid *grid)
    : QObject(grid)
    , m_grid(grid)
{
    grid->viewport()->installEventFilter(this);
}

int CellToolTips::textRoom(int column, const QRect &cell) const
{
    // As dbgPadraoDrawColumnCell writes it: from Left + 2 to the cell's right
    // edge; the total through the grid's standard drawing, 2 pixels in on both sides.
    const TField *field = m_grid->ColumnField(column);
    const bool total = field && field->FieldName() == QLatin1String("VRTOTAFATFAS");
    return cell.width() - (total ? 4 : 2);
}

QString CellToolTips::TipFor(const QModelIndex &index) const
{
    const TField *field = index.isValid() ? m_grid->ColumnField(index.column()) : nullptr;
    if (!field || field->FieldName() == QLatin1String("IDCHECK") || field->FieldName() == QLatin1String("IDSTAPFATFAS"))
        return {};
    const QString shown = index.data().toString();
    const QString whole = PreviewCells::CellText(*m_grid, index.row(), index.column());
    const bool cut = m_grid->fontMetrics().horizontalAdvance(shown)
                     > textRoom(index.column(), m_grid->visualRect(index));
    return whole != shown || cut ? whole : QString();
}

bool CellToolTips::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::ToolTip || watched != m_grid->viewport())
        return QObject::eventFilter(watched, event);
    const auto *help = static_cast<QHelpEvent *>(event);
    const QModelIndex index = m_grid->indexAt(help->pos());
    const QString tip = TipFor(index);
    if (tip.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(help->globalPos(), tip, m_grid->viewport(), m_grid->visualRect(index));
    }
    return true;
}
