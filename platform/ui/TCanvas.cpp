#include "platform/ui/TCanvas.h"

#include <algorithm>

#include <QFontMetrics>
#include <QHash>
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
    textAt(metrics, x, y, text, metrics.horizontalAdvance(text));
}

void TCanvas::TextRect(const QRect &rect, int x, int y, const QString &text)
{
    if (text.isEmpty())
        return;
    const QFontMetrics metrics(Font);
    const int room = rect.right() - x + 1;
    const int advance = metrics.horizontalAdvance(text);
    if (advance <= room) {
        textAt(metrics, x, y, text, advance);
        return;
    }
    const QString fitted = metrics.elidedText(text, Qt::ElideRight, std::max(room, 0));
    textAt(metrics, x, y, fitted, metrics.horizontalAdvance(fitted));
}

void TCanvas::textAt(const QFontMetrics &metrics, int x, int y, const QString &text, int advance)
{
    if (text.isEmpty())
        return;
    m_painter.fillRect(QRect(x, y, advance, metrics.height()), BrushColor);
    m_painter.setFont(Font);
    m_painter.setPen(FontColor);
    m_painter.drawText(QPoint(x, y + metrics.ascent()), text);
}

void TCanvas::DrawFocusRect(const QRect &rect)
{
    // A frame of every other pixel that inverts what lies under it, as focus
    // frames do: drawn twice, it is gone.
    m_painter.save();
    m_painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    QPen pen(Qt::white, 1);
    pen.setCosmetic(true);
    pen.setDashPattern({1.0, 1.0});
    m_painter.setPen(pen);
    m_painter.setBrush(Qt::NoBrush);
    m_painter.drawRect(rect.adjusted(0, 0, -1, -1));
    m_painter.restore();
}

namespace {

// A grid paints the same few pictures on the same few backgrounds over and over:
// each picture with its transparent colour replaced is made once per brush
// colour and kept. QImage::cacheKey() names the picture's pixels, so a copy of a
// picture finds the same entry and a changed picture gets a new one.
struct BrushCopyKey
{
    qint64 image;
    QRgb transparent;
    QRgb brush;
    bool operator==(const BrushCopyKey &other) const = default;
};

size_t qHash(const BrushCopyKey &key, size_t seed = 0) noexcept
{
    return qHashMulti(seed, key.image, key.transparent, key.brush);
}

constexpr qsizetype MaxBrushCopies = 64;

const QImage &brushCopyOf(const QImage &bitmap, QRgb transparent, QRgb brush)
{
    thread_local QHash<BrushCopyKey, QImage> copies;
    const BrushCopyKey key{bitmap.cacheKey(), transparent, brush};
    auto found = copies.constFind(key);
    if (found != copies.constEnd())
        return *found;
    if (copies.size() >= MaxBrushCopies)
        copies.clear();
    // Formats the raster engine blits without converting on every draw.
    QImage piece = bitmap.convertToFormat(bitmap.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                                   : QImage::Format_RGB32);
    for (int y = 0; y < piece.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(piece.scanLine(y));
        for (int x = 0; x < piece.width(); ++x) {
            if (line[x] == transparent) // opaque pixels of that colour only
                line[x] = brush;
        }
    }
    return *copies.insert(key, piece);
}

} // namespace

void TCanvas::BrushCopy(const QRect &dest, const QImage &bitmap, const QRect &source, const QColor &transparent)
{
    if (bitmap.isNull() || dest.isEmpty())
        return;
    QRect from = source.intersected(bitmap.rect());
    if (from.isEmpty())
        return;
    // Cut to the destination, never scaled: the part of the source that falls
    // outside the picture is left as it is on the canvas.
    const QPoint to = dest.topLeft() + (from.topLeft() - source.topLeft());
    from.setWidth(std::min(from.width(), dest.right() - to.x() + 1));
    from.setHeight(std::min(from.height(), dest.bottom() - to.y() + 1));
    if (from.isEmpty())
        return;
    const QImage &piece = brushCopyOf(bitmap, transparent.rgb() | 0xFF000000u, BrushColor.rgb() | 0xFF000000u);
    m_painter.drawImage(to, piece, from);
}
