#include "platform/data/PacketStream.h"

#include "platform/data/PacketFaults.h"
#include "platform/data/PacketReader.h"
#include "platform/data/PacketText_p.h"
#include "platform/data/RecordStore_p.h"
#include "platform/data/TJsonDocument.h"

namespace dom = simdjson::dom;
using namespace DataPacket::detail;

struct PacketStream::Parsing
{
    PacketReader reader; // holds the store the rows go into
    dom::parser parser;  // one row at a time
};

PacketStream::PacketStream(qsizetype maxBytes, int maxRows)
    : m_maxBytes(maxBytes)
    , m_maxRows(maxRows)
{
}

PacketStream::~PacketStream() = default;

int PacketStream::rows() const
{
    return m_rowCount;
}

std::size_t PacketStream::feed(std::string_view bytes)
{
    std::size_t taken = 0;
    while (taken < bytes.size() && !(m_complete && m_stopAtEnd)) {
        const std::string_view rest = bytes.substr(taken);
        switch (m_mode) {
        case Mode::Head:
            taken += scanHead(rest);
            break;
        case Mode::Rows:
            taken += scanRows(rest);
            break;
        case Mode::Tail:
            taken += scanTail(rest);
            break;
        }
    }
    m_total += qsizetype(taken);
    if (m_total > m_maxBytes && m_parsing && !m_overLimit) {
        // Refused at the end, naming the whole size; the rows read so far go now.
        m_overLimit = true;
        m_parsing->reader.store() = TRecordStore(m_parsing->reader.store().defs());
    }
    return taken;
}

// Outside the rows everything is kept: before them in m_head, where the scan stops
// after the '[' that opens them; after them in m_tail.
std::size_t PacketStream::scanHead(std::string_view bytes)
{
    return scanKept(bytes, m_head, true);
}

std::size_t PacketStream::scanTail(std::string_view bytes)
{
    return scanKept(bytes, m_tail, false);
}

std::size_t PacketStream::scanKept(std::string_view bytes, std::string &kept, bool beforeRows)
{
    std::size_t i = 0;
    for (; i < bytes.size(); ++i) {
        const char c = bytes[i];
        const JsonScan::Byte kind = m_scan.step(c);
        if (kind == JsonScan::Byte::Open) {
            if (beforeRows && c == '[' && m_scan.depth() == 2 && !m_complete) {
                kept.append(bytes.substr(0, i + 1));
                if (tryStartRows())
                    m_mode = Mode::Rows;
                return i + 1;
            }
        } else if (kind == JsonScan::Byte::Close && m_scan.depth() == 0 && !m_complete) {
            m_complete = true;
            if (m_stopAtEnd) {
                ++i;
                break;
            }
        }
    }
    kept.append(bytes.substr(0, i));
    return i;
}

// The text so far, closed after an empty rows list, must be a good packet whose
// last member is the list just opened: "fields" is then known and every row
// can be read as it comes.
bool PacketStream::tryStartRows()
{
    auto parsing = std::make_unique<Parsing>();
    const std::string closed = m_head + "]}";
    dom::element root;
    if (parseWhole(parsing->parser, closed, root) != simdjson::SUCCESS)
        return false;
    try {
        parsing->reader.readInto(root);
    } catch (const PacketError &) {
        return false; // refused in the whole text too, with the same words, at the end
    }
    m_parsing = std::move(parsing);
    return true;
}

std::size_t PacketStream::scanRows(std::string_view bytes)
{
    std::size_t start = 0; // of the current row's bytes in `bytes`
    std::size_t i = 0;
    const auto leaveRows = [&] {
        m_scan.close();
        m_mode = Mode::Tail;
        m_rowsConsumed += qsizetype(i + 1);
        return i + 1;
    };
    for (; i < bytes.size(); ++i) {
        if (m_scan.inString()) {
            i = m_scan.skipString(bytes, i);
            continue;
        }
        const char c = bytes[i];
        if (!m_inElement) {
            if (c == ' ' || c == '\n' || c == '\r' || c == '\t')
                continue;
            m_elementAt = m_rowsConsumed + qsizetype(i);
            if (c == ',' || (c == ']' && m_afterComma)) {
                m_row.assign(1, c);
                refuseRow(true); // a comma without a row before it, or after the last
            }
            if (c == ']')
                return leaveRows();
            m_inElement = true;
            m_afterComma = false;
            start = i;
        }
        if (c == '"') {
            m_scan.enterString();
        } else if (c == '[' || c == '{') {
            m_scan.open();
        } else if (m_scan.depth() > 2) {
            if (c == ']' || c == '}')
                m_scan.close();
        } else if (c == '}') {
            m_row.append(bytes.substr(start, i + 1 - start));
            refuseRow(true); // a brace that closes nothing the row opened
        } else if (c == ',' || c == ']') {
            m_row.append(bytes.substr(start, i - start));
            endElement();
            if (c == ']')
                return leaveRows();
            m_afterComma = true;
        }
    }
    if (m_inElement)
        m_row.append(bytes.substr(start));
    m_rowsConsumed += qsizetype(bytes.size());
    return bytes.size();
}

void PacketStream::endElement()
{
    m_inElement = false;
    readRow();
    m_row.clear();
}

namespace {

// Parses one row in place; one with an integer beyond 64 bits again, widened.
simdjson::error_code parseRow(dom::parser &parser, std::string &text, dom::element &root)
{
    text.reserve(text.size() + std::size_t(TJsonDocument::Padding));
    const simdjson::error_code error = parser.parse(text.data(), text.size(), false).get(root);
    if (error != simdjson::NUMBER_ERROR)
        return error;
    return parseWhole(parser, text, root);
}

} // namespace

void PacketStream::readRow()
{
    if (m_overLimit)
        return;
    dom::element root;
    if (parseRow(m_parsing->parser, m_row, root) != simdjson::SUCCESS)
        refuseRow(true);
    if (m_rowCount == m_maxRows)
        invalid(QStringLiteral("o pacote tem mais de %1 linhas, acima do limite desta estação; restrinja a consulta")
                    .arg(m_maxRows));
    m_parsing->reader.readRow(root, m_rowCount);
    ++m_rowCount;
}

// The text as far as it is needed to name the fault of the row being received,
// with every earlier row replaced by a placeholder and blanks of the same length;
// `closed`: the row is complete, so the lists are closed after it. Or the whole
// packet with its rows blank (rowsAsBlanks), to name a fault after the rows.
std::string PacketStream::standIn(bool closed, bool rowsAsBlanks) const
{
    std::string text = m_head;
    if (rowsAsBlanks) {
        text.append(std::size_t(m_rowsConsumed) - 1, ' ');
        text += ']';
        text += m_tail;
        return text;
    }
    for (int row = 0; row < m_rowCount; ++row)
        text += "0,";
    text.append(std::size_t(m_elementAt) - 2 * std::size_t(m_rowCount), ' ');
    text += m_row;
    if (closed)
        text += "]}";
    return text;
}

void PacketStream::refuseRow(bool closed)
{
    const std::string text = standIn(closed, false);
    dom::parser parser;
    dom::element root;
    const simdjson::error_code error = parseWhole(parser, text, root);
    if (error != simdjson::SUCCESS)
        refuse(QByteArrayView(text.data(), qsizetype(text.size())), error);
    invalid(jsonProblem(simdjson::TAPE_ERROR));
}

TRecordStore PacketStream::finish()
{
    if (m_mode == Mode::Head)
        return DataPacket::decode(QByteArrayView(m_head.data(), qsizetype(m_head.size())), m_maxBytes);
    if (m_total > m_maxBytes)
        invalid(QStringLiteral("o pacote tem %1 bytes, acima do limite de %2 bytes").arg(m_total).arg(m_maxBytes));
    if (m_mode == Mode::Rows) {
        m_elementAt = m_inElement ? m_elementAt : m_rowsConsumed;
        refuseRow(false); // the text ended inside the rows
    }
    checkTail();
    TRecordStore store = std::move(m_parsing->reader.store());
    m_parsing.reset();
    RecordStoreAccess::shrinkToFit(store);
    return store;
}

// After the rows: the packet with an empty list must be good; if it is not, the
// whole packet with its rows blank names the fault, at its place in the text.
void PacketStream::checkTail()
{
    const std::string closed = m_head + "]" + m_tail;
    dom::element root;
    if (parseWhole(m_parsing->parser, closed, root) == simdjson::SUCCESS) {
        try {
            PacketReader().read(root);
            return;
        } catch (const PacketError &) {
        }
    }
    const std::string whole = standIn(false, true);
    DataPacket::decode(QByteArrayView(whole.data(), qsizetype(whole.size())), m_maxBytes);
}
