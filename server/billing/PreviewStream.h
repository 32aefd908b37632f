#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "server/billing/PacketRowWriter.h"
#include "server/sql/NativeCursor.h"

// The preview packet written part by part while the database reads its rows: a
// part is at least PartBytes of packet text (the last may be shorter), so a large
// answer never exists whole in memory. The query runs, and its first row is read,
// when the stream is made: a failure to start is an ordinary failure of the call.
class PreviewStream
{
public:
    static constexpr std::size_t PartBytes = std::size_t(64) * 1024;

    // Throws SqlFailure.
    explicit PreviewStream(std::unique_ptr<NativeCursor> cursor);

    // Appends the next part to `out`; false once the packet is complete. Throws
    // SqlFailure or PacketError; the stream is then unusable.
    bool fill(std::string &out);
    int rows() const { return m_rows; }

private:
    std::unique_ptr<NativeCursor> m_cursor;
    bool m_started = false;
    bool m_hasRow = false;
    int m_rows = 0;
};
