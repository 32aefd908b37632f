#pragma once

#include <QObject>

#include "pkg_fas09600_export.h"

class QModelIndex;
class QRect;
class TDBGrid;

// The preview grid's cell tool tips: a cell whose text the grid cannot show
// whole (cut with "…", or, for "Data da Apuração", shown without its time)
// shows the whole text in its tool tip; other cells and the two picture
// columns show none.
class PKG_FAS09600_EXPORT CellToolTips : public QObject
{
    Q_OBJECT
public:
    explicit CellToolTips(TDBGrid *grid);

    // The cell's whole text when the grid shows less of it; empty otherwise.
    QString TipFor(const QModelIndex &index) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The pixels the painted text may take in `cell`.
    int textRoom(int column, const QRect &cell) const;

    TDBGrid *m_grid;
};
