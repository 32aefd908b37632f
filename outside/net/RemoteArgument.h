#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include "kor_export.h"

// One positional argument of a remote call: a text, a date or a whole data packet.
// Dates travel as ISO-8601 text, packets as the JSON object they are.
class KOR_EXPORT RemoteArgument
{
public:
    static RemoteArgument text(const QString &value);
    static RemoteArgument date(const QDateTime &value);
    static RemoteArgument packet(const QByteArray &packetJson);

    // Appends the argument's JSON to `out`.
    void writeJson(std::string &out) const;

private:
    enum class Kind { Text, Date, Packet };
    RemoteArgument(Kind kind, QByteArray payload);

    Kind m_kind;
    QByteArray m_payload; // UTF-8 text, ISO date text, or raw packet JSON
};
