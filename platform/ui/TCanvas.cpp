#include "TCanvas.h"

#include <QFontMetrics>
#include <QPainter>

TCanvas::TCanvas(QPainter &painter, const QFont &font, const QColor &fontColor)
    : FontColor(fontColor)
    , Font(font)
    , m_painter(painter)
{
}

void TCanvas::FillRect(const QRect &rect)
{
    m_painter.fillRect(rect, BrushColor);
}

void TCanvas::TextOut(int x, int y, const QString &text)
{
    if (text.isEmpty())
        return;
    const QFontMetrics metrics(Font);
    const QRect box(x, y, metrics.horizontalAdvance(text), metrics.height());
    m_painter.fillRect(box, BrushColor);
    m_painter.setFont(Font);
    m_painter.setPen(FontColor);
    m_painter.drawText(QPoint(x, y + metrics.ascent()), text);
}

void TCanvas::DrawFocusRect(const QRect &rect)
{
    // A dotted frame that inverts what lies under it, as focus frames do.
    m_painter.save();
    m_painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    QPen pen(Qt::white, 1, Qt::DotLine);
    m_painter.setPen(pen);
    m_painter.setBrush(Qt::NoBrush);
    m_painter.drawRect(rect.adjusted(0, 0, -1, -1));
    m_painter.restore();
}

void TCanvas::BrushCopy(const QRect &dest, const QImage &bitmap, const QRect &source, const QColor &transparent)
{
    if (bitmap.isNull() || dest.isEmpty())
        return;
    const QRect from = source.intersected(bitmap.rect());
    if (from.isEmpty())
        return;
    QImage piece = bitmap.copy(from).convertToFormat(QImage::Format_ARGB32);
    const QRgb key = transparent.rgb() | 0xFF000000u;
    const QRgb fill = BrushColor.rgb() | 0xFF000000u;
    for (int y = 0; y < piece.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(piece.scanLine(y));
        for (int x = 0; x < piece.width(); ++x) {
            if ((line[x] | 0xFF000000u) == key)
                line[x] = fill;
        }
    }
    m_painter.save();
    m_painter.setClipRect(dest, Qt::IntersectClip);
    m_painter.drawImage(dest.topLeft(), piece);
    m_painter.restore();
}
