#pragma once

#include <functional>

#include <QString>

#include "kor_export.h"

class ExportTable;

// Writes a table to a file for spreadsheets: CSV as spreadsheets in Brazil read
// it (UTF-8 with a byte-order mark, ";" between cells, CRLF, the host's number
// and date forms) or XLSX (a bold header row, real number and date cells,
// column widths from the screen's). The file appears only when complete: a
// failure or a cancel leaves an existing file of that name as it was.
class KOR_EXPORT TableExport
{
public:
    enum class Format { Csv, Xlsx };
    // Called every few thousand rows and at the end with the steps done of
    // all (rows, and for XLSX the packing of the file); returning false cancels.
    using Progress = std::function<bool(int stepsDone, int stepsTotal)>;

    // false when cancelled; FasError when the file cannot be written.
    static bool Write(const ExportTable &table, Format format, const QString &path, const Progress &progress = {});

    // A text cell as a spreadsheet must receive it: a leading apostrophe on a
    // text it would take for a formula; numbers and dates as they are.
    static QString FormulaSafe(const QString &text, bool isText);
    // One cell of a CSV line: quoted when it holds ";", quotes or line breaks; a
    // text that a spreadsheet would take for a formula gets a leading apostrophe.
    static QString CsvCell(const QString &text, bool isText);
    // Tab-separated lines, a title line first, for the clipboard; text cells
    // guarded as in CSV.
    static QString TabSeparated(const ExportTable &table);

private:
    static bool writeCsv(const ExportTable &table, const QString &path, const Progress &progress);
    static bool writeXlsx(const ExportTable &table, const QString &path, const Progress &progress);
};
