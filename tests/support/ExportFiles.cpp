#include "tests/support/ExportFiles.h"

#include <QProcess>
#include <QXmlStreamReader>

namespace ExportFiles {

QList<QStringList> parseCsv(const QString &text)
{
    QList<QStringList> rows;
    QStringList cells;
    QString cell;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"'))
                cell += text.at(++i);
            else if (c == QLatin1Char('"'))
                quoted = false;
            else
                cell += c;
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(';')) {
            cells << cell;
            cell.clear();
        } else if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n')) {
            cells << cell;
            rows << cells;
            cells.clear();
            cell.clear();
            ++i;
        } else {
            cell += c;
        }
    }
    return rows;
}

Sheet readSheet(const QString &path)
{
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), path, QStringLiteral("xl/worksheets/sheet1.xml")});
    if (!unzip.waitForFinished(30000))
        return {};
    Sheet sheet;
    QXmlStreamReader xml(unzip.readAllStandardOutput());
    QString reference;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("col"))
            sheet.widths += xml.attributes().value(QStringLiteral("max")).toInt()
                            - xml.attributes().value(QStringLiteral("min")).toInt() + 1;
        else if (xml.name() == QLatin1String("c"))
            reference = xml.attributes().value(QStringLiteral("r")).toString();
        else if (xml.name() == QLatin1String("t"))
            sheet.cells.insert(reference, xml.readElementText());
        else if (xml.name() == QLatin1String("v"))
            sheet.cells.insert(reference, QLatin1Char('#') + xml.readElementText());
    }
    return sheet;
}

QString cellReference(int row, int column)
{
    return QString(QLatin1Char(char('A' + column))) + QString::number(row + 1);
}

double excelSerial(const QDateTime &value)
{
    const QDateTime origin(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);
    return origin.msecsTo(value) / 86400000.0;
}

} // namespace ExportFiles
