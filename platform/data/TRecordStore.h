#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/data/ColumnBlocks.h"
#include "platform/data/TFieldDef.h"
#include "fasdata_export.h"

// Column-wise storage of the rows of a client dataset: one typed array per field
// and a null flag per cell, no QVariant per cell. Text is kept as UTF-8 in one
// pool per column, each cell an offset and a length into it (8 bytes a cell and
// no allocation per cell: 100,000 rows load fast and stay small). The arrays and
// pools grow in blocks that never move (ColumnBlocks.h), so a store that grows
// row by row to a million rows never holds a second copy of a column. A text that
// fits where the cell's old text was is written over it; otherwise it goes to the
// end of the pool, and the pool is compacted once more than half of it is text
// no cell points at any more. A view returned by text() is valid until the next
// write to the same column.
// Date-times are milliseconds since 1970-01-01T00:00 of the wall clock (no zone).
//
// The rows are read in their order, which need not be the order their cells are
// kept in: a sort (permuteRows) or an insert before the end only changes a map
// from each row to where its cells are, so sorting a million rows of many
// columns costs the row numbers, not every cell. Inserted rows keep their cells
// after all others, so the cells stay in the order the rows came in.
//
// The store is plain storage: it does not check text sizes or UTF-8 (the data
// packet codec and TField do). Reading a cell of the wrong kind or out of range
// gives the empty value; writing one throws std::out_of_range, because it is a
// programming error, not a user's.
class FASDATA_EXPORT TRecordStore
{
public:
    TRecordStore() = default;
    explicit TRecordStore(TFieldDefs defs);

    const TFieldDefs &defs() const { return m_defs; }
    int fieldCount() const { return int(m_defs.size()); }
    int rowCount() const { return m_rows; }
    int indexOf(const QString &fieldName) const; // -1 when absent; case-insensitive

    bool isNull(int row, int field) const;             // true out of range too
    std::string_view text(int row, int field) const;   // text fields; "" when null
    std::int64_t dateTimeMs(int row, int field) const; // date-time fields; 0 when null
    double number(int row, int field) const;           // float fields; 0 when null

    void setNull(int row, int field);
    void setText(int row, int field, std::string_view utf8);
    void setText(int row, int field, const char *utf8) { setText(row, field, std::string_view(utf8)); }
    void setDateTimeMs(int row, int field, std::int64_t ms);
    void setNumber(int row, int field, double value);

    int appendRow();        // a row of nulls; returns its index
    void insertRow(int at); // a row of nulls before `at`
    void removeRow(int at);
    // Overwrites row `from` of this store with `sourceRow` of `source`; both stores
    // have fields of the same types in the same order.
    void copyRow(int from, const TRecordStore &source, int sourceRow);
    // Overwrites cell (row, field) with cell (sourceRow, field) of `source`, whose
    // field there has the same type.
    void copyCell(int row, int field, const TRecordStore &source, int sourceRow);
    // Puts the rows in the order given: row i afterwards is row order[i] before.
    // `order` holds every row number once (an index, see TRecordIndex); no cell
    // moves, only the map from rows to cells changes.
    void permuteRows(const std::vector<int> &order);
    // The rows in the order their cells are kept: a pass over every row in this
    // order reads the cells one after another (an index's keys) rather than
    // jumping about after a sort.
    std::vector<int> rowsInKeptOrder() const;
    void clear(); // drops the rows, keeps the definitions
    void reserve(int rows);

    // The same rows with the fields in the order of `defs`: column i of the result is
    // column sourceColumn[i] of this store, moved, not copied. `defs` gives the new
    // definitions (labels, formats); each must have the type of its source column.
    TRecordStore reordered(TFieldDefs defs, const std::vector<int> &sourceColumn) &&;

private:
    friend struct RecordStoreAccess; // the packet decoder fills columns directly

    struct TextCell
    {
        std::uint32_t offset = 0;
        std::uint32_t length = 0;
    };
    struct Column
    {
        Column() = default;
        Column(Column &&) noexcept = default;
        Column &operator=(Column &&) noexcept = default;
        Column(const Column &other); // the texts packed in a pool of their size
        Column &operator=(const Column &other);

        BlockArray<TextCell> cells; // text fields: where each cell's text is in `pool`
        TextArena pool;
        std::size_t deadBytes = 0; // bytes of `pool` that no cell points at any more
        BlockArray<std::int64_t> times;
        BlockArray<double> numbers;
        BlockArray<std::uint8_t> nulls;
    };
    static void writeText(Column &column, std::size_t row, std::string_view utf8);
    static void dropText(Column &column, std::size_t row);
    static void compactIfWasteful(Column &column);
    static void compact(Column &column);
    static TextArena packedTexts(BlockArray<TextCell> &cells, const TextArena &pool, std::uint64_t liveBytes);
    // Where the cells of `row` are kept.
    std::size_t kept(int row) const { return m_order.empty() ? std::size_t(row) : std::size_t(m_order[std::size_t(row)]); }

    TFieldDefs m_defs;
    std::vector<Column> m_columns;
    int m_rows = 0;
    std::vector<int> m_order; // per row, where its cells are kept; empty: row i at i
};
