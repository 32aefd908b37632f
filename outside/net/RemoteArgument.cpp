#include "outside/net/RemoteArgument.h"

#include "platform/data/JsonWriter.h"

RemoteArgument::RemoteArgument(Kind kind, QByteArray payload)
    : m_kind(kind)
    , m_payload(std::move(payload))
{
}

RemoteArgument RemoteArgument::text(const QString &value)
{
    return RemoteArgument(Kind::Text, value.toUtf8());
}

RemoteArgument RemoteArgument::date(const QDateTime &value)
{
    return RemoteArgument(Kind::Date, value.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")).toLatin1());
}

RemoteArgument RemoteArgument::packet(const QByteArray &packetJson)
{
    return RemoteArgument(Kind::Packet, packetJson);
}

void RemoteArgument::writeJson(std::string &out) const
{
    if (m_kind == Kind::Packet && !m_payload.isEmpty()) {
        out.append(m_payload.constData(), size_t(m_payload.size()));
        return;
    }
    if (m_kind == Kind::Packet) {
        out.append("null");
        return;
    }
    JsonWriter::appendString(out, std::string_view(m_payload.constData(), size_t(m_payload.size())));
}
