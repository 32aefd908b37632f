#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>

#include "fasui_export.h"

class QFontMetrics;
class QPainter;

// The drawing surface a grid hands to its cell painter: a brush colour for fills
// and text backgrounds, a font and its colour, and the few drawing operations
// cell painters use. Rectangles are Qt rectangles (right and bottom inclusive).
class FASUI_EXPORT TCanvas
{
public:
    TCanvas(QPainter &painter, const QFont &font, const QColor &fontColor);

    QColor BrushColor;
    QColor FontColor;
    QFont Font;

    QPainter &Painter() { return m_painter; }

    void FillRect(const QRect &rect);
    // Writes text with its top left corner at (x, y), on the brush colour.
    void TextOut(int x, int y, const QString &text);
    // TextOut for a cell: a text that would pass the right edge of `rect` ends
    // in "…" inside it instead of being cut; a text that fits is written as
    // TextOut writes it.
    void TextRect(const QRect &rect, int x, int y, const QString &text);
    void DrawFocusRect(const QRect &rect);
    // Copies `source` of `bitmap` into `dest`; every opaque pixel of `transparent`
    // takes the brush colour. Cut to `dest`, never scaled. The recoloured picture
    // is kept per (picture, colours), so painting the same picture again costs
    // one blit.
    void BrushCopy(const QRect &dest, const QImage &bitmap, const QRect &source, const QColor &transparent);

private:
    void textAt(const QFontMetrics &metrics, int x, int y, const QString &text, int advance);

    QPainter &m_painter;
};
