// Draws the preview grid's seven pictures pixel by pixel and writes them as PNG
// files: the four status lamps (17 x 17, 256-colour palette) and the three tick
// boxes (16 x 16, the 16-colour palette). Every pixel that is not part of a
// drawing is olive, RGB(128, 128, 0), the colour the screen treats as
// transparent. Run by the build; the module embeds the files as resources.
//
// Usage: fas09600-pictures <output directory>

#include <array>
#include <cstdio>

#include <QDir>
#include <QImage>
#include <QString>
#include <QVector>

namespace {

constexpr QRgb Olive = qRgb(128, 128, 0);
constexpr QRgb Black = qRgb(0, 0, 0);
constexpr QRgb Silver = qRgb(192, 192, 192);
constexpr QRgb White = qRgb(255, 255, 255);

// The 16-colour palette of the tick boxes, in its usual order.
const QVector<QRgb> SixteenColours = {
    qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
    qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
    qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
    qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255),
};

// A palette image whose colour table has `tableSize` entries: the colours the
// picture uses first, the rest black. Every pixel starts olive.
class PaletteImage
{
public:
    PaletteImage(int size, QVector<QRgb> table, int tableSize)
        : m_image(size, size, QImage::Format_Indexed8)
    {
        table.resize(tableSize, Black);
        m_image.setColorTable(table);
        m_image.fill(uint(indexOf(Olive)));
    }

    void set(int x, int y, QRgb colour) { m_image.setPixel(x, y, uint(indexOf(colour))); }
    QImage image() const { return m_image; }

private:
    int indexOf(QRgb colour) const
    {
        const int index = int(m_image.colorTable().indexOf(colour));
        Q_ASSERT(index >= 0);
        return index;
    }

    QImage m_image;
};

struct LampColours
{
    QRgb main;
    QRgb shade;
    QRgb centre;
};

// A disc 13 pixels across (columns and rows 2 to 14) around the pixel (8, 8):
// the pixels whose centre lies within 6.5 pixels of it.
bool inDisc(int x, int y)
{
    const int dx = x - 8;
    const int dy = y - 8;
    return 4 * (dx * dx + dy * dy) <= 169; // (2 * distance)^2 <= 13^2
}

// The disc's outline is one pixel thick: the disc's pixels that touch a pixel
// outside it on a side. Inside, the spot (rows 6 to 11, columns 5 to 11) has the
// centre colour; of the rest, the half above and on the diagonal from the lower
// left to the upper right through (8, 8) has the main colour, the half below it
// the shade.
QImage lamp(const LampColours &colours)
{
    PaletteImage picture(17, {Olive, Black, colours.main, colours.shade, colours.centre}, 256);
    for (int y = 0; y < 17; ++y) {
        for (int x = 0; x < 17; ++x) {
            if (!inDisc(x, y))
                continue;
            const bool edge = !inDisc(x - 1, y) || !inDisc(x + 1, y) || !inDisc(x, y - 1) || !inDisc(x, y + 1);
            if (edge)
                picture.set(x, y, Black);
            else if (y >= 6 && y <= 11 && x >= 5 && x <= 11)
                picture.set(x, y, colours.centre);
            else if (x + y <= 16)
                picture.set(x, y, colours.main);
            else
                picture.set(x, y, colours.shade);
        }
    }
    return picture.image();
}

enum class BoxKind { Grey, Empty, Ticked };

// The box: black top edge (row 2) and left edge (column 2) from 2 to 11, the
// inside rows and columns 3 to 11, one olive column and row (12) and then the
// silver line down column 13 and along row 13, from 1 to 13.
QImage box(BoxKind kind)
{
    PaletteImage picture(16, SixteenColours, 16);
    for (int i = 2; i <= 11; ++i) {
        picture.set(i, 2, Black);
        picture.set(2, i, Black);
    }
    const QRgb inside = kind == BoxKind::Grey ? Silver : White;
    for (int y = 3; y <= 11; ++y) {
        for (int x = 3; x <= 11; ++x)
            picture.set(x, y, inside);
    }
    for (int i = 1; i <= 13; ++i) {
        picture.set(13, i, Silver);
        picture.set(i, 13, Silver);
    }
    if (kind == BoxKind::Ticked) {
        // Two one-pixel arms rising from the lowest pixel (6, 10): the short one
        // to (4, 6), the long one to (10, 4), one pixel per row; where a row falls
        // halfway between two columns, the pixel goes the way the arm leans.
        constexpr std::array<std::array<int, 2>, 11> tick = {{
            {6, 10},
            {5, 9},
            {5, 8},
            {4, 7},
            {4, 6},
            {7, 9},
            {7, 8},
            {8, 7},
            {9, 6},
            {9, 5},
            {10, 4},
        }};
        for (const auto &[x, y] : tick)
            picture.set(x, y, Black);
    }
    return picture.image();
}

bool write(const QDir &dir, const char *name, const QImage &image)
{
    const QString path = dir.filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "fas09600-pictures: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fas09600-pictures <output directory>\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "fas09600-pictures: cannot create %s\n", argv[1]);
        return 1;
    }
    const bool ok = write(dir, "imgAmarelo", lamp({qRgb(255, 255, 0), qRgb(224, 192, 0), qRgb(224, 224, 128)}))
                    && write(dir, "imgCinza", lamp({qRgb(192, 192, 192), qRgb(128, 128, 128), qRgb(160, 160, 164)}))
                    && write(dir, "imgVerde", lamp({qRgb(96, 224, 0), qRgb(96, 160, 0), qRgb(0, 192, 0)}))
                    && write(dir, "imgVermelho", lamp({qRgb(224, 128, 128), qRgb(224, 64, 128), qRgb(224, 96, 64)}))
                    && write(dir, "imgNoChecked", box(BoxKind::Grey)) && write(dir, "imgUnchecked", box(BoxKind::Empty))
                    && write(dir, "imgChecked", box(BoxKind::Ticked));
    return ok ? 0 : 1;
}
