#include "outside/forms/TableExport.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QScopeGuard>

#include <xlsxwriter.h>

#include "platform/ui/ExportTable.h"
#include "platform/data/FasError.h"

namespace {

constexpr int ProgressStep = 4096;

[[noreturn]] void cannotWrite(const QString &path, const QString &why)
{
    throw FasError(
        QStringLiteral("Não foi possível gravar o arquivo %1: %2.").arg(QDir::toNativeSeparators(path), why));
}

bool report(const TableExport::Progress &progress, int done, int total)
{
    return !progress || progress(done, total);
}

// A spreadsheet opens XLSX columns in widths of its default font's digits.
double characterWidth(int pixels)
{
    return std::max(2.0, std::round(pixels / 7.0 * 10.0) / 10.0 + 0.7);
}

lxw_datetime excelDateTime(const QDateTime &value)
{
    const QDate date = value.date();
    const QTime time = value.time();
    lxw_datetime result{};
    result.year = date.year();
    result.month = date.month();
    result.day = date.day();
    result.hour = time.hour();
    result.min = time.minute();
    result.sec = time.second() + time.msec() / 1000.0;
    return result;
}

} // namespace

bool TableExport::Write(const ExportTable &table, Format format, const QString &path, const Progress &progress)
{
    return format == Format::Csv ? writeCsv(table, path, progress) : writeXlsx(table, path, progress);
}

QString TableExport::FormulaSafe(const QString &text, bool isText)
{
    // "=", "+", "-" and "@" start a formula in a spreadsheet; a client's name
    // must never run as one, whether it goes by file or by the clipboard.
    if (isText && !text.isEmpty() && QStringLiteral("=+-@\t\r").contains(text.front()))
        return QLatin1Char('\'') + text;
    return text;
}

QString TableExport::CsvCell(const QString &text, bool isText)
{
    QString cell = FormulaSafe(text, isText);
    if (cell.contains(QLatin1Char(';')) || cell.contains(QLatin1Char('"')) || cell.contains(QLatin1Char('\n'))
        || cell.contains(QLatin1Char('\r'))) {
        cell.replace(QLatin1String("\""), QLatin1String("\"\""));
        cell = QLatin1Char('"') + cell + QLatin1Char('"');
    }
    return cell;
}

QString TableExport::TabSeparated(const ExportTable &table)
{
    const auto clean = [](QString text) {
        text.replace(QLatin1Char('\t'), QLatin1Char(' '));
        text.replace(QLatin1Char('\n'), QLatin1Char(' '));
        text.remove(QLatin1Char('\r'));
        return text;
    };
    QStringList lines;
    QStringList cells;
    for (int column = 0; column < table.columnCount(); ++column)
        cells << clean(table.title(column));
    lines << cells.join(QLatin1Char('\t'));
    for (int row = 0; row < table.rowCount(); ++row) {
        cells.clear();
        for (int column = 0; column < table.columnCount(); ++column)
            cells << clean(FormulaSafe(table.text(row, column), table.kind(column) == ExportTable::Kind::Text));
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

namespace {

// CsvCell on UTF-8: every character it looks at is ASCII.
void appendCsvCell(std::string &out, std::string_view cell, bool isText)
{
    const char first = cell.empty() ? '\0' : cell.front();
    const bool guarded =
        isText && (first == '=' || first == '+' || first == '-' || first == '@' || first == '\t' || first == '\r');
    bool quoted = false;
    for (const char c : cell)
        quoted = quoted || c == ';' || c == '"' || c == '\n' || c == '\r';
    if (quoted)
        out += '"';
    if (guarded)
        out += '\'';
    if (!quoted) {
        out += cell;
        return;
    }
    for (const char c : cell) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

} // namespace

bool TableExport::writeCsv(const ExportTable &table, const QString &path, const Progress &progress)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        cannotWrite(path, file.errorString());
    const int columns = table.columnCount();
    const int rows = table.rowCount();
    std::string buffer("\xEF\xBB\xBF");
    const auto flush = [&] {
        if (file.write(buffer.data(), qint64(buffer.size())) != qint64(buffer.size()))
            cannotWrite(path, file.errorString());
        buffer.clear();
    };
    for (int column = 0; column < columns; ++column)
        appendCsvCell(buffer.append(column ? ";" : ""), table.title(column).toStdString(), true);
    buffer += "\r\n";
    std::vector<bool> isText(static_cast<std::size_t>(columns));
    for (int column = 0; column < columns; ++column)
        isText[std::size_t(column)] = table.kind(column) == ExportTable::Kind::Text;
    std::vector<std::string> cells;
    for (int row = 0; row < rows; ++row) {
        table.rowUtf8(row, cells);
        for (int column = 0; column < columns; ++column) {
            if (column)
                buffer += ';';
            appendCsvCell(buffer, cells[std::size_t(column)], isText[std::size_t(column)]);
        }
        buffer += "\r\n";
        if ((row + 1) % ProgressStep == 0) {
            flush();
            if (!report(progress, row + 1, rows)) {
                file.cancelWriting();
                return false;
            }
        }
    }
    flush();
    if (!file.commit())
        cannotWrite(path, file.errorString());
    report(progress, rows, rows);
    return true;
}

namespace {

// The sheet's cell formats: the header's, and each kind of value's.
struct XlsxFormats
{
    lxw_format *header;
    lxw_format *number;
    lxw_format *integer;
    lxw_format *date;

    static XlsxFormats of(lxw_workbook *workbook)
    {
        XlsxFormats formats{workbook_add_format(workbook), workbook_add_format(workbook), workbook_add_format(workbook),
                            workbook_add_format(workbook)};
        format_set_bold(formats.header);
        format_set_num_format(formats.number, "#,##0.00");
        format_set_num_format(formats.integer, "#,##0");
        format_set_num_format(formats.date, "dd/mm/yyyy hh:mm:ss");
        return formats;
    }
};

// The titles in bold, the columns as wide as on the screen (never narrower than their
// titles), the first row frozen.
void writeXlsxHeader(lxw_worksheet *sheet, const ExportTable &table, const XlsxFormats &formats)
{
    for (int column = 0; column < table.columnCount(); ++column) {
        const double width = std::max(characterWidth(table.widthPixels(column)), table.title(column).size() + 2.0);
        worksheet_set_column(sheet, lxw_col_t(column), lxw_col_t(column), width, nullptr);
        worksheet_write_string(sheet, 0, lxw_col_t(column), table.title(column).toUtf8().constData(), formats.header);
    }
    worksheet_freeze_panes(sheet, 1, 0);
}

// One row of the table under the header: numbers and dates as values, blanks left empty.
void writeXlsxRow(lxw_worksheet *sheet, const ExportTable &table, int row, const XlsxFormats &formats)
{
    const auto sheetRow = lxw_row_t(row + 1);
    for (int column = 0; column < table.columnCount(); ++column) {
        const auto sheetColumn = lxw_col_t(column);
        switch (table.kind(column)) {
        case ExportTable::Kind::Number:
            if (!table.isBlank(row, column))
                worksheet_write_number(sheet, sheetRow, sheetColumn, table.number(row, column),
                                       table.decimals(column) == 0 ? formats.integer : formats.number);
            break;
        case ExportTable::Kind::DateTime:
            if (!table.isBlank(row, column)) {
                lxw_datetime value = excelDateTime(table.dateTime(row, column));
                worksheet_write_datetime(sheet, sheetRow, sheetColumn, &value, formats.date);
            }
            break;
        case ExportTable::Kind::Text: {
            const QString text = table.text(row, column);
            if (!text.isEmpty())
                worksheet_write_string(sheet, sheetRow, sheetColumn, text.toUtf8().constData(), nullptr);
            break;
        }
        }
    }
}

} // namespace

bool TableExport::writeXlsx(const ExportTable &table, const QString &path, const Progress &progress)
{
    constexpr int maxRows = 1048575; // a sheet's rows, less the header
    const int columns = table.columnCount();
    const int rows = table.rowCount();
    // Packing the workbook at the end takes about half as long as its rows.
    const int steps = rows + rows / 2;
    if (rows > maxRows)
        cannotWrite(path, QStringLiteral("uma planilha comporta no máximo %1 linhas").arg(maxRows));
    // Written beside the target and renamed over it only when complete.
    const QString partial = path + QStringLiteral(".parcial");
    const QByteArray partialName = QFile::encodeName(partial);
    const QByteArray tempDir = QFile::encodeName(QDir::tempPath());
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = const_cast<char *>(tempDir.constData());
    lxw_workbook *workbook = workbook_new_opt(partialName.constData(), &options);
    if (!workbook)
        cannotWrite(path, QStringLiteral("sem memória para a planilha"));
    bool closed = false;
    auto closeWorkbook = qScopeGuard([&] {
        if (!closed)
            workbook_close(workbook);
        QFile::remove(partial);
    });

    lxw_worksheet *sheet = workbook_add_worksheet(workbook, "Planilha1");
    const XlsxFormats formats = XlsxFormats::of(workbook);
    writeXlsxHeader(sheet, table, formats);
    for (int row = 0; row < rows; ++row) {
        writeXlsxRow(sheet, table, row, formats);
        if ((row + 1) % ProgressStep == 0 && !report(progress, row + 1, steps))
            return false;
    }
    if (columns > 0)
        worksheet_autofilter(sheet, 0, 0, lxw_row_t(rows), lxw_col_t(columns - 1));
    if (!report(progress, rows, steps))
        return false;
    closed = true;
    const lxw_error error = workbook_close(workbook);
    if (error != LXW_NO_ERROR)
        cannotWrite(path, QString::fromUtf8(lxw_strerror(error)));
    // rename() replaces an existing file in one step.
    if (std::rename(partialName.constData(), QFile::encodeName(path).constData()) != 0)
        cannotWrite(path, QString::fromLocal8Bit(std::strerror(errno)));
    report(progress, steps, steps);
    return true;
}
