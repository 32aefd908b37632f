#pragma once

#include <QRect>

class QLabel;
class QWidget;

// The rows' and the ticked totals at the right end of the legend panel, measured
// in their font so that no part of the legend ever runs into another: on the
// legend's own line while they fit beside its captions; else on a line of their
// own below it; else each on its own line. A panel that needs more lines grows
// upwards, taking their height from the area above it (the grid's).
class LegendTotals
{
public:
    // Takes the designed places of the panel, the area above it and the
    // ticked totals' label; the legend's captions end at `legendEnd`.
    LegendTotals(QWidget &panel, QWidget &above, QLabel &rows, QLabel &ticked, int legendEnd);

    // Places both labels for their current texts.
    void Place();

private:
    int lines(int rowsWidth, int tickedWidth) const;

    QWidget &m_panel;
    QWidget &m_above;
    QLabel &m_rows;
    QLabel &m_ticked;
    QRect m_designedPanel;
    QRect m_designedAbove;
    QRect m_designedTicked;
    int m_legendEnd;
};
