#include "outside/net/TRemoteValue.h"

#include "platform/data/TJsonDocument.h"

namespace {

constexpr const char *ResultMember = "result";

} // namespace

TRemoteValue::TRemoteValue(std::shared_ptr<const TJsonDocument> answer)
    : m_answer(std::move(answer))
{
}

TRemoteValue::TRemoteValue(std::shared_ptr<TDataPacket::Received> packet)
    : m_received(std::move(packet))
{
}

const QByteArray &TRemoteValue::json() const
{
    if (m_received && !m_written) {
        m_json = TDataPacket(m_received).json();
        m_written = true;
    }
    if (m_answer && !m_written) {
        m_json = TDataPacket(m_answer, ResultMember).json();
        m_written = true;
    }
    return m_json;
}

bool TRemoteValue::isEmpty() const
{
    if (m_received)
        return false;
    if (m_answer)
        return TDataPacket(m_answer, ResultMember).isEmpty();
    return m_json.isEmpty() || m_json == "null";
}

char TRemoteValue::firstSignificant() const
{
    if (m_received)
        return '{';
    if (!m_answer) {
        for (const char c : m_json) {
            if (c != ' ' && c != '\n' && c != '\r' && c != '\t')
                return c;
        }
        return '\0';
    }
    simdjson::dom::element value;
    if (m_answer->member(ResultMember).get(value) != simdjson::SUCCESS)
        return '\0';
    switch (value.type()) {
    case simdjson::dom::element_type::OBJECT:
        return '{';
    case simdjson::dom::element_type::ARRAY:
        return '[';
    case simdjson::dom::element_type::STRING:
        return '"';
    case simdjson::dom::element_type::NULL_VALUE:
        return 'n';
    case simdjson::dom::element_type::BOOL:
        return value.get_bool().value_unsafe() ? 't' : 'f';
    default:
        return '0'; // a number
    }
}

TDataPacket TRemoteValue::packet() const
{
    if (m_received)
        return TDataPacket(m_received);
    if (m_answer)
        return TDataPacket(m_answer, ResultMember);
    return TDataPacket(m_json);
}
