#pragma once

#include <QByteArray>

#include "kor_export.h"

// What a remote method returned: the raw JSON of the JSON-RPC "result" member.
// Consiste::CheckResultServ turns it into a data packet or an error.
class KOR_EXPORT TRemoteValue
{
public:
    TRemoteValue() = default;
    explicit TRemoteValue(QByteArray json) : m_json(std::move(json)) {}

    const QByteArray &json() const { return m_json; }
    bool isEmpty() const { return m_json.isEmpty() || m_json == "null"; }

private:
    QByteArray m_json;
};
