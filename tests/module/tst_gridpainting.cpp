#include <QtTest>

#include <QLabel>
#include <QMdiSubWindow>
#include <QPainter>

#include "tests/support/BillingRows.h"
#include "Cli_fas09600/Cli_fas09600.h"
#include "tests/module/ModuleFixture.h"
#include "Pkg_fas09600/Pkg_fas09600.h"
#include "outside/controls/TButtonFlat.h"
#include "platform/data/TClientDataSet.h"
#include "outside/forms/TApplication.h"
#include "platform/ui/TDBGrid.h"
#include "Cli_fas09600/TfrmFaturamento.h"

namespace {

constexpr QRgb Olive = qRgb(128, 128, 0);

// The pictures as they are meant to look, one character per pixel: '.' olive,
// '#' black, 'w' white, 's' silver; on the lamps 'm' main, 'h' shade and 'c'
// centre colour.
const QStringList LampDrawing = {
    ".................", ".................", "......#####......", "....##mmmmm##....", "...#mmmmmmmmm#...",
    "...#mmmmmmmmh#...", "..#mmccccccchh#..", "..#mmccccccchh#..", "..#mmccccccchh#..", "..#mmccccccchh#..",
    "..#mmccccccchh#..", "...#mccccccch#...", "...#mhhhhhhhh#...", "....##hhhhh##....", "......#####......",
    ".................", ".................",
};

QStringList boxDrawing(QChar inside)
{
    QStringList rows = {
        "................",
        ".............s..",
        "..##########.s..",
    };
    for (int y = 3; y <= 11; ++y)
        rows << QStringLiteral("..#") + QString(9, inside) + QStringLiteral(".s..");
    rows << ".............s.."
         << ".sssssssssssss.."
         << "................"
         << "................";
    return rows;
}

const QStringList CheckedDrawing = {
    "................", ".............s..", "..##########.s..", "..#wwwwwwwww.s..",
    "..#wwwwwww#w.s..", "..#wwwwww#ww.s..", "..#w#wwww#ww.s..", "..#w#www#www.s..",
    "..#ww#w#wwww.s..", "..#ww#w#wwww.s..", "..#www#wwwww.s..", "..#wwwwwwwww.s..",
    ".............s..", ".sssssssssssss..", "................", "................",
};

QImage draw(const QStringList &rows, const QHash<QChar, QRgb> &colours)
{
    QImage image(int(rows.first().size()), int(rows.size()), QImage::Format_RGB32);
    QHash<QChar, QRgb> all = colours;
    all.insert(QLatin1Char('.'), Olive);
    all.insert(QLatin1Char('#'), qRgb(0, 0, 0));
    all.insert(QLatin1Char('w'), qRgb(255, 255, 255));
    all.insert(QLatin1Char('s'), qRgb(192, 192, 192));
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, all.value(rows[y][x]));
    }
    return image;
}

QImage lamp(QRgb main, QRgb shade, QRgb centre)
{
    return draw(LampDrawing, {{QLatin1Char('m'), main}, {QLatin1Char('h'), shade}, {QLatin1Char('c'), centre}});
}

QImage yellowLamp()
{
    return lamp(qRgb(255, 255, 0), qRgb(224, 192, 0), qRgb(224, 224, 128));
}
QImage greyLamp()
{
    return lamp(qRgb(192, 192, 192), qRgb(128, 128, 128), qRgb(160, 160, 164));
}
QImage greenLamp()
{
    return lamp(qRgb(96, 224, 0), qRgb(96, 160, 0), qRgb(0, 192, 0));
}
QImage redLamp()
{
    return lamp(qRgb(224, 128, 128), qRgb(224, 64, 128), qRgb(224, 96, 64));
}
QImage greyBox()
{
    return draw(boxDrawing(QLatin1Char('s')), {});
}
QImage whiteBox()
{
    return draw(boxDrawing(QLatin1Char('w')), {});
}
QImage tickedBox()
{
    return draw(CheckedDrawing, {});
}

QString rgbText(QRgb colour)
{
    return QStringLiteral("(%1, %2, %3)").arg(qRed(colour)).arg(qGreen(colour)).arg(qBlue(colour));
}

int distance(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
}

// The pixels of `area` in `image` that differ from `background`: their bounds.
QRect inkBounds(const QImage &image, const QRect &area, QRgb background)
{
    QRect bounds;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (image.pixel(x, y) != background)
                bounds |= QRect(x, y, 1, 1);
        }
    }
    return bounds;
}

} // namespace

// The preview grid's painting, read back as pixels on the offscreen platform
// with the Fusion style and a fixed font.
class TstGridPainting : public QObject
{
    Q_OBJECT

    ModuleFixture m_fixture;
    static inline QPointer<TfrmFaturamento> s_screen;

    static TfrmFaturamento *screen() { return s_screen; }
    static TDBGrid *grid() { return s_screen->dbgPadrao; }

    static QRgb colour(QPalette::ColorRole role) { return grid()->palette().color(QPalette::Active, role).rgb(); }
    static QRgb background(bool selected) { return colour(selected ? QPalette::Highlight : QPalette::ToolTipBase); }

    // The screen as the module creates it, connected to the server, shown in
    // the main form; the filter dialog is left out, it plays no part here.
    void createScreen()
    {
        s_screen = Application().CreateForm<TfrmFaturamento>();
        s_screen->ShowAsMdiChild();
        s_screen->SubWindow()->resize(m_fixture.mdiArea->size());
        QVERIFY(QTest::qWaitForWindowExposed(s_screen));
    }

    static void load(const QList<BillingRow> &rows) { screen()->cdsFaturamento->SetData(BillingRows::packet(rows)); }

    // The rectangle the grid hands to the cell painter: the cell without its
    // grid lines, as QTableView::visualRect gives it.
    static QRect cellRect(int row, int column) { return grid()->visualRect(grid()->model()->index(row, column)); }

    // A cell of `size` as the painting writes `text` into it: on `back`, at (2, 2).
    static QImage textCell(QSize size, const QString &text, QRgb back, QRgb colour)
    {
        QImage cell(size, QImage::Format_ARGB32_Premultiplied);
        cell.fill(back);
        QPainter painter(&cell);
        painter.setFont(grid()->font());
        painter.setPen(QColor(colour));
        painter.drawText(QPoint(2, 2 + QFontMetrics(grid()->font()).ascent()), text);
        painter.end();
        return cell.convertToFormat(QImage::Format_RGB32);
    }

    // Where a legend's label shows its picture or text, in the panel.
    static QRect inked(const QLabel *label)
    {
        if (!label->pixmap().isNull())
            return label->geometry();
        const QSize text(label->fontMetrics().horizontalAdvance(label->text()), label->fontMetrics().height());
        const QRect room = label->contentsRect().translated(label->pos());
        return QStyle::alignedRect(label->layoutDirection(),
                                   QStyle::visualAlignment(label->layoutDirection(), label->alignment()), text, room);
    }

    static QImage grabGrid()
    {
        QCoreApplication::processEvents();
        return grid()->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    static void focusGrid()
    {
        QApplication::setActiveWindow(screen()->window());
        grid()->setFocus();
        QTRY_VERIFY(grid()->hasFocus());
    }

    // Compares the painted cell with its background and, when given, the picture
    // drawn one pixel in from the left at the top, olive showing the background.
    static QString cellMismatch(const QImage &shot, const QRect &cell, const QImage &picture, QRgb back)
    {
        for (int y = cell.top(); y <= cell.bottom(); ++y) {
            for (int x = cell.left(); x <= cell.right(); ++x) {
                QRgb expected = back;
                const QPoint at(x - cell.left() - 1, y - cell.top());
                if (!picture.isNull() && picture.rect().contains(at) && picture.pixel(at) != Olive)
                    expected = picture.pixel(at) | 0xFF000000u;
                const QRgb got = shot.pixel(x, y);
                if (got != expected) {
                    return QStringLiteral("pixel (%1, %2) of the cell is %3, expected %4")
                        .arg(x - cell.left())
                        .arg(y - cell.top())
                        .arg(rgbText(got), rgbText(expected));
                }
            }
        }
        return QString();
    }

private slots:
    void initTestCase()
    {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(11);
        QApplication::setFont(font);
        // Roles that Fusion paints alike are made distinct, and the inactive group
        // differs from the active one, so that every colour read back proves its
        // role and that the painting does not follow the window's activation.
        QPalette palette = QApplication::palette();
        palette.setColor(QPalette::Active, QPalette::BrightText, QColor(255, 236, 140));
        palette.setColor(QPalette::Inactive, QPalette::BrightText, QColor(0, 80, 0));
        palette.setColor(QPalette::Inactive, QPalette::Highlight, QColor(150, 150, 150));
        palette.setColor(QPalette::Inactive, QPalette::ToolTipBase, QColor(230, 230, 255));
        palette.setColor(QPalette::Inactive, QPalette::Text, QColor(120, 0, 0));
        QApplication::setPalette(palette);
        QString why;
        QVERIFY2(m_fixture.start(&why), qPrintable(why));
        Initialize();
        createScreen();
    }

    void cleanupTestCase()
    {
        if (s_screen) {
            s_screen->sbtFechar->click();
            QTRY_VERIFY(s_screen.isNull());
        }
        Finalize();
    }

    void init()
    {
        // Painted as an inactive window unless a test gives the grid the focus.
        QApplication::setActiveWindow(nullptr);
    }

    void cleanup() { m_fixture.clearMessages(); }

    void generatedPictures_data()
    {
        QTest::addColumn<QString>("holder");
        QTest::addColumn<QImage>("expected");
        QTest::addColumn<int>("colours"); // entries of the picture's palette
        QTest::newRow("yellow lamp") << "imgAmarelo" << yellowLamp() << 256;
        QTest::newRow("grey lamp") << "imgCinza" << greyLamp() << 256;
        QTest::newRow("green lamp") << "imgVerde" << greenLamp() << 256;
        QTest::newRow("red lamp") << "imgVermelho" << redLamp() << 256;
        QTest::newRow("grey box") << "imgNoChecked" << greyBox() << 16;
        QTest::newRow("white box") << "imgUnchecked" << whiteBox() << 16;
        QTest::newRow("ticked box") << "imgChecked" << tickedBox() << 16;
    }

    void generatedPictures()
    {
        QFETCH(QString, holder);
        QFETCH(QImage, expected);
        QFETCH(int, colours);
        const QImage resource(QStringLiteral(":/fas09600/pictures/%1.png").arg(holder));
        QCOMPARE(resource.format(), QImage::Format_Indexed8);
        QCOMPARE(resource.colorCount(), colours);
        QCOMPARE(resource.convertToFormat(QImage::Format_RGB32), expected);

        auto *label = screen()->findChild<QLabel *>(holder);
        QVERIFY(label);
        QVERIFY(label->isHidden());
        QCOMPARE(label->size(), expected.size());
        const QImage got = label->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(got, expected);
    }

    void legend_data()
    {
        QTest::addColumn<QString>("image");
        QTest::addColumn<QImage>("lampDrawing");
        QTest::addColumn<int>("imageLeft");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("captionText");
        QTest::addColumn<int>("captionLeft");
        QTest::addColumn<double>("rowTotal"); // 100 ticked rows of it loaded; 0: none
        QTest::newRow("pending") << "imgLegendaAmarelo" << yellowLamp() << 67 << "lblPendente"
                                 << "Pendente" << 86 << 0.0;
        QTest::newRow("not by the system") << "imgLegendaCinza" << greyLamp() << 138 << "lblNaoRelPelSist"
                                           << "Não realizado pelo sistema" << 157 << 0.0;
        QTest::newRow("cancelled") << "imgLegendaVermelho" << redLamp() << 290 << "lblCancelado"
                                   << "Cancelado" << 310 << 0.0;
        QTest::newRow("realized") << "imgLegendaVerde" << greenLamp() << 369 << "lblRealizada"
                                  << "Realizada" << 389 << 10.0;
        QTest::newRow("realized, totals in millions") << "imgLegendaVerde" << greenLamp() << 369 << "lblRealizada"
                                                      << "Realizada" << 389 << 35309.812;
        QTest::newRow("realized, totals near a trillion") << "imgLegendaVerde" << greenLamp() << 369 << "lblRealizada"
                                                          << "Realizada" << 389 << 9999999999.99;
    }

    void legend()
    {
        QFETCH(QString, image);
        QFETCH(QImage, lampDrawing);
        QFETCH(int, imageLeft);
        QFETCH(QString, caption);
        QFETCH(QString, captionText);
        QFETCH(int, captionLeft);
        QFETCH(double, rowTotal);
        if (rowTotal > 0) {
            BillingRow row;
            row.tick = QStringLiteral("S");
            row.total = rowTotal;
            load(QList<BillingRow>(100, row));
        }
        QWidget *panel = screen()->panLegenda;
        auto *label = panel->findChild<QLabel *>(image);
        auto *text = panel->findChild<QLabel *>(caption);
        QVERIFY(label && text);
        QCOMPARE(label->parentWidget(), panel);
        // The designed places hold unless a caption before needs more room in
        // the running font: then the items after it move right, in order, and
        // no caption is cut.
        QCOMPARE(label->size(), QSize(17, 17));
        QCOMPARE(label->y(), 4);
        QCOMPARE(text->y(), 7);
        QVERIFY(label->x() >= imageLeft);
        QVERIFY(text->x() >= captionLeft);
        QVERIFY(text->x() > label->geometry().right());
        QVERIFY(text->width() >= text->sizeHint().width());
        if (image == QLatin1String("imgLegendaAmarelo")) {
            QCOMPARE(label->pos(), QPoint(imageLeft, 4)); // nothing stands before it
            QCOMPARE(text->pos(), QPoint(captionLeft, 7));
        }
        const QLabel *previousCaption = nullptr;
        for (QLabel *other : panel->findChildren<QLabel *>()) {
            if (other != text && other->y() == 7 && other->x() < label->x()
                && (!previousCaption || other->x() > previousCaption->x()))
                previousCaption = other;
        }
        if (previousCaption) {
            QVERIFY(label->x() > previousCaption->geometry().right());
            // Moved only as far as the caption before it needs.
            QCOMPARE(label->x(), std::max(imageLeft, previousCaption->geometry().right() + 3));
        }
        QCOMPARE(text->text(), captionText);
        // No part of the legend runs into another, whatever the totals; each
        // shows whole inside the panel.
        const QList<QLabel *> parts = panel->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly);
        QVERIFY(rowTotal == 0 || screen()->lblLinhas->text().startsWith(QStringLiteral("Linhas: 100   Total: ")));
        for (const QLabel *part : parts) {
            QVERIFY2(panel->contentsRect().contains(inked(part)), qPrintable(part->objectName()));
            for (const QLabel *other : parts)
                QVERIFY2(part == other || !inked(part).intersects(inked(other)),
                         qPrintable(part->objectName() + QStringLiteral(" meets ") + other->objectName()));
        }

        // Olive is transparent on the legend, every other pixel as drawn.
        const QImage shown = label->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(shown.size(), lampDrawing.size());
        for (int y = 0; y < shown.height(); ++y) {
            for (int x = 0; x < shown.width(); ++x) {
                const QRgb drawn = lampDrawing.pixel(x, y);
                const QRgb got = shown.pixel(x, y);
                if (drawn == Olive)
                    QVERIFY2(qAlpha(got) == 0, qPrintable(QStringLiteral("(%1, %2) is not transparent").arg(x).arg(y)));
                else
                    QVERIFY2(got == drawn,
                             qPrintable(QStringLiteral("(%1, %2) is %3").arg(x).arg(y).arg(rgbText(got))));
            }
        }
    }

    void pictureCells_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("code"); // "<null>": a null value
        QTest::addColumn<bool>("selected");
        QTest::addColumn<QImage>("picture"); // null: the background only

        QTest::newRow("status P") << 1 << "P" << false << yellowLamp();
        QTest::newRow("status P selected") << 1 << "P" << true << yellowLamp();
        QTest::newRow("status N") << 1 << "N" << false << greyLamp();
        QTest::newRow("status R") << 1 << "R" << false << greenLamp();
        QTest::newRow("status C selected") << 1 << "C" << true << redLamp();
        QTest::newRow("status X") << 1 << "X" << false << QImage();
        QTest::newRow("status X selected") << 1 << "X" << true << QImage();
        QTest::newRow("status p (lower case)") << 1 << "p" << false << QImage();
        QTest::newRow("status empty") << 1 << "" << false << QImage();
        QTest::newRow("tick D") << 0 << "D" << false << greyBox();
        QTest::newRow("tick empty") << 0 << "" << false << greyBox();
        QTest::newRow("tick null") << 0 << "<null>" << false << greyBox();
        QTest::newRow("tick N") << 0 << "N" << false << whiteBox();
        QTest::newRow("tick N selected") << 0 << "N" << true << whiteBox();
        QTest::newRow("tick S") << 0 << "S" << false << tickedBox();
        QTest::newRow("tick S selected") << 0 << "S" << true << tickedBox();
        QTest::newRow("tick X") << 0 << "X" << false << QImage();
    }

    void pictureCells()
    {
        QFETCH(int, column);
        QFETCH(QString, code);
        QFETCH(bool, selected);
        QFETCH(QImage, picture);

        BillingRow row;
        const bool null = code == QLatin1String("<null>");
        (column == 0 ? row.tick : row.status) = null ? QString() : code;
        load({row, row});
        TClientDataSet *data = screen()->cdsFaturamento;
        if (null) {
            for (int recNo : {1, 2}) {
                data->SetRecNo(recNo);
                data->Edit();
                data->FieldByName(QStringLiteral("IDCHECK"))->Clear();
                data->Post();
            }
        }
        // The first row is current, so selected; the second is not.
        data->SetRecNo(1);
        const int painted = selected ? 0 : 1;
        const QImage shot = grabGrid();
        const QRect cell = cellRect(painted, column);
        const QString mismatch = cellMismatch(shot, cell, picture, background(selected));
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }

    void total_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("selected");
        QTest::newRow("grouped") << 1234.5 << "1.234,50" << false;
        QTest::newRow("grouped, selected") << 1234.5 << "1.234,50" << true;
        QTest::newRow("zero") << 0.0 << "0,00" << false;
        QTest::newRow("short, selected") << 5.0 << "5,00" << true;
    }

    // Right-aligned with its display format; the left-aligned copy of the plain
    // text pass does not remain.
    void total()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QFETCH(bool, selected);
        BillingRow row;
        row.total = value;
        load({row, row});
        QCOMPARE(grid()->model()->index(0, 6).data().toString(), text);

        const QImage shot = grabGrid();
        const QRect cell = cellRect(selected ? 0 : 1, 6);
        const QRgb back = background(selected);
        const QRect ink = inkBounds(shot, cell, back);
        QVERIFY(!ink.isEmpty());
        const int advance = QFontMetrics(grid()->font()).horizontalAdvance(text);
        const int textRight = cell.right() - 2; // the standard drawing keeps 2 pixels off the edge
        QVERIFY2(advance + 2 < textRight - cell.left(), "the text must fit for this check to mean anything");
        QVERIFY2(ink.left() >= textRight + 1 - advance,
                 qPrintable(QStringLiteral("ink starts at %1, the right-aligned text at %2")
                                .arg(ink.left() - cell.left())
                                .arg(textRight + 1 - advance - cell.left())));
        QVERIFY(ink.right() <= textRight);
        QVERIFY(ink.right() >= textRight - 3);
        QVERIFY(ink.top() >= cell.top() + 2);
        // The text has the colour of its state: every pixel lies between it and
        // the background.
        const QRgb textColour = colour(selected ? QPalette::BrightText : QPalette::Text);
        for (int y = ink.top(); y <= ink.bottom(); ++y) {
            for (int x = ink.left(); x <= ink.right(); ++x) {
                const QRgb got = shot.pixel(x, y);
                QVERIFY2(distance(got, textColour) + distance(got, back) <= distance(textColour, back) + 24,
                         qPrintable(rgbText(got)));
            }
        }
    }

    void focusFrame_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("frame");
        QTest::newRow("tick") << 0 << false;
        QTest::newRow("status") << 1 << false;
        QTest::newRow("client") << 2 << true;
        QTest::newRow("service type") << 3 << true;
        QTest::newRow("calculation date") << 4 << true;
        QTest::newRow("month") << 5 << true;
        QTest::newRow("total") << 6 << false;
        QTest::newRow("fiscal note") << 7 << true;
        QTest::newRow("invoice") << 8 << true;
        QTest::newRow("company") << 9 << true;
    }

    void focusFrame()
    {
        QFETCH(int, column);
        QFETCH(bool, frame);
        BillingRow row;
        row.tick = QStringLiteral("S");
        load({row, row});
        focusGrid();
        grid()->setCurrentIndex(grid()->model()->index(0, column));
        const QImage shot = grabGrid();
        const QRect cell = cellRect(0, column);
        const QRgb back = background(true);
        const QRgb inverted = back ^ 0x00FFFFFFu;
        int framePixels = 0;
        int otherPixels = 0;
        for (int x = cell.left(); x <= cell.right(); ++x) {
            for (int y = cell.top(); y <= cell.bottom(); ++y) {
                const bool border = x == cell.left() || x == cell.right() || y == cell.top() || y == cell.bottom();
                if (!border)
                    continue;
                const QRgb got = shot.pixel(x, y);
                framePixels += got == inverted ? 1 : 0;
                otherPixels += got != inverted && got != back ? 1 : 0;
            }
        }
        QCOMPARE(otherPixels, 0);
        if (frame) {
            // A dotted frame: every other pixel of the border.
            const int border = 2 * (cell.width() + cell.height()) - 4;
            QVERIFY2(framePixels >= border / 2 - 2 && framePixels <= border / 2 + 2,
                     qPrintable(QStringLiteral("%1 of %2 border pixels inverted").arg(framePixels).arg(border)));
        } else {
            QCOMPARE(framePixels, 0);
        }
        // Only the focused cell has a frame.
        const QRect neighbour = cellRect(1, column);
        QCOMPARE(inkBounds(shot, QRect(neighbour.left(), neighbour.top(), neighbour.width(), 1), background(false)),
                 QRect());
    }

    void selectedText_data()
    {
        QTest::addColumn<QString>("client");
        QTest::addColumn<bool>("cut"); // too wide for the column: it ends in "…"
        QTest::newRow("fits") << "HHHH EEEE TTTT" << false;
        QTest::newRow("too wide") << "HHHH EEEE TTTT " + QString(35, QLatin1Char('W')) << true;
    }

    // A selected text cell writes in the caption text colour on the selection
    // colour; the next row, not selected, is back to the column's font colour.
    // A text that fits is written whole at (Left + 2, Top + 2); one too wide
    // ends in "…" inside the cell.
    void selectedText()
    {
        QFETCH(QString, client);
        QFETCH(bool, cut);
        BillingRow row;
        row.client = client;
        load({row, row});
        const QImage shot = grabGrid();
        for (const bool selected : {true, false}) {
            const QRect cell = cellRect(selected ? 0 : 1, 2);
            const QRgb back = background(selected);
            const QRgb text = colour(selected ? QPalette::BrightText : QPalette::Text);
            QVERIFY(back != text);
            const QRect ink = inkBounds(shot, cell, back);
            QVERIFY(!ink.isEmpty());
            // Left-aligned at (Left + 2, Top + 2).
            QVERIFY(ink.left() >= cell.left() + 2 && ink.left() <= cell.left() + 4);
            QVERIFY(ink.top() >= cell.top() + 2);
            // Every pixel lies between the text colour and the background (the
            // text is smoothed), and the strongest is nearly the text colour.
            QRgb strongest = back;
            for (int y = ink.top(); y <= ink.bottom(); ++y) {
                for (int x = ink.left(); x <= ink.right(); ++x) {
                    const QRgb got = shot.pixel(x, y);
                    if (distance(got, back) > distance(strongest, back))
                        strongest = got;
                    QVERIFY2(distance(got, text) + distance(got, back) <= distance(text, back) + 24,
                             qPrintable(QStringLiteral("%1 is neither text nor background").arg(rgbText(got))));
                }
            }
            QVERIFY2(distance(strongest, text) <= 48,
                     qPrintable(QStringLiteral("the text is %1, not %2").arg(rgbText(strongest), rgbText(text))));
            const QString written = QFontMetrics(grid()->font()).elidedText(client, Qt::ElideRight, cell.width() - 2);
            QCOMPARE(written.endsWith(QChar(0x2026)), cut);
            QCOMPARE(shot.copy(cell), textCell(cell.size(), written, back, text));
        }
    }

    // The text of the last column does not run on beyond its cell.
    void textStaysInItsCell()
    {
        load({BillingRow()});
        TClientDataSet *data = screen()->cdsFaturamento;
        data->Edit();
        data->FieldByName(QStringLiteral("NMEMPRESA"))->SetAsString(QString(40, QLatin1Char('W')));
        data->Post();
        // Room beside the last column: the two number columns before it hidden.
        grid()->setColumnHidden(7, true);
        grid()->setColumnHidden(8, true);
        const auto showColumns = qScopeGuard([] {
            grid()->setColumnHidden(7, false);
            grid()->setColumnHidden(8, false);
        });
        const QRect last = cellRect(0, 9);
        const QRect beyond(last.right() + 2, last.top(), grid()->viewport()->width() - last.right() - 2, last.height());
        QVERIFY2(beyond.width() > 100, "the viewport must leave room beside the last column");
        QVERIFY(QFontMetrics(grid()->font()).horizontalAdvance(QString(40, QLatin1Char('W'))) > last.width() + 100);
        const QImage shot = grabGrid();
        QCOMPARE(inkBounds(shot, beyond, shot.pixel(beyond.center())), QRect());
    }

    // Pictures belong to the field names exactly as written: a column named
    // "idcheck" shows the field's text like any other column.
    void pictureColumnsByExactName()
    {
        const QList<TColumn> design = grid()->Columns();
        QList<TColumn> columns = design;
        columns[0].FieldName = QStringLiteral("idcheck");
        grid()->SetColumns(columns);
        BillingRow row;
        row.tick = QStringLiteral("N");
        load({row, row});
        const QImage shot = grabGrid();
        grid()->SetColumns(design);

        const QRect cell = cellRect(1, 0);
        const QRgb back = background(false);
        const QRect ink = inkBounds(shot, cell, back);
        QVERIFY(!ink.isEmpty()); // the letter "N"
        for (int y = cell.top(); y <= cell.bottom(); ++y) {
            for (int x = cell.left(); x <= cell.right(); ++x)
                QVERIFY(shot.pixel(x, y) != qRgb(255, 255, 255) && shot.pixel(x, y) != qRgb(192, 192, 192));
        }
        // The design's column shows the box again.
        QCOMPARE(cellMismatch(grabGrid(), cellRect(1, 0), whiteBox(), back), QString());
    }
};

QTEST_MAIN(TstGridPainting)
#include "tst_gridpainting.moc"
