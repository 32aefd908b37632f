#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// Reading back what the screens export: CSV text and the first sheet of an XLSX file.
namespace ExportFiles {

// CSV with ";" between cells and CRLF after each row, cells quoted with '"'.
QList<QStringList> parseCsv(const QString &text);

// The first sheet of an XLSX file, read with Debian's unzip: per cell reference
// ("C2") its text, or its number with "#" in front, and the number of columns
// given a width.
struct Sheet
{
    QHash<QString, QString> cells;
    int widths = 0;
};

Sheet readSheet(const QString &path);

// "A1" for row 0, column 0.
QString cellReference(int row, int column);

// A date-time as the spreadsheet's serial day number.
double excelSerial(const QDateTime &value);

} // namespace ExportFiles
