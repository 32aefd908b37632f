#pragma once

#include <string>
#include <vector>

#include <QDateTime>
#include <QString>

#include "fasui_export.h"

// A table as a screen shows it, to be written out by TableExport: titled
// columns of text, numbers or date-times, one row after the other.
class FASUI_EXPORT ExportTable
{
public:
    enum class Kind { Text, Number, DateTime };

    ExportTable() = default;
    virtual ~ExportTable() = default;
    ExportTable(const ExportTable &) = delete;
    ExportTable &operator=(const ExportTable &) = delete;

    virtual int columnCount() const = 0;
    virtual QString title(int column) const = 0;
    virtual Kind kind(int column) const = 0;
    virtual int widthPixels(int column) const = 0;
    virtual int rowCount() const = 0;
    // The cell in the host's number and date forms, as the screen writes it.
    virtual QString text(int row, int column) const = 0;
    // The cell's value for a Number or DateTime column; blank cells have none.
    virtual bool isBlank(int row, int column) const = 0;
    virtual double number(int row, int column) const = 0;
    // Decimals a Number column shows.
    virtual int decimals(int column) const
    {
        Q_UNUSED(column);
        return 2;
    }
    virtual QDateTime dateTime(int row, int column) const = 0;
    // The cells of `row`, one per column, each as text() gives it, in UTF-8: a
    // writer of many rows reads them this way (a table may read a row at once).
    virtual void rowUtf8(int row, std::vector<std::string> &cells) const
    {
        cells.resize(std::size_t(columnCount()));
        for (int column = 0; column < columnCount(); ++column)
            cells[std::size_t(column)] = text(row, column).toStdString();
    }
};
