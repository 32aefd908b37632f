#include "outside/forms/TablePrint.h"

#include <algorithm>
#include <numeric>

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>
#include <QPageLayout>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

#include "outside/forms/ExportDialog.h"
#include "outside/forms/TApplication.h"
#include "outside/services/MessageDialog.h"
#include "platform/ui/ExportTable.h"

namespace {

// The printable width of a portrait A4 page (10 mm margins) in screen pixels (96 dpi),
// against which the screen's column widths are measured.
constexpr double portraitWidthPixels = 190.0 / 25.4 * 96.0;
const QColor ruleColor(160, 160, 160);
const QColor headerFill(225, 225, 225);

QFont fontOf(double points, bool bold = false)
{
    QFont font = QGuiApplication::font();
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// One page's parts, measured once on the printer.
class PageLayout
{
public:
    PageLayout(QPainter &painter, const ExportTable &table, const QSizeF &page)
        : m_painter(painter)
        , m_table(table)
        , m_page(page)
    {
        m_points = cellPoints(painter);
        painter.setFont(fontOf(m_points));
        m_rowHeight = painter.fontMetrics().height() * 1.4;
        m_padding = painter.fontMetrics().averageCharWidth() * 0.5;
        painter.setFont(fontOf(12, true));
        m_headingHeight = painter.fontMetrics().height() * 1.3;
        painter.setFont(fontOf(m_points));
        m_headingHeight += 2.4 * m_rowHeight;
        const QList<double> widths = columnWidths(painter);
        double x = 0;
        for (const double width : widths) {
            m_left << x;
            x += width;
        }
        m_left << page.width();
    }

    // Each column its title's width, and what is left of the page shared as the
    // screen's widths ask for more (all of them in proportion when the page is wider).
    QList<double> columnWidths(QPainter &painter) const
    {
        painter.setFont(fontOf(m_points, true));
        // A screen pixel (96 dpi, the screen's font about 9 points) on the printer.
        const double perPixel = painter.device()->logicalDpiX() / 96.0 * m_points / 9;
        QList<double> titles, wanted;
        for (int column = 0; column < m_table.columnCount(); ++column) {
            titles << painter.fontMetrics().horizontalAdvance(m_table.title(column))
                          + 2.0 * painter.fontMetrics().averageCharWidth();
            wanted << std::max(std::max(m_table.widthPixels(column), 1) * perPixel, titles.last());
        }
        const double titleSum = std::accumulate(titles.begin(), titles.end(), 0.0);
        const double wantedSum = std::accumulate(wanted.begin(), wanted.end(), 0.0);
        const double page = m_page.width();
        QList<double> widths;
        for (qsizetype i = 0; i < titles.size(); ++i) {
            if (wantedSum <= page || titleSum >= page)
                widths << (wantedSum <= page ? wanted.at(i) * page / wantedSum : titles.at(i) * page / titleSum);
            else
                widths << titles.at(i) + (wanted.at(i) - titles.at(i)) * (page - titleSum) / (wantedSum - titleSum);
        }
        return widths;
    }

    // The cells' size: 8 points, smaller (down to 6) when the titles would not fit.
    double cellPoints(QPainter &painter) const
    {
        painter.setFont(fontOf(8, true));
        double titles = 0;
        for (int column = 0; column < m_table.columnCount(); ++column)
            titles += painter.fontMetrics().horizontalAdvance(m_table.title(column))
                      + 2 * painter.fontMetrics().averageCharWidth();
        return std::clamp(8 * m_page.width() / std::max(titles, 1.0), 6.0, 8.0);
    }

    int rowsPerPage() const
    {
        const double room = m_page.height() - m_headingHeight - 2 * m_rowHeight; // header row, foot
        return std::max(1, int(room / m_rowHeight));
    }

    void paintPage(const TableHeading &heading, int page, int pages, int firstRow, int rows)
    {
        paintHeading(heading);
        double y = m_headingHeight;
        paintRow(-1, y);
        for (int row = firstRow; row < firstRow + rows; ++row)
            paintRow(row, y += m_rowHeight);
        m_painter.setFont(fontOf(8));
        m_painter.setPen(Qt::black);
        const QRectF foot(0, m_page.height() - m_rowHeight, m_page.width(), m_rowHeight);
        m_painter.drawText(foot, Qt::AlignRight | Qt::AlignVCenter,
                           QStringLiteral("Página %1 de %2").arg(page).arg(pages));
    }

private:
    void paintHeading(const TableHeading &heading)
    {
        m_painter.setPen(Qt::black);
        m_painter.setFont(fontOf(12, true));
        const double titleHeight = m_painter.fontMetrics().height() * 1.3;
        m_painter.drawText(QRectF(0, 0, m_page.width(), titleHeight), Qt::AlignLeft | Qt::AlignVCenter, heading.title);
        m_painter.setFont(fontOf(8));
        const QString printed = QStringLiteral("Impresso em %1")
                                    .arg(QLocale().toString(heading.printedAt, QStringLiteral("dd/MM/yyyy HH:mm")));
        const QRectF line(0, titleHeight, m_page.width(), m_rowHeight);
        m_painter.drawText(
            line, Qt::AlignLeft | Qt::AlignVCenter,
            m_painter.fontMetrics().elidedText(heading.filter, Qt::ElideRight, int(line.width() * 0.75)));
        m_painter.drawText(line, Qt::AlignRight | Qt::AlignVCenter, printed);
    }

    // Row -1 is the header row.
    void paintRow(int row, double y)
    {
        const bool header = row < 0;
        m_painter.setFont(fontOf(m_points, header));
        const QRectF band(0, y, m_page.width(), m_rowHeight);
        if (header)
            m_painter.fillRect(band, headerFill);
        for (int column = 0; column < m_table.columnCount(); ++column) {
            const QRectF cell(m_left.at(column), y, m_left.at(column + 1) - m_left.at(column), m_rowHeight);
            const QRectF inside = cell.adjusted(m_padding, 0, -m_padding, 0);
            const QString text = header ? m_table.title(column) : m_table.text(row, column);
            const bool number = m_table.kind(column) == ExportTable::Kind::Number;
            m_painter.setPen(Qt::black);
            m_painter.drawText(inside, (number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter,
                               m_painter.fontMetrics().elidedText(text, Qt::ElideRight, int(inside.width())));
            m_painter.setPen(ruleColor);
            m_painter.drawLine(cell.topLeft(), cell.bottomLeft());
        }
        m_painter.drawLine(band.topRight(), band.bottomRight());
        m_painter.drawLine(band.bottomLeft(), band.bottomRight());
        if (header)
            m_painter.drawLine(band.topLeft(), band.topRight());
    }

    QPainter &m_painter;
    const ExportTable &m_table;
    QSizeF m_page;
    QList<double> m_left; // each column's left edge, then the right edge
    double m_points = 8;
    double m_rowHeight = 0;
    double m_padding = 0;
    double m_headingHeight = 0;
};

QString withPdfSuffix(const QString &path)
{
    return QFileInfo(path).suffix().compare(QStringLiteral("pdf"), Qt::CaseInsensitive) == 0
               ? path
               : path + QStringLiteral(".pdf");
}

} // namespace

bool TablePrint::NeedsLandscape(const ExportTable &table)
{
    int width = 0;
    for (int column = 0; column < table.columnCount(); ++column)
        width += table.widthPixels(column);
    return width > portraitWidthPixels;
}

void TablePrint::SetUp(QPrinter &printer, const ExportTable &table, const TableHeading &heading)
{
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(NeedsLandscape(table) ? QPageLayout::Landscape : QPageLayout::Portrait);
    printer.setPageMargins(QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);
    printer.setDocName(heading.title);
}

bool TablePrint::Paint(const ExportTable &table, const TableHeading &heading, QPrinter &printer)
{
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    PageLayout layout(painter, table, printer.pageLayout().paintRectPixels(printer.resolution()).size());
    const int perPage = layout.rowsPerPage();
    const int pages = std::max(1, (table.rowCount() + perPage - 1) / perPage);
    for (int page = 1; page <= pages; ++page) {
        if (page > 1 && !printer.newPage())
            return false;
        const int first = (page - 1) * perPage;
        layout.paintPage(heading, page, pages, first, std::min(perPage, table.rowCount() - first));
    }
    return painter.end();
}

bool TablePrint::SavePdf(const ExportTable &table, const TableHeading &heading, const QString &path, QString *error)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setCreator(QStringLiteral("FAS"));
    SetUp(printer, table, heading);
    if (Paint(table, heading, printer))
        return true;
    if (error) {
        *error = QStringLiteral("Não foi possível gravar %1. Verifique se a pasta existe e permite gravar, "
                                "e se o arquivo não está aberto em outro programa.")
                     .arg(QDir::toNativeSeparators(path));
    }
    return false;
}

void TablePrint::Print(QWidget *parent, const ExportTable &table, const TableHeading &heading)
{
    QPrinter printer(QPrinter::HighResolution);
    SetUp(printer, table, heading);
    QPrintDialog dialog(&printer, parent);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (!Paint(table, heading, printer)) {
        MessageDialog::error(QStringLiteral("A impressão de \"%1\" não pôde ser feita. Verifique a impressora "
                                            "escolhida e tente de novo.")
                                 .arg(heading.title));
        return;
    }
    Application().ShowStatusMessage(QStringLiteral("\"%1\" enviado para impressão.").arg(heading.title));
}

void TablePrint::SaveAsPdf(QWidget *parent, const ExportTable &table, const TableHeading &heading,
                           const QString &fileName)
{
    const QString chosen = QFileDialog::getSaveFileName(parent, QStringLiteral("Salvar em PDF"),
                                                        QDir(ExportDialog::SuggestedFolder()).filePath(fileName),
                                                        QStringLiteral("Documento PDF (*.pdf)"));
    if (chosen.isEmpty())
        return;
    const QString path = withPdfSuffix(chosen);
    QString error;
    if (!SavePdf(table, heading, path, &error)) {
        MessageDialog::error(error);
        return;
    }
    Application().ShowStatusMessage(QStringLiteral("%1 linha(s) salva(s) em PDF em %2.")
                                        .arg(QLocale().toString(table.rowCount()), QFileInfo(path).fileName()));
}
