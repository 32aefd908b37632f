#include "TDataPacket.h"

#include "TJsonDocument.h"

TDataPacket::TDataPacket(QByteArray json)
    : m_json(std::move(json))
{
}

TDataPacket::TDataPacket(std::shared_ptr<const TJsonDocument> document, std::string member)
    : m_document(std::move(document))
    , m_member(std::move(member))
{
}

bool TDataPacket::isEmpty() const
{
    if (!m_document)
        return m_json.isEmpty();
    simdjson::dom::element value;
    return m_document->member(m_member).get(value) != simdjson::SUCCESS || value.is_null();
}

QByteArray TDataPacket::json() const
{
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
    if (!m_document)
        return DataPacket::decode(m_json, maxBytes);
    return DataPacket::decode(*m_document, m_member, maxBytes);
}
