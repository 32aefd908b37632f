#pragma once

#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include <QByteArray>

#include "platform/data/DataPacket.h"
#include "platform/data/TRecordStore.h"
#include "fasdata_export.h"

class TJsonDocument;

// A data packet on its way into a client dataset: either its JSON text, or a
// packet inside a document the parser has already read (the result of a remote
// call), which then loads from the parsed values without its text being read or
// copied again, or the rows already read while the answer arrived. SetData takes any.
class FASDATA_EXPORT TDataPacket
{
public:
    // A packet read while it arrived (PacketStream): its rows, or why it was refused.
    struct Received
    {
        TRecordStore rows;
        std::exception_ptr failure;
    };

    TDataPacket() = default;
    TDataPacket(QByteArray json); // NOLINT(google-explicit-constructor): a text is a packet
    // Member `member` of the root object of `document`.
    TDataPacket(std::shared_ptr<const TJsonDocument> document, std::string member);
    // Its rows move out at the first decode, which is the load they were read for.
    explicit TDataPacket(std::shared_ptr<Received> received);

    bool isEmpty() const;
    // The packet's text; for a parsed packet it is written from the parsed values
    // (only tests and diagnostics ask for it).
    QByteArray json() const;
    operator QByteArray() const { return json(); } // NOLINT(google-explicit-constructor)

    // DataPacket::decode of the text or of the parsed values.
    TRecordStore decode(qsizetype maxBytes = DataPacket::DefaultMaxBytes) const;

    friend bool operator==(const TDataPacket &packet, const QByteArray &json) { return packet.json() == json; }

private:
    QByteArray m_json;
    std::shared_ptr<const TJsonDocument> m_document;
    std::string m_member;
    std::shared_ptr<Received> m_received;
};
