#pragma once

#include <QString>

class TClientDataSet;

// The ticked rows of the preview (IDCHECK "S"): how many there are and the sum
// of their VRTOTAFATFAS, shown at the right end of the legend panel. Counted in
// full when rows are loaded and after a mark-all pass; a single tick only adjusts
// the figures, so ticking stays instant on a large preview.
class TickTotals
{
public:
    // Counts every posted row of the dataset; a closed dataset counts nothing.
    void Recount(const TClientDataSet &dataSet);
    // One row's tick went from `before` to `after`.
    void Changed(const QString &before, const QString &after, double total);

    int Count() const { return m_count; }
    // Every posted row and the sum of their totals, counted at each Recount.
    int Rows() const { return m_rows; }
    double Sum() const;
    bool Loaded() const { return m_loaded; }

    // "Marcados: 3   Total marcado: 1.234,50" in the host's number settings;
    // empty while no preview is loaded.
    QString Text() const;
    // "Linhas: 12   Total: 9.876,50", beside Text(); empty while no preview is loaded.
    QString RowsText() const;

private:
    int m_count = 0;
    long double m_sum = 0.0L;
    int m_rows = 0;
    long double m_rowsSum = 0.0L;
    bool m_loaded = false;
};
