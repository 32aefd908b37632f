#include "platform/data/TRecordStore.h"

#include <cstring>
#include <numeric>
#include <stdexcept>

#include "platform/data/RecordStore_p.h"

namespace {

bool isTextType(TFieldType type)
{
    return type == TFieldType::String || type == TFieldType::FixedChar;
}

std::vector<int> identity(int rows)
{
    std::vector<int> order(std::size_t(rows < 0 ? 0 : rows));
    std::iota(order.begin(), order.end(), 0);
    return order;
}

bool isIdentity(const std::vector<int> &order)
{
    for (std::size_t row = 0; row < order.size(); ++row) {
        if (order[row] != int(row))
            return false;
    }
    return true;
}

[[noreturn]] void badCell(const char *operation, int row, int field)
{
    throw std::out_of_range(std::string("TRecordStore::") + operation + ": cell (" + std::to_string(row) + ", "
                            + std::to_string(field) + ") is out of range or of another type");
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
        if (m_defs.at(i).name.compare(fieldName, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

bool TRecordStore::isNull(int row, int field) const
{
    if (row < 0 || row >= m_rows || field < 0 || field >= fieldCount())
        return true;
    return m_columns[std::size_t(field)].nulls[kept(row)] != 0;
}

std::string_view TRecordStore::text(int row, int field) const
{
    if (row < 0 || row >= m_rows || field < 0 || field >= fieldCount() || !isTextType(m_defs.at(field).type))
        return {};
    const Column &column = m_columns[std::size_t(field)];
    const TextCell cell = column.cells[kept(row)];
    if (cell.length == 0)
        return std::string_view("", 0);
    return std::string_view(column.pool.at(cell.offset), cell.length);
}

std::int64_t TRecordStore::dateTimeMs(int row, int field) const
{
    if (row < 0 || row >= m_rows || field < 0 || field >= fieldCount() || m_defs.at(field).type != TFieldType::DateTime)
        return 0;
    return m_columns[std::size_t(field)].times[kept(row)];
}

double TRecordStore::number(int row, int field) const
{
    if (row < 0 || row >= m_rows || field < 0 || field >= fieldCount() || m_defs.at(field).type != TFieldType::Float)
        return 0.0;
    return m_columns[std::size_t(field)].numbers[kept(row)];
}

void TRecordStore::setNull(int row, int field)
{
    if (row < 0 || row >= m_rows || field < 0 || field >= fieldCount())
        badCell("setNull", row, field);
    Column &column = m_columns[std::size_t(field)];
    const std::size_t r = kept(row);
    column.nulls[r] = 1;
    switch (m_defs.at(field).type) {
    case TFieldType::String:
    case TFieldType::FixedChar:
        dropText(column, r);
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
    if (row < 0 || row >= m_rows || field < 0 || field >= fieldCount() || !isTextType(m_defs.at(field).type))
        badCell("setText", row, field);
    Column &column = m_columns[std::size_t(field)];
    writeText(column, kept(row), utf8);
    column.nulls[kept(row)] = 0;
}

// The pool never moves a text while it grows, so `utf8` may be a text of this
// very column (a copied cell).
void TRecordStore::writeText(Column &column, std::size_t row, std::string_view utf8)
{
    TextCell &cell = column.cells[row];
    if (utf8.size() <= cell.length) {
        // Fits where the old text was: no growth (a tick written over a tick).
        if (!utf8.empty())
            std::memmove(column.pool.at(cell.offset), utf8.data(), utf8.size());
        column.deadBytes += cell.length - utf8.size();
        cell.length = std::uint32_t(utf8.size());
    } else {
        column.deadBytes += cell.length;
        cell.offset = column.pool.append(utf8);
        cell.length = std::uint32_t(utf8.size());
    }
    compactIfWasteful(column);
}

void TRecordStore::dropText(Column &column, std::size_t row)
{
    TextCell &cell = column.cells[row];
    column.deadBytes += cell.length;
    cell = TextCell();
    compactIfWasteful(column);
}

// A pool more than half dead (and not small) is compacted; the ends of its
// chunks that no text filled count as dead.
void TRecordStore::compactIfWasteful(Column &column)
{
    const std::uint64_t dead = column.deadBytes + column.pool.unused();
    if (dead > 4096 && dead > column.pool.size() / 2)
        compact(column);
}

void TRecordStore::compact(Column &column)
{
    column.pool = packedTexts(column.cells, column.pool, column.pool.size() - column.pool.unused() - column.deadBytes);
    column.deadBytes = 0;
}

// The texts `cells` point at in `pool`, copied one after another into a pool of
// their size; `cells` then point into that one.
TextArena TRecordStore::packedTexts(BlockArray<TextCell> &cells, const TextArena &pool, std::uint64_t liveBytes)
{
    TextArena packed;
    packed.reserve(std::size_t(liveBytes));
    for (std::size_t row = 0; row < cells.size(); ++row) {
        TextCell &cell = cells[row];
        cell.offset = cell.length == 0 ? 0 : packed.append({pool.at(cell.offset), cell.length});
    }
    return packed;
}

TRecordStore::Column::Column(const Column &other)
    : cells(other.cells)
    , pool(packedTexts(cells, other.pool, other.pool.size() - other.pool.unused() - other.deadBytes))
    , times(other.times)
    , numbers(other.numbers)
    , nulls(other.nulls)
{
}

TRecordStore::Column &TRecordStore::Column::operator=(const Column &other)
{
    if (this != &other)
        *this = Column(other);
    return *this;
}

void TRecordStore::setDateTimeMs(int row, int field, std::int64_t ms)
{
    if (row < 0 || row >= m_rows || field < 0 || field >= fieldCount() || m_defs.at(field).type != TFieldType::DateTime)
        badCell("setDateTimeMs", row, field);
    Column &column = m_columns[std::size_t(field)];
    column.times[kept(row)] = ms;
    column.nulls[kept(row)] = 0;
}

void TRecordStore::setNumber(int row, int field, double value)
{
    if (row < 0 || row >= m_rows || field < 0 || field >= fieldCount() || m_defs.at(field).type != TFieldType::Float)
        badCell("setNumber", row, field);
    Column &column = m_columns[std::size_t(field)];
    column.numbers[kept(row)] = value;
    column.nulls[kept(row)] = 0;
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
    // The new row's cells go after all others; the map puts the row at `at`.
    if (at < m_rows || !m_order.empty()) {
        if (m_order.empty())
            m_order = identity(m_rows);
        m_order.insert(m_order.begin() + at, m_rows);
    }
    const auto r = std::size_t(m_rows);
    for (int f = 0; f < fieldCount(); ++f) {
        Column &column = m_columns[std::size_t(f)];
        switch (m_defs.at(f).type) {
        case TFieldType::String:
        case TFieldType::FixedChar:
            column.cells.insert(r, TextCell());
            break;
        case TFieldType::DateTime:
            column.times.insert(r, 0);
            break;
        case TFieldType::Float:
            column.numbers.insert(r, 0.0);
            break;
        }
        column.nulls.insert(r, 1);
    }
    ++m_rows;
}

void TRecordStore::removeRow(int at)
{
    if (at < 0 || at >= m_rows)
        badCell("removeRow", at, 0);
    const std::size_t r = kept(at);
    if (!m_order.empty()) {
        m_order.erase(m_order.begin() + at);
        for (int &later : m_order)
            later -= std::size_t(later) > r ? 1 : 0;
        if (isIdentity(m_order))
            m_order.clear();
    }
    for (int f = 0; f < fieldCount(); ++f) {
        Column &column = m_columns[std::size_t(f)];
        switch (m_defs.at(f).type) {
        case TFieldType::String:
        case TFieldType::FixedChar:
            dropText(column, r);
            column.cells.erase(r);
            break;
        case TFieldType::DateTime:
            column.times.erase(r);
            break;
        case TFieldType::Float:
            column.numbers.erase(r);
            break;
        }
        column.nulls.erase(r);
    }
    --m_rows;
}

void TRecordStore::permuteRows(const std::vector<int> &order)
{
    if (order.size() != std::size_t(m_rows))
        throw std::invalid_argument("TRecordStore::permuteRows: one entry per row is needed");
    std::vector<bool> seen(order.size(), false);
    for (const int from : order) {
        if (from < 0 || from >= m_rows || seen[std::size_t(from)])
            throw std::invalid_argument("TRecordStore::permuteRows: each row once");
        seen[std::size_t(from)] = true;
    }
    std::vector<int> cellsOf(order.size());
    for (std::size_t row = 0; row < order.size(); ++row)
        cellsOf[row] = int(kept(order[row]));
    if (isIdentity(cellsOf))
        cellsOf.clear();
    m_order.swap(cellsOf);
}

std::vector<int> TRecordStore::rowsInKeptOrder() const
{
    std::vector<int> rows = identity(m_rows);
    for (std::size_t row = 0; row < m_order.size(); ++row)
        rows[std::size_t(m_order[row])] = int(row);
    return rows;
}

void TRecordStore::copyRow(int from, const TRecordStore &source, int sourceRow)
{
    if (from < 0 || from >= m_rows || sourceRow < 0 || sourceRow >= source.m_rows
        || source.fieldCount() != fieldCount())
        badCell("copyRow", from, 0);
    for (int f = 0; f < fieldCount(); ++f)
        copyCell(from, f, source, sourceRow);
}

void TRecordStore::copyCell(int row, int field, const TRecordStore &source, int sourceRow)
{
    if (row < 0 || row >= m_rows || sourceRow < 0 || sourceRow >= source.m_rows || field < 0 || field >= fieldCount()
        || field >= source.fieldCount())
        badCell("copyCell", row, field);
    const TFieldType type = m_defs.at(field).type;
    const TFieldType sourceType = source.m_defs.at(field).type;
    if (type != sourceType && !(isTextType(type) && isTextType(sourceType)))
        badCell("copyCell", row, field);
    const std::size_t to = kept(row);
    const std::size_t src = source.kept(sourceRow);
    Column &column = m_columns[std::size_t(field)];
    const Column &sourceColumn = source.m_columns[std::size_t(field)];
    switch (type) {
    case TFieldType::String:
    case TFieldType::FixedChar:
        writeText(column, to, source.text(sourceRow, field));
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

void TRecordStore::clear()
{
    for (Column &column : m_columns)
        column = Column();
    m_rows = 0;
    m_order.clear();
}

void TRecordStore::reserve(int rows)
{
    const auto n = std::size_t(rows < 0 ? 0 : rows);
    for (int f = 0; f < fieldCount(); ++f) {
        Column &column = m_columns[std::size_t(f)];
        switch (m_defs.at(f).type) {
        case TFieldType::String:
        case TFieldType::FixedChar:
            column.cells.reserve(n);
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
            || m_defs.at(from).type != result.m_defs.at(qsizetype(i)).type)
            throw std::invalid_argument("TRecordStore::reordered: each source column once, of the field's type");
        taken[std::size_t(from)] = true;
    }
    for (std::size_t i = 0; i < sourceColumn.size(); ++i)
        result.m_columns[i] = std::move(m_columns[std::size_t(sourceColumn[i])]);
    result.m_rows = m_rows;
    result.m_order = std::move(m_order);
    for (Column &column : m_columns)
        column = Column();
    m_rows = 0;
    m_order.clear();
    return result;
}
