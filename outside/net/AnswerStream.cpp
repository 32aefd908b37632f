#include "outside/net/AnswerStream.h"

#include <simdjson.h>

#include "platform/data/FasError.h"
#include "platform/data/TJsonDocument.h"

AnswerStream::AnswerStream(int maxRows)
    : m_maxRows(maxRows)
{
}

bool AnswerStream::feed(std::string_view bytes, qsizetype maxWholeBytes)
{
    m_bytes.fetch_add(qint64(bytes.size()), std::memory_order_relaxed);
    while (!bytes.empty()) {
        std::size_t taken = 0;
        switch (m_mode) {
        case Mode::Envelope:
            taken = scanEnvelope(bytes);
            break;
        case Mode::Packet:
            taken = feedPacket(bytes);
            break;
        case Mode::Tail:
            m_tail.append(bytes);
            taken = bytes.size();
            break;
        }
        bytes.remove_prefix(taken);
    }
    return m_whole.size() <= maxWholeBytes;
}

// The answer's own object: kept whole until an object opens as its "result".
std::size_t AnswerStream::scanEnvelope(std::string_view bytes)
{
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (m_scan.step(c) == JsonScan::Byte::Open) {
            if (m_scan.depth() == 2 && c == '{') {
                m_whole.append(bytes.data(), qsizetype(i));
                if (resultStartsHere()) {
                    m_head.assign(m_whole.constData(), std::size_t(m_whole.size()));
                    m_whole = QByteArray();
                    m_packet = std::make_unique<PacketStream>(std::numeric_limits<qsizetype>::max(), m_maxRows);
                    m_packet->stopAtEnd(true);
                    m_mode = Mode::Packet;
                    m_streamed = true;
                    return i;
                }
                m_whole.append(c);
                return i + 1;
            }
        }
    }
    m_whole.append(bytes.data(), qsizetype(bytes.size()));
    return bytes.size();
}

// Whether the answer so far, closed with a null, is an object whose last member
// is "result" and which has no "error".
bool AnswerStream::resultStartsHere() const
{
    const std::string closed = std::string(m_whole.constData(), std::size_t(m_whole.size())) + "null}";
    simdjson::dom::parser parser;
    simdjson::dom::object top;
    if (parser.parse(closed).get_object().get(top) != simdjson::SUCCESS)
        return false;
    std::string_view last;
    for (const simdjson::dom::key_value_pair member : top) {
        if (member.key == "error")
            return false;
        last = member.key;
    }
    return last == "result";
}

std::size_t AnswerStream::feedPacket(std::string_view bytes)
{
    std::size_t taken = bytes.size();
    if (!m_failure) {
        try {
            taken = m_packet->feed(bytes);
            m_rows.store(m_packet->rows(), std::memory_order_relaxed);
        } catch (const FasError &) {
            m_failure = std::current_exception(); // the rest of the packet is read past
        }
    }
    if (m_failure)
        return bytes.size(); // past a refused packet nothing more is read
    if (m_packet->complete())
        m_mode = Mode::Tail;
    return taken;
}

std::shared_ptr<TDataPacket::Received> AnswerStream::packet()
{
    auto received = std::make_shared<TDataPacket::Received>();
    received->failure = m_failure;
    if (!m_failure && packetEnded()) {
        try {
            received->rows = m_packet->finish();
        } catch (const FasError &) {
            received->failure = std::current_exception();
        }
    }
    m_packet.reset();
    return received;
}
