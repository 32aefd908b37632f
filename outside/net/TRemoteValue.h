#pragma once

#include <memory>

#include <QByteArray>

#include "platform/data/TDataPacket.h"
#include "kor_export.h"

class TJsonDocument;

// What a remote method returned: the JSON-RPC "result" member. A value made by
// TNetConnection keeps the parsed answer, so a data packet in it loads without
// its text being read again; a value made from text (tests, other callers) keeps
// the text. Consiste::CheckResultServ turns it into a data packet or an error.
class KOR_EXPORT TRemoteValue
{
public:
    TRemoteValue() = default;
    explicit TRemoteValue(QByteArray json)
        : m_json(std::move(json))
    {
    }
    // The "result" member of a parsed answer.
    explicit TRemoteValue(std::shared_ptr<const TJsonDocument> answer);
    // A data packet result read while the answer arrived.
    explicit TRemoteValue(std::shared_ptr<TDataPacket::Received> packet);

    // The result's JSON text; for a parsed answer written from the parsed values
    // when first asked (only small results and tests need the text).
    const QByteArray &json() const;
    bool isEmpty() const;
    // The first character of the result's JSON text, blanks skipped ('\0' when
    // there is none): tells an object from a text, a list, a number or null
    // without writing a large result out.
    char firstSignificant() const;
    TDataPacket packet() const;

private:
    mutable QByteArray m_json;
    mutable bool m_written = false;
    std::shared_ptr<const TJsonDocument> m_answer;
    std::shared_ptr<TDataPacket::Received> m_received;
};
