#pragma once

#include <atomic>
#include <exception>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

#include <QByteArray>

#include "platform/data/JsonScan.h"
#include "platform/data/PacketStream.h"
#include "platform/data/TDataPacket.h"

// A remote call's answer read as it arrives. When its "result" is an object it is
// read as a data packet straight into a record store (PacketStream), keeping only
// the answer's envelope around it; any other answer is kept whole and read as
// before. The rows received so far can be asked from another thread.
class AnswerStream
{
public:
    explicit AnswerStream(int maxRows = PacketStream::DefaultMaxRows);

    // The next bytes of the answer; false when a whole answer grows past
    // `maxWholeBytes` (the transfer should stop).
    bool feed(std::string_view bytes, qsizetype maxWholeBytes);
    int rows() const { return m_rows.load(std::memory_order_relaxed); }
    // Bytes received so far; may be asked from another thread.
    qint64 bytes() const { return m_bytes.load(std::memory_order_relaxed); }

    // After the last byte. Whether the result was a packet read as it came:
    // then envelope() is the answer with "null" in its place and packet() its rows
    // or why they were refused; otherwise whole() is the answer's text.
    bool streamed() const { return m_streamed; }
    // Whether the packet was refused while it arrived, and whether its text ended.
    bool refusedEarly() const { return m_failure != nullptr; }
    bool packetEnded() const { return m_mode == Mode::Tail; }
    std::string envelope() const { return m_head + "null" + m_tail; }
    std::shared_ptr<TDataPacket::Received> packet();
    QByteArray &whole() { return m_whole; }

private:
    enum class Mode { Envelope, Packet, Tail };

    std::size_t scanEnvelope(std::string_view bytes);
    bool resultStartsHere() const;
    std::size_t feedPacket(std::string_view bytes);

    int m_maxRows;
    Mode m_mode = Mode::Envelope;
    QByteArray m_whole; // the answer while its result is not known to be a packet
    std::string m_head; // the envelope before the packet
    std::string m_tail; // and after it
    std::unique_ptr<PacketStream> m_packet;
    std::exception_ptr m_failure;
    std::atomic<int> m_rows{0};
    std::atomic<qint64> m_bytes{0};
    JsonScan m_scan;
    bool m_streamed = false;
};
