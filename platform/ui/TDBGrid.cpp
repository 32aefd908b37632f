#include "platform/ui/TDBGrid.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QToolTip>

#include "platform/ui/EventGuard.h"
#include "platform/ui/TDisplayRowScope.h"
#include "platform/ui/TGridHeader.h"

namespace {

// Hands every data cell to the grid, which paints it through its handler.
class TDBGridDelegate : public QStyledItemDelegate
{
public:
    explicit TDBGridDelegate(TDBGrid *grid)
        : QStyledItemDelegate(grid)
        , m_grid(grid)
    {
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        TGridDrawState state;
        state.Selected = option.state.testFlag(QStyle::State_Selected);
        state.Focused = option.state.testFlag(QStyle::State_HasFocus);
        m_grid->PaintCell(painter, option.rect, index.row(), index.column(), state);
    }

private:
    TDBGrid *m_grid;
};

} // namespace

TDBGrid::TDBGrid(QWidget *parent)
    : QTableView(parent)
    , m_model(new TDataSetModel(this))
{
    setHorizontalHeader(new TGridHeader(this));
    setModel(m_model);
    setItemDelegate(new TDBGridDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setTabKeyNavigation(false);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(DefaultRowHeight());
    verticalHeader()->setMinimumSectionSize(8);
    verticalHeader()->setFixedWidth(11);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setMinimumSectionSize(4);
    // A title wider than its column ends in "…" (TGridHeader); its tool tip shows it whole.
    horizontalHeader()->viewport()->installEventFilter(this);

    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current, const QModelIndex &previous) {
                if (current.row() != previous.row())
                    moveDataSet(current);
            });
    connect(m_model, &TDataSetModel::currentRowChanged, this, &TDBGrid::followDataSet);
    connect(m_model, &QAbstractItemModel::modelReset, this, &TDBGrid::applyColumnWidths);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int section) {
        if (OnTitleClick && section >= 0 && section < Columns().size()) {
            const TColumn column = Columns().at(section);
            EventGuard::run([&] { OnTitleClick(column); });
        }
    });
}

int TDBGrid::DefaultRowHeight() const
{
    return fontMetrics().height() + 4;
}

void TDBGrid::SetDataSource(TDataSource *source)
{
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    m_model->SetDataSet(source ? source->DataSet() : nullptr);
    if (source) {
        connect(source, &TDataSource::DataSetChanged, this,
                [this](TClientDataSet *dataSet) { m_model->SetDataSet(dataSet); });
    }
}

void TDBGrid::SetColumns(const QList<TColumn> &columns)
{
    m_model->SetColumns(columns);
    applyColumnWidths();
}

const QList<TColumn> &TDBGrid::Columns() const
{
    return m_model->Columns();
}

TField *TDBGrid::ColumnField(int dataCol) const
{
    return m_model->FieldOfColumn(dataCol);
}

void TDBGrid::applyColumnWidths()
{
    const QFontMetrics metrics(font());
    for (int i = 0; i < Columns().size(); ++i) {
        const TColumn &column = Columns().at(i);
        int width = column.Width;
        if (width < 0) {
            // The default for a field: its display width in average characters,
            // or the title when that is wider.
            const TField *field = ColumnField(i);
            const int chars = field ? (field->Def().displayWidth > 0 ? field->Def().displayWidth : field->Size()) : 10;
            const QString title = m_model->headerData(i, Qt::Horizontal).toString();
            width = std::max(metrics.averageCharWidth() * std::max(chars, 1), metrics.horizontalAdvance(title)) + 4;
        }
        setColumnWidth(i, width);
    }
}

bool TDBGrid::TitleCut(int column) const
{
    return static_cast<const TGridHeader *>(horizontalHeader())->TitleCut(column);
}

bool TDBGrid::eventFilter(QObject *watched, QEvent *event)
{
    QHeaderView *header = horizontalHeader();
    if (event->type() != QEvent::ToolTip || watched != header->viewport())
        return QTableView::eventFilter(watched, event);
    const auto *help = static_cast<QHelpEvent *>(event);
    const int column = header->logicalIndexAt(help->pos());
    if (column < 0 || !TitleCut(column)) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    const QRect section(header->sectionViewportPosition(column), 0, header->sectionSize(column), header->height());
    QToolTip::showText(help->globalPos(), m_model->headerData(column, Qt::Horizontal).toString(), header->viewport(),
                       section);
    return true;
}

void TDBGrid::followDataSet(int row)
{
    m_syncing = true;
    if (row < 0) {
        selectionModel()->clearCurrentIndex();
    } else {
        const int column = std::max(currentIndex().column(), 0);
        const QModelIndex target = m_model->index(row, std::min(column, std::max(int(Columns().size()) - 1, 0)));
        selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    m_syncing = false;
}

void TDBGrid::moveDataSet(const QModelIndex &current)
{
    if (m_syncing || !current.isValid())
        return;
    TClientDataSet *dataSet = m_model->DataSet();
    if (!dataSet || !dataSet->Active() || dataSet->CurrentRow() == current.row())
        return;
    EventGuard::run([&] { dataSet->SetRecNo(current.row() + 1); });
}

void TDBGrid::PaintCell(QPainter *painter, const QRect &rect, int row, int column, TGridDrawState state)
{
    TClientDataSet *dataSet = m_model->DataSet();
    if (!dataSet || column < 0 || column >= Columns().size())
        return;
    painter->save();
    painter->setClipRect(rect, Qt::IntersectClip);
    // A column's font colour and the grid's colour are fixed colours of the
    // desktop: they do not change when the window loses the focus.
    TCanvas canvas(*painter, font(), palette().color(QPalette::Active, QPalette::Text));
    canvas.BrushColor = palette().color(QPalette::Active, QPalette::Base);
    {
        TDisplayRowScope scope(dataSet, row);
        if (OnDrawColumnCell) {
            const TColumn &col = Columns().at(column);
            EventGuard::run([&] { OnDrawColumnCell(this, canvas, rect, column, col, state); });
        } else {
            DefaultDrawColumnCell(canvas, rect, column, state);
        }
    }
    painter->restore();
}

void TDBGrid::DefaultDrawDataCell(TCanvas &canvas, const QRect &rect, TField *field, TGridDrawState state)
{
    Q_UNUSED(state);
    canvas.FillRect(rect);
    if (!field)
        return;
    QPainter &painter = canvas.Painter();
    painter.setFont(canvas.Font);
    painter.setPen(canvas.FontColor);
    const QRect area = rect.adjusted(2, 2, -2, 0);
    // A text too wide for the cell ends in "…" rather than being cut at an edge.
    const QString text = QFontMetrics(canvas.Font).elidedText(field->DisplayText(), Qt::ElideRight, area.width());
    const Qt::Alignment alignment = (field->DataType() == TFieldType::Float ? Qt::AlignRight : Qt::AlignLeft)
                                    | Qt::AlignTop;
    painter.drawText(area, int(alignment) | Qt::TextSingleLine, text);
}

void TDBGrid::DefaultDrawColumnCell(TCanvas &canvas, const QRect &rect, int dataCol, TGridDrawState state)
{
    if (state.Selected) {
        canvas.BrushColor = palette().color(QPalette::Highlight);
        canvas.FontColor = palette().color(QPalette::HighlightedText);
    }
    DefaultDrawDataCell(canvas, rect, ColumnField(dataCol), state);
    if (state.Focused)
        canvas.DrawFocusRect(rect);
}

QItemSelectionModel::SelectionFlags TDBGrid::selectionCommand(const QModelIndex &index, const QEvent *event) const
{
    // The selection is the current row and nothing else: Ctrl with a click or
    // the space bar must not deselect it.
    QItemSelectionModel::SelectionFlags flags = QTableView::selectionCommand(index, event);
    if (flags & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle))
        flags = QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
    return flags;
}

void TDBGrid::keyPressEvent(QKeyEvent *event)
{
    int key = event->key();
    if (OnKeyDown)
        EventGuard::run([&] { OnKeyDown(this, key, event->modifiers()); });
    if (key == 0) {
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void TDBGrid::SetEmptyText(const QString &text)
{
    m_emptyText = text;
    viewport()->update();
}

bool TDBGrid::ShowsEmptyText() const
{
    const TClientDataSet *dataSet = m_model->DataSet();
    return !m_emptyText.isEmpty() && dataSet && dataSet->Active() && m_model->rowCount() == 0;
}

void TDBGrid::paintEvent(QPaintEvent *event)
{
    QTableView::paintEvent(event);
    if (!ShowsEmptyText())
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Active, QPalette::PlaceholderText));
    const QRect line(0, DefaultRowHeight(), viewport()->width(), 2 * DefaultRowHeight());
    painter.drawText(line, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine, m_emptyText);
}

void TDBGrid::mousePressEvent(QMouseEvent *event)
{
    m_pressed = indexAt(event->position().toPoint());
    QTableView::mousePressEvent(event);
}

void TDBGrid::mouseReleaseEvent(QMouseEvent *event)
{
    QTableView::mouseReleaseEvent(event);
    const QModelIndex released = indexAt(event->position().toPoint());
    const bool sameCell = released.isValid() && released == QModelIndex(m_pressed);
    m_pressed = QPersistentModelIndex();
    if (sameCell && event->button() == Qt::LeftButton && OnCellClick) {
        const TColumn column = Columns().at(released.column());
        EventGuard::run([&] { OnCellClick(column); });
    }
}
