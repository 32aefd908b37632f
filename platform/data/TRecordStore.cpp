#include "TRecordStore.h"

#include <stdexcept>

namespace {

bool isTextType(TFieldType type)
{
    return type == TFieldType::String || type == TFieldType::FixedChar;
}

[[noreturn]] void badCell(const char *operation, int row, int field)
{
    throw std::out_of_range(std::string("TRecordStore::") + operation + ": cell (" + std::to_string(row)
                            + ", " + std::to_string(field) + ") is out of range or of another type");
}

} // namespace

TRecordStore::TRecordStore(TFieldDefs defs)
    : m_defs(std::move(defs))
    , m_columns(std::size_t(m_defs.size()))
{
}

int TRecordStore::indexOf(const QString &fieldName) const
{
    for (int i = 0; i < int(m_defs.size()); ++i) {
        if (m_defs[i].name.compare(fieldName, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

bool TRecordStore::isNull(int row, int field) const
{
    if (row < 0 || row >= m_rows || field < 0 || field >= fieldCount())
        return true;
    return m_columns[std::size_t(field)].nulls[std::size_t(row)] != 0;
}

std::string_view TRecordStore::text(int row, int field) const
{
    if (row < 0 || row >= m_rows || field < 0 || field >= fieldCount() || !isTextType(m_defs[field].type))
        return {};
    return m_columns[std::size_t(field)].texts[std::size_t(row)];
}

std::int64_t TRecordStore::dateTimeMs(int row, int field) const
{
    if (row < 0 || row >= m_rows || field < 0 || field >= fieldCount() || m_defs[field].type != TFieldType::DateTime)
        return 0;
    return m_columns[std::size_t(field)].times[std::size_t(row)];
}

double TRecordStore::number(int row, int field) const
{
    if (row < 0 || row >= m_rows || field < 0 || field >= fieldCount() || m_defs[field].type != TFieldType::Float)
        return 0.0;
    return m_columns[std::size_t(field)].numbers[std::size_t(row)];
}

void TRecordStore::setNull(int row, int field)
{
    if (row < 0 || row >= m_rows || field < 0 || field >= fieldCount())
        badCell("setNull", row, field);
    Column &column = m_columns[std::size_t(field)];
    const auto r = std::size_t(row);
    column.nulls[r] = 1;
    switch (m_defs[field].type) {
    case TFieldType::String:
    case TFieldType::FixedChar:
        column.texts[r] = std::string(); // releases a long text's buffer
        break;
    case TFieldType::DateTime:
        column.times[r] = 0;
        break;
    case TFieldType::Float:
        column.numbers[r] = 0.0;
        break;
    }
}

void TRecordStore::setText(int row, int field, std::string_view utf8)
{
    if (row < 0 || row >= m_rows || field < 0 || field >= fieldCount() || !isTextType(m_defs[field].type))
        badCell("setText", row, field);
    Column &column = m_columns[std::size_t(field)];
    column.texts[std::size_t(row)].assign(utf8);
    column.nulls[std::size_t(row)] = 0;
}

void TRecordStore::setText(int row, int field, std::string &&utf8)
{
    if (row < 0 || row >= m_rows || field < 0 || field >= fieldCount() || !isTextType(m_defs[field].type))
        badCell("setText", row, field);
    Column &column = m_columns[std::size_t(field)];
    column.texts[std::size_t(row)] = std::move(utf8);
    column.nulls[std::size_t(row)] = 0;
}

void TRecordStore::setDateTimeMs(int row, int field, std::int64_t ms)
{
    if (row < 0 || row >= m_rows || field < 0 || field >= fieldCount() || m_defs[field].type != TFieldType::DateTime)
        badCell("setDateTimeMs", row, field);
    Column &column = m_columns[std::size_t(field)];
    column.times[std::size_t(row)] = ms;
    column.nulls[std::size_t(row)] = 0;
}

void TRecordStore::setNumber(int row, int field, double value)
{
    if (row < 0 || row >= m_rows || field < 0 || field >= fieldCount() || m_defs[field].type != TFieldType::Float)
        badCell("setNumber", row, field);
    Column &column = m_columns[std::size_t(field)];
    column.numbers[std::size_t(row)] = value;
    column.nulls[std::size_t(row)] = 0;
}

int TRecordStore::appendRow()
{
    insertRow(m_rows);
    return m_rows - 1;
}

void TRecordStore::insertRow(int at)
{
    if (at < 0 || at > m_rows)
        badCell("insertRow", at, 0);
    const auto r = std::ptrdiff_t(at);
    for (int f = 0; f < fieldCount(); ++f) {
        Column &column = m_columns[std::size_t(f)];
        switch (m_defs[f].type) {
        case TFieldType::String:
        case TFieldType::FixedChar:
            column.texts.insert(column.texts.begin() + r, std::string());
            break;
        case TFieldType::DateTime:
            column.times.insert(column.times.begin() + r, 0);
            break;
        case TFieldType::Float:
            column.numbers.insert(column.numbers.begin() + r, 0.0);
            break;
        }
        column.nulls.insert(column.nulls.begin() + r, 1);
    }
    ++m_rows;
}

void TRecordStore::removeRow(int at)
{
    if (at < 0 || at >= m_rows)
        badCell("removeRow", at, 0);
    const auto r = std::ptrdiff_t(at);
    for (int f = 0; f < fieldCount(); ++f) {
        Column &column = m_columns[std::size_t(f)];
        switch (m_defs[f].type) {
        case TFieldType::String:
        case TFieldType::FixedChar:
            column.texts.erase(column.texts.begin() + r);
            break;
        case TFieldType::DateTime:
            column.times.erase(column.times.begin() + r);
            break;
        case TFieldType::Float:
            column.numbers.erase(column.numbers.begin() + r);
            break;
        }
        column.nulls.erase(column.nulls.begin() + r);
    }
    --m_rows;
}

void TRecordStore::copyRow(int from, const TRecordStore &source, int sourceRow)
{
    if (from < 0 || from >= m_rows || sourceRow < 0 || sourceRow >= source.m_rows
        || source.fieldCount() != fieldCount())
        badCell("copyRow", from, 0);
    const auto to = std::size_t(from);
    const auto src = std::size_t(sourceRow);
    for (int f = 0; f < fieldCount(); ++f) {
        const TFieldType type = m_defs[f].type;
        const TFieldType sourceType = source.m_defs[f].type;
        if (type != sourceType && !(isTextType(type) && isTextType(sourceType)))
            badCell("copyRow", from, f);
        Column &column = m_columns[std::size_t(f)];
        const Column &sourceColumn = source.m_columns[std::size_t(f)];
        switch (type) {
        case TFieldType::String:
        case TFieldType::FixedChar:
            column.texts[to] = sourceColumn.texts[src];
            break;
        case TFieldType::DateTime:
            column.times[to] = sourceColumn.times[src];
            break;
        case TFieldType::Float:
            column.numbers[to] = sourceColumn.numbers[src];
            break;
        }
        column.nulls[to] = sourceColumn.nulls[src];
    }
}

void TRecordStore::clear()
{
    for (Column &column : m_columns)
        column = Column();
    m_rows = 0;
}

void TRecordStore::reserve(int rows)
{
    const auto n = std::size_t(rows < 0 ? 0 : rows);
    for (int f = 0; f < fieldCount(); ++f) {
        Column &column = m_columns[std::size_t(f)];
        switch (m_defs[f].type) {
        case TFieldType::String:
        case TFieldType::FixedChar:
            column.texts.reserve(n);
            break;
        case TFieldType::DateTime:
            column.times.reserve(n);
            break;
        case TFieldType::Float:
            column.numbers.reserve(n);
            break;
        }
        column.nulls.reserve(n);
    }
}

TRecordStore TRecordStore::reordered(TFieldDefs defs, const std::vector<int> &sourceColumn) &&
{
    if (std::size_t(defs.size()) != sourceColumn.size())
        throw std::invalid_argument("TRecordStore::reordered: one source column per field is needed");
    TRecordStore result(std::move(defs));
    std::vector<bool> taken(m_columns.size(), false);
    for (std::size_t i = 0; i < sourceColumn.size(); ++i) {
        const int from = sourceColumn[i];
        if (from < 0 || from >= fieldCount() || taken[std::size_t(from)]
            || m_defs[from].type != result.m_defs[qsizetype(i)].type)
            throw std::invalid_argument("TRecordStore::reordered: each source column once, of the field's type");
        taken[std::size_t(from)] = true;
    }
    for (std::size_t i = 0; i < sourceColumn.size(); ++i)
        result.m_columns[i] = std::move(m_columns[std::size_t(sourceColumn[i])]);
    result.m_rows = m_rows;
    m_columns.assign(m_columns.size(), Column());
    m_rows = 0;
    return result;
}
