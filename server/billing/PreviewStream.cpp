#include "server/billing/PreviewStream.h"

#include "billing/BillingItemLayout.h"

PreviewStream::PreviewStream(std::unique_ptr<NativeCursor> cursor)
    : m_cursor(std::move(cursor))
{
    m_hasRow = m_cursor->next();
}

bool PreviewStream::fill(std::string &out)
{
    const TFieldDefs &layout = BillingItemLayout::faturamento();
    const std::size_t until = out.size() + PartBytes;
    if (out.capacity() < until + PartBytes / 4)
        out.reserve(until + PartBytes / 4);
    PacketRowWriter writer(layout, out, m_rows);
    if (!m_started) {
        writer.begin();
        m_started = true;
    }
    while (m_hasRow && out.size() < until) {
        m_cursor->writeRow(writer);
        m_hasRow = m_cursor->next();
    }
    m_rows = writer.rowsWritten();
    if (m_hasRow)
        return true;
    writer.end();
    return false;
}
