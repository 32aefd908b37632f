#include "CalculationDateColumn.h"

#include <QHelpEvent>
#include <QToolTip>

#include "FormatSettings.h"
#include "PreviewCells.h"
#include "TClientDataSet.h"
#include "TDBGrid.h"
#include "TField.h"

CalculationDateColumn::CalculationDateColumn(TDBGrid *grid, TClientDataSet *dataSet)
    : QObject(grid)
    , m_grid(grid)
{
    dataSet->FieldByName(FieldName())->SetOnGetText([](const TField &field, bool displayText) {
        if (!displayText || field.IsNull())
            return field.AsString();
        return field.AsDateTime().date().toString(FormatSettings::shortDateFormat());
    });
    grid->viewport()->installEventFilter(this);
}

bool CalculationDateColumn::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::ToolTip || watched != m_grid->viewport())
        return QObject::eventFilter(watched, event);
    const auto *help = static_cast<QHelpEvent *>(event);
    const QModelIndex index = m_grid->indexAt(help->pos());
    const TField *field = index.isValid() ? m_grid->ColumnField(index.column()) : nullptr;
    if (!field || field->FieldName() != FieldName()) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    QToolTip::showText(help->globalPos(), PreviewCells::CellText(*m_grid, index.row(), index.column()), m_grid->viewport(),
                       m_grid->visualRect(index));
    return true;
}
