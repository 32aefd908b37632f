#include "platform/data/TDataPacket.h"

#include "platform/data/TJsonDocument.h"

TDataPacket::TDataPacket(QByteArray json)
    : m_json(std::move(json))
{
}

TDataPacket::TDataPacket(std::shared_ptr<const TJsonDocument> document, std::string member)
    : m_document(std::move(document))
    , m_member(std::move(member))
{
}

TDataPacket::TDataPacket(std::shared_ptr<Received> received)
    : m_received(std::move(received))
{
}

bool TDataPacket::isEmpty() const
{
    if (m_received)
        return false;
    if (!m_document)
        return m_json.isEmpty();
    simdjson::dom::element value;
    return m_document->member(m_member).get(value) != simdjson::SUCCESS || value.is_null();
}

QByteArray TDataPacket::json() const
{
    if (m_received)
        return m_received->failure ? QByteArray() : DataPacket::encode(m_received->rows);
    if (!m_document)
        return m_json;
    simdjson::dom::element value;
    if (m_document->member(m_member).get(value) != simdjson::SUCCESS)
        return {};
    const std::string text = simdjson::to_string(value);
    return QByteArray(text.data(), qsizetype(text.size()));
}

TRecordStore TDataPacket::decode(qsizetype maxBytes) const
{
    if (m_received) {
        if (m_received->failure)
            std::rethrow_exception(m_received->failure);
        return std::move(m_received->rows);
    }
    if (!m_document)
        return DataPacket::decode(m_json, maxBytes);
    return DataPacket::decode(*m_document, m_member, maxBytes);
}
