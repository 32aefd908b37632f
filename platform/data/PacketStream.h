#pragma once

#include <memory>
#include <string>
#include <string_view>

#include <QtGlobal>

#include "platform/data/DataPacket.h"
#include "platform/data/JsonScan.h"
#include "platform/data/TRecordStore.h"
#include "fasdata_export.h"

// Reads a data packet while its text arrives, straight into a record store: the
// text before the rows ("fields" and the opening of "rows") is kept until it is
// complete, then each row is read as soon as its last byte is in and its text is
// dropped, so no whole text and no parsed document ever sit beside the rows.
//
// It checks every rule DataPacket::decode checks, with the same messages: the
// fields and the rows through the same reader of values; a row that is not JSON
// by asking the same fault finder about a stand-in text whose earlier rows are
// replaced by placeholders of the same length (so rows and byte positions are
// named as in the whole text). A packet of another shape (rows before fields,
// another key before the rows) is kept whole and decoded at the end.
// Where a text has several faults the first one to arrive is named.
class FASDATA_EXPORT PacketStream
{
public:
    static constexpr int DefaultMaxRows = 3'000'000;

    explicit PacketStream(qsizetype maxBytes = DataPacket::DefaultMaxBytes, int maxRows = DefaultMaxRows);
    ~PacketStream();
    PacketStream(const PacketStream &) = delete;
    PacketStream &operator=(const PacketStream &) = delete;

    // Inside a larger text (a remote call's answer) the packet's own text ends at
    // its closing brace: feed() then takes no more and says how much it took.
    void stopAtEnd(bool stop) { m_stopAtEnd = stop; }

    // Takes the next bytes; returns how many it took (all of them, unless the
    // packet ended and stopAtEnd is set). Throws PacketError at a fault in a row.
    std::size_t feed(std::string_view bytes);
    // Whether the packet's closing brace has arrived.
    bool complete() const { return m_complete; }
    // Rows read so far (0 while the packet is kept whole).
    int rows() const;
    qsizetype bytes() const { return m_total; }

    // The text has ended: the packet's rows, or PacketError.
    TRecordStore finish();

private:
    enum class Mode { Head, Rows, Tail };
    struct Parsing; // the readers of values, kept out of the header

    std::size_t scanHead(std::string_view bytes);
    std::size_t scanRows(std::string_view bytes);
    std::size_t scanTail(std::string_view bytes);
    std::size_t scanKept(std::string_view bytes, std::string &kept, bool beforeRows);
    bool tryStartRows();
    void endElement();
    void readRow();
    [[noreturn]] void refuseRow(bool closed);
    void checkTail();
    std::string standIn(bool closed, bool rowsAsBlanks) const;

    qsizetype m_maxBytes;
    int m_maxRows;
    bool m_stopAtEnd = false;
    Mode m_mode = Mode::Head;
    std::string m_head; // the whole text while in Head; up to the rows' '[' after
    std::string m_row;  // the row being received
    std::string m_tail; // after the rows' ']'
    qsizetype m_total = 0;
    qsizetype m_rowsConsumed = 0; // bytes of the rows list so far (after its '[')
    qsizetype m_elementAt = 0;    // where the row being received starts in the rows list
    int m_rowCount = 0;
    JsonScan m_scan;
    bool m_inElement = false;
    bool m_afterComma = false;
    bool m_overLimit = false;
    bool m_complete = false;
    std::unique_ptr<Parsing> m_parsing;
};
