#include "outside/forms/StandardGlyphs.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace StandardGlyphs {
namespace {

const QColor Ink(30, 30, 30);

void drawPrint(QPainter &p)
{
    p.setPen(QPen(Ink, 1));
    p.setBrush(Qt::white);
    p.drawRect(4, 1, 8, 5);
    p.setBrush(QColor(170, 170, 170));
    p.drawRect(1, 6, 14, 6);
    p.setBrush(Qt::white);
    p.drawRect(4, 10, 8, 5);
}

void drawHelp(QPainter &p)
{
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(14);
    p.setFont(font);
    p.setPen(QColor(0, 70, 160));
    p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("?"));
}

void drawFilter(QPainter &p)
{
    p.setPen(QPen(Ink, 1));
    p.setBrush(QColor(90, 140, 220));
    QPainterPath funnel;
    funnel.moveTo(1, 2);
    funnel.lineTo(15, 2);
    funnel.lineTo(9.5, 8);
    funnel.lineTo(9.5, 14);
    funnel.lineTo(6.5, 12);
    funnel.lineTo(6.5, 8);
    funnel.closeSubpath();
    p.drawPath(funnel);
}

void drawGenerate(QPainter &p)
{
    p.setPen(QPen(Ink, 1));
    p.setBrush(Qt::white);
    p.drawRect(2, 1, 10, 13);
    p.setPen(QPen(QColor(120, 120, 120), 1));
    for (int y = 4; y <= 10; y += 3)
        p.drawLine(4, y, 10, y);
    p.setPen(QPen(QColor(0, 140, 0), 2));
    p.drawPolyline(QPolygon({QPoint(8, 12), QPoint(10, 14), QPoint(15, 8)}));
}

void drawGlyph(QPainter &p, Glyph glyph)
{
    p.setRenderHint(QPainter::Antialiasing);
    switch (glyph) {
    case Glyph::Insert:
        p.setPen(QPen(QColor(0, 128, 0), 3));
        p.drawLine(8, 2, 8, 14);
        p.drawLine(2, 8, 14, 8);
        break;
    case Glyph::Edit:
        p.setPen(QPen(Ink, 1));
        p.setBrush(QColor(255, 220, 120));
        p.drawPolygon(QPolygon({QPoint(3, 11), QPoint(11, 3), QPoint(13, 5), QPoint(5, 13), QPoint(2, 14)}));
        break;
    case Glyph::Delete:
        p.setPen(QPen(QColor(200, 0, 0), 3));
        p.drawLine(3, 8, 13, 8);
        break;
    case Glyph::Confirm:
        p.setPen(QPen(QColor(0, 140, 0), 2.5));
        p.drawPolyline(QPolygon({QPoint(2, 8), QPoint(6, 12), QPoint(14, 3)}));
        break;
    case Glyph::Cancel:
    case Glyph::Close:
        p.setPen(QPen(glyph == Glyph::Cancel ? QColor(200, 0, 0) : Ink, 2.5));
        p.drawLine(3, 3, 13, 13);
        p.drawLine(13, 3, 3, 13);
        break;
    case Glyph::Search:
        p.setPen(QPen(Ink, 2));
        p.drawEllipse(QRectF(2, 2, 8, 8));
        p.drawLine(10, 10, 14, 14);
        break;
    case Glyph::Verify:
        p.setPen(QPen(QColor(0, 90, 170), 2));
        p.drawArc(QRectF(2.5, 2.5, 11, 11), 30 * 16, 300 * 16);
        p.setBrush(QColor(0, 90, 170));
        p.drawPolygon(QPolygon({QPoint(11, 1), QPoint(15, 5), QPoint(10, 6)}));
        break;
    case Glyph::Print:
        drawPrint(p);
        break;
    case Glyph::Help:
        drawHelp(p);
        break;
    case Glyph::Filter:
        drawFilter(p);
        break;
    case Glyph::Generate:
        drawGenerate(p);
        break;
    }
}

} // namespace

QIcon icon(Glyph glyph)
{
    static QHash<int, QIcon> cache;
    auto found = cache.constFind(int(glyph));
    if (found != cache.constEnd())
        return *found;
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        drawGlyph(painter, glyph);
    }
    const QIcon made(pixmap);
    cache.insert(int(glyph), made);
    return made;
}

} // namespace StandardGlyphs
