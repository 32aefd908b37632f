#pragma once

#include <QDateTime>
#include <QString>

#include "kor_export.h"

class ExportTable;
class QPrinter;
class QWidget;

// What heads each printed page of a table: the screen's title, the filter its rows
// were read for (empty when there is none) and when it was printed.
struct KOR_EXPORT TableHeading
{
    QString title;
    QString filter;
    QDateTime printedAt = QDateTime::currentDateTime();
};

// A screen's table on paper or in a PDF file: the columns as the screen shows them
// (titles, order, their widths in proportion), the heading and the header row on
// every page, "Página N de M" at the foot, A4, turned to landscape when the
// columns are too wide for a portrait page. Cells too long for their column end
// in "…". The screens' "Imprimir…" and "Salvar em PDF…" call Print and SaveAsPdf.
namespace TablePrint {

KOR_EXPORT bool NeedsLandscape(const ExportTable &table);
// Sets A4 and the orientation the table needs, and the document's name.
KOR_EXPORT void SetUp(QPrinter &printer, const ExportTable &table, const TableHeading &heading);
// Paints the table's pages on a set-up printer; false when the device refused.
KOR_EXPORT bool Paint(const ExportTable &table, const TableHeading &heading, QPrinter &printer);
// Writes the PDF file; false and the reason in Portuguese when it could not.
KOR_EXPORT bool SavePdf(const ExportTable &table, const TableHeading &heading, const QString &path, QString *error);

// The commands: the print dialog, then the pages; the file dialog (suggesting
// `fileName` in the documents folder), then the PDF. A failure is shown in a
// message, a written file named in the status bar.
KOR_EXPORT void Print(QWidget *parent, const ExportTable &table, const TableHeading &heading);
KOR_EXPORT void SaveAsPdf(QWidget *parent, const ExportTable &table, const TableHeading &heading,
                          const QString &fileName);

} // namespace TablePrint
