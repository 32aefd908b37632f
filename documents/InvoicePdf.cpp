#include "documents/InvoicePdf.h"

#include <algorithm>

#include <QBuffer>
#include <QFile>
#include <QFontMetricsF>
#include <QLocale>
#include <QPageSize>
#include <QPainter>
#include <QRegularExpression>
#include <QPdfWriter>
#include <QSaveFile>

namespace {

// The page in points (the writer's resolution is 72 dots per inch).
constexpr double PageWidth = 595;
constexpr double PageHeight = 842;
constexpr double Margin = 42;
constexpr double LineHeight = 15;
constexpr double HeaderHeight = 250; // the header block every page repeats
constexpr double FooterHeight = 30;
const QString FontFamily = QStringLiteral("DejaVu Sans");

QString money(double value)
{
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(value, 'f', 2);
}

QString formattedTaxId(const QString &id)
{
    QString digits = id;
    digits.remove(QRegularExpression(QStringLiteral("\\D")));
    if (digits.size() == 14)
        return QStringLiteral("%1.%2.%3/%4-%5")
            .arg(digits.mid(0, 2), digits.mid(2, 3), digits.mid(5, 3), digits.mid(8, 4), digits.mid(12, 2));
    if (digits.size() == 11)
        return QStringLiteral("%1.%2.%3-%4")
            .arg(digits.mid(0, 3), digits.mid(3, 3), digits.mid(6, 3), digits.mid(9, 2));
    return id.trimmed();
}

QFont font(double points, bool bold = false)
{
    QFont f(FontFamily);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

// Columns of the lines' table: service, month, value.
struct Columns
{
    double service = Margin;
    double month = PageWidth - Margin - 190;
    double value = PageWidth - Margin - 100;
    double right = PageWidth - Margin;
};

class InvoicePainter
{
public:
    InvoicePainter(QPainter &painter, const InvoiceDocument &invoice)
        : m_painter(painter)
        , m_invoice(invoice)
    {
    }

    static int linesPerPage() { return int((PageHeight - 2 * Margin - HeaderHeight - FooterHeight) / LineHeight); }

    // The lines plus the total's row, never less than one page.
    int pageCount() const
    {
        const int rows = int(m_invoice.lines.size()) + 1;
        return std::max(1, (rows + linesPerPage() - 1) / linesPerPage());
    }

    void paint(QPdfWriter &writer)
    {
        const int pages = pageCount();
        qsizetype next = 0;
        for (int page = 1; page <= pages; ++page) {
            if (page > 1)
                writer.newPage();
            double y = header(page, pages);
            const qsizetype end = std::min<qsizetype>(m_invoice.lines.size(), next + linesPerPage());
            for (; next < end; ++next, y += LineHeight)
                line(m_invoice.lines.at(next), y);
            if (page == pages)
                total(y);
        }
    }

private:
    void text(double x, double y, const QString &s, const QFont &f, Qt::Alignment align = Qt::AlignLeft,
              double width = 0)
    {
        m_painter.setFont(f);
        if (align & Qt::AlignRight)
            m_painter.drawText(QRectF(x - width, y, width, LineHeight), Qt::AlignRight | Qt::AlignVCenter, s);
        else
            m_painter.drawText(QRectF(x, y, PageWidth, LineHeight), Qt::AlignLeft | Qt::AlignVCenter, s);
    }

    double party(double x, double y, const QString &title, const InvoiceDocument::Party &p)
    {
        text(x, y, title, font(8, true));
        y += LineHeight;
        text(x, y, p.name, font(9, true));
        y += LineHeight;
        if (!p.taxId.trimmed().isEmpty()) {
            text(x, y, QStringLiteral("Tax ID / CNPJ-CPF: %1").arg(formattedTaxId(p.taxId)), font(8.5));
            y += LineHeight;
        }
        for (const QString &l : p.address) {
            text(x, y, l, font(8.5));
            y += LineHeight;
        }
        return y;
    }

    double header(int page, int pages)
    {
        double y = Margin;
        text(Margin, y, QStringLiteral("INVOICE / FATURA"), font(16, true));
        text(PageWidth - Margin, y, QStringLiteral("Page / Página %1 of / de %2").arg(page).arg(pages), font(8),
             Qt::AlignRight, 200);
        y += 2 * LineHeight;
        text(Margin, y,
             QStringLiteral("Invoice No. / Nº da fatura: %1-%2").arg(m_invoice.company).arg(m_invoice.number),
             font(9.5, true));
        text(PageWidth - Margin, y, QStringLiteral("Date / Data: %1").arg(m_invoice.date.date().toString(Qt::ISODate)),
             font(9.5, true), Qt::AlignRight, 250);
        y += LineHeight;
        if (m_invoice.reversed) {
            text(Margin, y, QStringLiteral("REVERSED / ESTORNADA"), font(9.5, true));
        }
        y += LineHeight;
        const double top = y;
        party(Margin, top, QStringLiteral("From / Emitente"), m_invoice.issuer);
        party(PageWidth / 2, top, QStringLiteral("Bill to / Cliente"), m_invoice.client);
        y = Margin + HeaderHeight - LineHeight * 1.5;
        tableTitles(y);
        return y + LineHeight * 1.5;
    }

    void tableTitles(double y)
    {
        const Columns c;
        m_painter.setPen(QPen(Qt::black, 0.8));
        text(c.service, y, QStringLiteral("Service / Serviço"), font(8.5, true));
        text(c.month, y, QStringLiteral("Month / Mês"), font(8.5, true));
        text(c.right, y, QStringLiteral("Amount / Valor (BRL)"), font(8.5, true), Qt::AlignRight, 110);
        m_painter.drawLine(QPointF(Margin, y + LineHeight + 2), QPointF(c.right, y + LineHeight + 2));
    }

    void line(const InvoiceDocument::Line &l, double y)
    {
        const Columns c;
        QString service = l.service;
        if (!l.description.trimmed().isEmpty())
            service += QStringLiteral(" — ") + l.description.simplified();
        const QFont f = font(8.5);
        service = QFontMetricsF(f).elidedText(service, Qt::ElideRight, c.month - c.service - 10);
        text(c.service, y, service, f);
        text(c.month, y, l.month.toString(QStringLiteral("MM/yyyy")), f);
        text(c.right, y, money(l.value), f, Qt::AlignRight, 100);
    }

    void total(double y)
    {
        const Columns c;
        m_painter.drawLine(QPointF(c.month, y + 2), QPointF(c.right, y + 2));
        y += 4;
        text(c.month, y, QStringLiteral("Total / Total"), font(9.5, true));
        text(c.right, y, money(m_invoice.total()), font(9.5, true), Qt::AlignRight, 100);
    }

    QPainter &m_painter;
    const InvoiceDocument &m_invoice;
};

// A fixed metadata packet: the writer's own carries the time it is made.
QByteArray xmpOf(const InvoiceDocument &invoice)
{
    const QString title = QStringLiteral("Invoice %1-%2").arg(invoice.company).arg(invoice.number);
    return QStringLiteral("<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>"
                          "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
                          "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
                          "<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
                          "xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\"><dc:title><rdf:Alt><rdf:li "
                          "xml:lang=\"x-default\">%1</rdf:li></rdf:Alt></dc:title><xmp:CreateDate>%2</xmp:CreateDate>"
                          "</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end=\"w\"?>")
        .arg(title.toHtmlEscaped(), invoice.date.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")))
        .toUtf8();
}

QByteArray padded(qint64 offset)
{
    return QByteArray::number(offset).rightJustified(10, '0');
}

} // namespace

QByteArray InvoicePdf::make(const InvoiceDocument &invoice)
{
    QByteArray pdf;
    {
        QBuffer buffer(&pdf);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setResolution(72);
        writer.setTitle(QStringLiteral("Invoice / Fatura %1-%2").arg(invoice.company).arg(invoice.number));
        writer.setCreator(QStringLiteral("FAS09600"));
        writer.setDocumentXmpMetadata(xmpOf(invoice));
        QPainter painter(&writer);
        InvoicePainter(painter, invoice).paint(writer);
    }
    return withCreationDate(pdf, invoice.date);
}

QByteArray InvoicePdf::withCreationDate(const QByteArray &pdf, const QDateTime &when)
{
    static const QByteArray key("/CreationDate (");
    const qsizetype start = pdf.indexOf(key);
    const qsizetype end = start < 0 ? -1 : pdf.indexOf(')', start);
    const qsizetype xref = pdf.lastIndexOf("\nxref\n");
    const qsizetype startxref = pdf.lastIndexOf("\nstartxref\n");
    if (end < 0 || xref < end || startxref < xref)
        return pdf;
    const QByteArray date = key + "D:" + when.toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1() + ')';
    const qint64 shift = date.size() - (end + 1 - start);
    QByteArray out = pdf.left(start) + date + pdf.mid(end + 1, xref + 1 - (end + 1));
    // The table: "xref", "0 N", then N entries of 20 bytes ("0000000123 00000 n \n").
    QByteArray table = pdf.mid(xref + 1, startxref + 1 - (xref + 1));
    const qsizetype first = table.indexOf('\n', table.indexOf('\n') + 1) + 1;
    for (qsizetype at = first; at + 20 <= table.size(); at += 20) {
        if (table.at(at + 17) != 'n')
            continue;
        const qint64 offset = table.mid(at, 10).toLongLong();
        if (offset > start)
            table.replace(at, 10, padded(offset + shift));
    }
    out += table;
    const qsizetype numberAt = startxref + 11;
    const qsizetype numberEnd = pdf.indexOf('\n', numberAt);
    out += "startxref\n" + QByteArray::number(pdf.mid(numberAt, numberEnd - numberAt).toLongLong() + shift);
    out += pdf.mid(numberEnd);
    return out;
}

bool InvoicePdf::save(const InvoiceDocument &invoice, const QString &path, QString *error)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(make(invoice)) >= 0 && file.commit())
        return true;
    if (error)
        *error = QStringLiteral("Não foi possível gravar a fatura em \"%1\": %2. Escolha outra pasta ou outro nome.")
                     .arg(path, file.errorString());
    return false;
}

QString InvoicePdf::fileName(const InvoiceDocument &invoice)
{
    return QStringLiteral("fatura-%1-%2.pdf").arg(invoice.company.trimmed()).arg(invoice.number);
}
