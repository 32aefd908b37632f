#pragma once

#include <array>

#include <QColor>
#include <QImage>
#include <QPixmap>

class QLabel;

// The preview grid's seven pictures, drawn by the build's picture generator and
// embedded as resources: the status lamps and the tick boxes, each on an olive
// background that stands for "transparent". Loaded once per screen; the cell
// painting copies them (a shallow, shared copy) and the legend shows the lamps
// with the olive made transparent.
class FaturamentoPictures
{
public:
    enum Picture { Amarelo, Cinza, Verde, Vermelho, NoChecked, Unchecked, Checked, Count };

    // Loads every picture; throws FasError when one is missing from the module.
    FaturamentoPictures();

    // The picture as drawn, olive background included (Format_RGB32).
    const QImage &Bitmap(Picture picture) const { return m_images[std::size_t(picture)]; }

    // The colour the pictures' backgrounds are drawn in: RGB(128, 128, 0).
    static QColor TransparentColor() { return QColor(128, 128, 0); }

    // The picture with its olive pixels fully transparent, for showing on a
    // control whose background should show through (the legend).
    QPixmap Transparent(Picture picture) const;

    // The picture for a status code ("P", "N", "R", "C") or a tick code ("", "D",
    // "N", "S"), compared exactly; nullptr for any other code.
    const QImage *ForStatus(const QString &status) const;
    const QImage *ForTick(const QString &tick) const;

    // Puts the picture into a holder or legend label and sizes the label to it.
    static void Show(QLabel *label, const QPixmap &pixmap);

private:
    std::array<QImage, Count> m_images;
};
