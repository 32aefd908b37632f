#include "Cli_fas09600/LegendTotals.h"

#include <algorithm>

#include <QLabel>

namespace {

constexpr int Gap = 16;   // between the legend and the totals, and between the two totals
constexpr int Margin = 7; // the legend's left margin, for a line of totals alone

int textWidth(const QLabel &label)
{
    return label.text().isEmpty() ? 0 : label.fontMetrics().horizontalAdvance(label.text()) + 4;
}

} // namespace

LegendTotals::LegendTotals(QWidget &panel, QWidget &above, QLabel &rows, QLabel &ticked, int legendEnd)
    : m_panel(panel)
    , m_above(above)
    , m_rows(rows)
    , m_ticked(ticked)
    , m_designedPanel(panel.geometry())
    , m_designedAbove(above.geometry())
    , m_designedTicked(ticked.geometry())
    , m_legendEnd(legendEnd)
{
}

int LegendTotals::lines(int rowsWidth, int tickedWidth) const
{
    const int right = m_designedTicked.right() + 1;
    if (m_legendEnd + Gap + rowsWidth + Gap + tickedWidth <= right)
        return 1;
    return Margin + rowsWidth + Gap + tickedWidth <= right ? 2 : 3;
}

void LegendTotals::Place()
{
    const int rowsWidth = textWidth(m_rows);
    const int tickedWidth = textWidth(m_ticked);
    const int count = lines(rowsWidth, tickedWidth);
    const int step = std::max(m_designedTicked.height(), m_ticked.fontMetrics().height()) + 2;
    const int grown = (count - 1) * step;
    m_panel.setGeometry(m_designedPanel.adjusted(0, -grown, 0, 0));
    m_above.setGeometry(m_designedAbove.adjusted(0, 0, 0, -grown));
    const int right = m_designedTicked.right() + 1;
    const int tickedTop = m_designedTicked.top() + (count - 1) * step;
    const int rowsTop = m_designedTicked.top() + (count == 1 ? 0 : step);
    m_ticked.setGeometry(right - tickedWidth, tickedTop, tickedWidth, m_designedTicked.height());
    const int rowsRight = count == 3 ? right : right - tickedWidth - Gap;
    m_rows.setGeometry(rowsRight - rowsWidth, rowsTop, rowsWidth, m_designedTicked.height());
}
