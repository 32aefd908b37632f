#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include <QByteArray>
#include <QString>

#include "outside/net/HttpTransport.h"
#include "outside/net/RemoteCallError.h"
#include "outside/net/TRemoteValue.h"

class AnswerStream;
class TJsonDocument;

// Reads the server's answer to one call: its result, or the server's refusal, or
// why the answer is not one (an HTTP page of a proxy, a 401, malformed JSON), each
// as a RemoteCallError in the user's words.
class AnswerReader
{
public:
    AnswerReader(QString address, QString method)
        : m_address(std::move(address))
        , m_method(std::move(method))
    {
    }

    // The answer of a delivered call, received into `stream`.
    TRemoteValue read(HttpTransport::Answer &answer, AnswerStream &stream) const;

    // An answer that is not the application server's own (a proxy's page, TLS
    // called as plain http); nullopt for any other.
    std::optional<RemoteCallError> foreign(int status, const QByteArray &body) const;

private:
    TRemoteValue readStreamed(AnswerStream &stream, int status) const;
    TRemoteValue readAnswer(std::shared_ptr<TJsonDocument> document, int status) const;
    TRemoteValue readAnswerText(const QByteArray &body, int status) const;
    RemoteCallError badAnswer(const QString &why) const;
    RemoteCallError refusal(std::int64_t code, std::string_view message) const;
    template<typename ErrorObject, typename Value>
    [[noreturn]] void throwRefusal(Value value) const;

    QString m_address;
    QString m_method;
};
