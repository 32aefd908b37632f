#pragma once

#include <functional>

#include <QPointer>
#include <QTableView>

#include "platform/ui/TCanvas.h"
#include "platform/ui/TColumn.h"
#include "platform/ui/TDataSetModel.h"
#include "platform/ui/TDataSource.h"
#include "fasui_export.h"

// What a grid tells its cell painter about a cell.
struct TGridDrawState
{
    bool Selected = false; // the cell belongs to the grid's selection (the current row)
    bool Focused = false;  // the cell has the input focus
};

// A data grid over a data source: persistent columns, the current row kept in
// step with the dataset's cursor, and the classic grid events. Every data cell
// is painted through OnDrawColumnCell when a handler is set, otherwise by
// DefaultDrawColumnCell. The grid selects whole rows; the focused cell is the
// current column of the current row. Handlers run through the event guard.
class FASUI_EXPORT TDBGrid : public QTableView
{
    Q_OBJECT
public:
    using DrawColumnCellHandler = std::function<void(TDBGrid *sender, TCanvas &canvas, const QRect &rect, int dataCol,
                                                     const TColumn &column, TGridDrawState state)>;
    using ColumnHandler = std::function<void(const TColumn &column)>;
    using KeyDownHandler = std::function<void(QObject *sender, int &key, Qt::KeyboardModifiers shift)>;

    explicit TDBGrid(QWidget *parent = nullptr);

    void SetDataSource(TDataSource *source);
    TDataSource *DataSource() const { return m_source; }
    void SetColumns(const QList<TColumn> &columns);
    const QList<TColumn> &Columns() const;
    TField *ColumnField(int dataCol) const;

    DrawColumnCellHandler OnDrawColumnCell;
    ColumnHandler OnCellClick;
    ColumnHandler OnTitleClick;
    KeyDownHandler OnKeyDown;

    // The grid's standard drawing of a data cell: fills it with the brush colour
    // and writes the field's display text aligned as the field says (numbers right).
    void DefaultDrawDataCell(TCanvas &canvas, const QRect &rect, TField *field, TGridDrawState state);
    void DefaultDrawColumnCell(TCanvas &canvas, const QRect &rect, int dataCol, TGridDrawState state);

    // A line painted inside the grid while its dataset is open without rows
    // (nothing while it is closed): the grid says so instead of staying blank.
    void SetEmptyText(const QString &text);
    const QString &EmptyText() const { return m_emptyText; }
    bool ShowsEmptyText() const;

    // Whether the column's title is too wide for its header section, so that the
    // header shows it cut with "…" (and whole in the section's tool tip).
    bool TitleCut(int column) const;

    TDataSetModel *DataModel() const { return m_model; }
    int DefaultRowHeight() const;

    // Paints one data cell as the grid would (used by its delegate).
    void PaintCell(QPainter *painter, const QRect &rect, int row, int column, TGridDrawState state);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event = nullptr) const override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void followDataSet(int row);
    void moveDataSet(const QModelIndex &current);
    void applyColumnWidths();

    TDataSetModel *m_model;
    QPointer<TDataSource> m_source;
    QPersistentModelIndex m_pressed;
    bool m_syncing = false;
    QString m_emptyText;
};
