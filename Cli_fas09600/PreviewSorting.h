#pragma once

#include <QObject>
#include <QString>

#include "pkg_fas09600_export.h"

class TClientDataSet;
class TDBGrid;

// Sorting the preview by a click on a column's title: the first click sorts by
// that column ascending, the next one descending, with the header's indicator
// on it. The order is the dataset's own (TClientDataSet::SetIndexField), so the
// cursor, the mark-all pass and the generation run walk the rows as the user
// sees them. The tick column's title keeps its own meaning (mark all): it never
// sorts. "Mês Apurado" sorts by its month as a date, not by its text. Kept()
// and Apply() carry the order in the kept layout.
class PKG_FAS09600_EXPORT PreviewSorting : public QObject
{
    Q_OBJECT
public:
    PreviewSorting(TDBGrid *grid, TClientDataSet *rows);

    // "FIELD" or "FIELD desc"; empty when the rows keep the server's order.
    QString Kept() const;
    // Puts back an order Kept() gave; a field the preview no longer has is ignored.
    void Apply(const QString &kept);
    // Back to the order the server sent.
    void Clear();

private:
    // The field a column's rows are ordered by.
    QString sortField(const QString &columnField) const;
    void titleClicked(int column);
    void showIndicator();

    TDBGrid *m_grid;
    TClientDataSet *m_rows;
};
