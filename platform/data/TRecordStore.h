#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "TFieldDef.h"
#include "fasdata_export.h"

// Column-wise storage of the rows of a client dataset: one typed vector per field
// and a null flag per cell, no QVariant per cell. Text is kept as UTF-8 (short
// codes fit in std::string's inline buffer, so most cells never allocate).
// Date-times are milliseconds since 1970-01-01T00:00 of the wall clock (no zone).
class FASDATA_EXPORT TRecordStore
{
public:
    TRecordStore() = default;
    explicit TRecordStore(TFieldDefs defs);

    const TFieldDefs &defs() const { return m_defs; }
    int fieldCount() const { return int(m_defs.size()); }
    int rowCount() const { return m_rows; }
    int indexOf(const QString &fieldName) const; // -1 when absent; case-insensitive

    bool isNull(int row, int field) const;
    std::string_view text(int row, int field) const;   // text fields
    std::int64_t dateTimeMs(int row, int field) const; // date-time fields
    double number(int row, int field) const;           // float fields

    void setNull(int row, int field);
    void setText(int row, int field, std::string_view utf8);
    void setText(int row, int field, std::string &&utf8);
    void setDateTimeMs(int row, int field, std::int64_t ms);
    void setNumber(int row, int field, double value);

    int appendRow();         // a row of nulls; returns its index
    void insertRow(int at);  // a row of nulls before `at`
    void removeRow(int at);
    void copyRow(int from, const TRecordStore &source, int sourceRow); // same defs
    void clear();            // drops the rows, keeps the definitions
    void reserve(int rows);

private:
    struct Column
    {
        std::vector<std::string> texts;
        std::vector<std::int64_t> times;
        std::vector<double> numbers;
        std::vector<std::uint8_t> nulls;
    };
    TFieldDefs m_defs;
    std::vector<Column> m_columns;
    int m_rows = 0;
};
