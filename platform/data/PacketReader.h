#pragma once

#include <string_view>
#include <vector>

#include <simdjson.h>

#include "platform/data/TRecordStore.h"

namespace DataPacket::detail {

enum class Kind : std::uint8_t { Text, DateTime, Float };

// Reads a packet from the values the DOM parser has read, checking every rule of
// the format and saying what is wrong and where (field, row, column): throws
// PacketError.
class PacketReader
{
public:
    TRecordStore read(simdjson::dom::element root);

    // For a packet read as it arrives (PacketStream): the packet read so far, then
    // each further row as its own value; `store()` holds what was read.
    void readInto(simdjson::dom::element root);
    void readRow(simdjson::dom::element item, int row);
    TRecordStore &store() { return m_store; }

private:
    void readFields(simdjson::dom::element list);
    void readFieldEntry(simdjson::dom::element entry, int index, TFieldDefs &defs) const;
    void readRows(simdjson::dom::element list);
    void readCell(simdjson::dom::element cell, int row, int column);
    [[noreturn]] void badCell(int row, int column, const QString &problem) const;

    TRecordStore m_store;
    std::vector<Kind> m_kinds;
    std::vector<std::size_t> m_sizes;
};

// Parses `text` with the DOM; a text the DOM would refuse for its integers alone
// (beyond 64 bits) is parsed with them written as decimals, which read to the
// same values.
simdjson::error_code parseWhole(simdjson::dom::parser &parser, std::string_view text, simdjson::dom::element &root);

} // namespace DataPacket::detail
