#pragma once

// Internals shared by the codec, the fields and the dataset; not installed.

#include <cstdint>
#include <string_view>

#include "platform/data/TRecordStore.h"

// Direct access to a store's columns, so the packet decoder can append cells
// column by column without first filling a row with nulls. After appending one
// cell to every column, the decoder sets the row count.
struct RecordStoreAccess
{
    static void appendText(TRecordStore &s, int f, std::string_view utf8)
    {
        TRecordStore::Column &column = s.m_columns[std::size_t(f)];
        column.cells.push_back({column.pool.append(utf8), std::uint32_t(utf8.size())});
        column.nulls.push_back(0);
    }
    static void appendDateTime(TRecordStore &s, int f, std::int64_t ms)
    {
        TRecordStore::Column &column = s.m_columns[std::size_t(f)];
        column.times.push_back(ms);
        column.nulls.push_back(0);
    }
    static void appendNumber(TRecordStore &s, int f, double value)
    {
        TRecordStore::Column &column = s.m_columns[std::size_t(f)];
        column.numbers.push_back(value);
        column.nulls.push_back(0);
    }
    static void appendNull(TRecordStore &s, int f)
    {
        TRecordStore::Column &column = s.m_columns[std::size_t(f)];
        switch (s.m_defs.at(f).type) {
        case TFieldType::String:
        case TFieldType::FixedChar:
            column.cells.push_back({});
            break;
        case TFieldType::DateTime:
            column.times.push_back(0);
            break;
        case TFieldType::Float:
            column.numbers.push_back(0.0);
            break;
        }
        column.nulls.push_back(1);
    }
    static void setRowCount(TRecordStore &s, int rows) { s.m_rows = rows; }
    // Gives back what the columns' last blocks hold beyond their cells.
    static void shrinkToFit(TRecordStore &s)
    {
        for (TRecordStore::Column &column : s.m_columns) {
            column.cells.shrinkToFit();
            column.pool.shrinkToFit();
            column.times.shrinkToFit();
            column.numbers.shrinkToFit();
            column.nulls.shrinkToFit();
        }
    }
};

namespace Utf8 {

// Characters (code points) of valid UTF-8: every byte that does not continue a
// sequence starts a character.
inline std::size_t length(std::string_view text)
{
    std::size_t count = 0;
    for (const char c : text)
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return count;
}

} // namespace Utf8
