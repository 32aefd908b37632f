#include "outside/net/AnswerReader.h"

#include <simdjson.h>

#include "outside/net/AnswerStream.h"
#include "platform/data/TJsonDocument.h"

namespace {

QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QString configurationHint()
{
    return HttpTransport::configurationHint();
}

// A plain http request to an address that answers with TLS.
RemoteCallError plainHttpToTls(const QString &address)
{
    return RemoteCallError(RemoteCallError::Reason::Configuration, 0,
                           QStringLiteral("O servidor de aplicação em %1 atende com TLS (https): use o endereço com "
                                          "https:// em web_url %2.")
                               .arg(address, configurationHint()));
}

// HTTP 401: the token is missing or not the server's. The server's own words say
// which; the rest tells where the token is configured.
RemoteCallError unauthorized(const QString &address, const QString &method, const QByteArray &body)
{
    QString serverWords;
    simdjson::dom::parser parser;
    std::string_view message;
    if (parser.parse(body.constData(), std::size_t(body.size())).at_pointer("/error/message").get_string().get(message)
        == simdjson::SUCCESS)
        serverWords = fromUtf8(message) + u' ';
    return RemoteCallError(
        RemoteCallError::Reason::Unauthorized, -32001,
        QStringLiteral("O servidor de aplicação em %1 recusou %2 por falta de autorização. %3"
                       "Informe o token de acesso do servidor no arquivo indicado por token_file %4.")
            .arg(address, method, serverWords, configurationHint()));
}

// An answer that is not the application server's own, in the user's words: the
// proxy in front could not reach the server (its 502, 503 or 504 page), or the
// address speaks TLS and was called in plain http (nginx's 400 page for that).
// nullopt for any other answer.
std::optional<RemoteCallError> foreignAnswer(const QString &address, const QString &method, int status,
                                             const QByteArray &body)
{
    const QByteArray start = body.trimmed().left(1);
    if ((status == 502 || status == 503 || status == 504) && start != "{") {
        const bool generation = method == QLatin1String("GeraNF") || method == QLatin1String("GeraInvoice");
        return RemoteCallError(RemoteCallError::Reason::Transport, 0,
                               QStringLiteral("O servidor de aplicação não pôde ser alcançado através do proxy em %1 "
                                              "(HTTP %2) durante %3: verifique se o servidor de aplicação está em "
                                              "execução.%4")
                                   .arg(address)
                                   .arg(status)
                                   .arg(method, generation
                                                    ? QStringLiteral(" A geração pode ter sido concluída: confira a "
                                                                     "prévia antes de repeti-la.")
                                                    : QString()));
    }
    if (status == 400 && body.contains("plain HTTP request was sent to HTTPS port"))
        return plainHttpToTls(address);
    return std::nullopt;
}

} // namespace

std::optional<RemoteCallError> AnswerReader::foreign(int status, const QByteArray &body) const
{
    return foreignAnswer(m_address, m_method, status, body);
}

TRemoteValue AnswerReader::read(HttpTransport::Answer &answer, AnswerStream &stream) const
{
    if (stream.streamed() && answer.status != 401)
        return readStreamed(stream, answer.status);
    answer.body = std::move(stream.whole());
    if (answer.status == 401)
        throw unauthorized(m_address, m_method, answer.body);
    if (auto foreignError = foreign(answer.status, answer.body))
        throw *foreignError;

    if (answer.tooLarge)
        throw badAnswer(QStringLiteral("HTTP %1, resposta acima do limite de %2 bytes")
                            .arg(answer.status)
                            .arg(HttpTransport::MaxAnswerBytes));

    // The answer is parsed once, in the buffer it was received into, and dropped:
    // a data packet in it later loads from the parsed values (TDataPacket). An
    // answer the DOM refuses (an integer beyond 64 bits) is read by the on-demand
    // reader instead, as text.
    TJsonDocument::pad(answer.body);
    auto document = std::make_shared<TJsonDocument>();
    if (document->parse(answer.body) != simdjson::SUCCESS)
        return readAnswerText(answer.body, answer.status);
    answer.body = QByteArray();
    return readAnswer(std::move(document), answer.status);
}

// A result read as a data packet while it arrived: the answer around it is read
// as any answer is (an error member, a missing result), with the packet's place
// holding null; a refused packet is refused when it is loaded, as before.
TRemoteValue AnswerReader::readStreamed(AnswerStream &stream, int status) const
{
    if (!stream.refusedEarly()) {
        const std::string envelope = stream.envelope();
        QByteArray text(envelope.data(), qsizetype(envelope.size()));
        TJsonDocument::pad(text);
        auto document = std::make_shared<TJsonDocument>();
        if (document->parse(text) != simdjson::SUCCESS)
            readAnswerText(text, status);
        else
            readAnswer(std::move(document), status);
        if (!stream.packetEnded())
            throw badAnswer(QStringLiteral("HTTP %1, conteúdo não é JSON").arg(status));
    }
    return TRemoteValue(stream.packet());
}

RemoteCallError AnswerReader::badAnswer(const QString &why) const
{
    return RemoteCallError(
        RemoteCallError::Reason::BadAnswer, 0,
        QStringLiteral("O servidor de aplicação em %1 deu uma resposta inválida a %2: %3").arg(m_address, m_method, why));
}

RemoteCallError AnswerReader::refusal(std::int64_t code, std::string_view message) const
{
    return RemoteCallError(
        RemoteCallError::Reason::ServerError, int(code),
        QStringLiteral("O servidor de aplicação em %1 recusou %2: %3").arg(m_address, m_method, fromUtf8(message)),
        fromUtf8(message));
}

// The server's error object, read by either of simdjson's readers: thrown as the
// server's refusal, or as a bad answer when it has no numeric code and text message.
template<typename ErrorObject, typename Value>
void AnswerReader::throwRefusal(Value value) const
{
    ErrorObject error;
    int64_t code = 0;
    std::string_view message;
    if (value.get_object().get(error) != simdjson::SUCCESS || error["code"].get_int64().get(code) != simdjson::SUCCESS
        || error["message"].get_string().get(message) != simdjson::SUCCESS)
        throw badAnswer(QStringLiteral("objeto de erro malformado"));
    throw refusal(code, message);
}

TRemoteValue AnswerReader::readAnswer(std::shared_ptr<TJsonDocument> document, int status) const
{
    simdjson::dom::object top;
    if (document->root().get_object().get(top) != simdjson::SUCCESS)
        throw badAnswer(QStringLiteral("HTTP %1, conteúdo não é um objeto JSON-RPC").arg(status));
    bool haveResult = false;
    for (const simdjson::dom::key_value_pair field : top) {
        if (field.key == "result") {
            haveResult = true;
        } else if (field.key == "error") {
            throwRefusal<simdjson::dom::object>(field.value);
        }
    }
    if (!haveResult)
        throw badAnswer(QStringLiteral("HTTP %1, sem resultado").arg(status));
    return TRemoteValue(std::move(document));
}

TRemoteValue AnswerReader::readAnswerText(const QByteArray &body, int status) const
{
    // `body` is padded (TJsonDocument::pad).
    const simdjson::padded_string_view json(body.constData(), std::size_t(body.size()),
                                            std::size_t(body.size() + TJsonDocument::Padding));
    simdjson::ondemand::parser parser;
    simdjson::ondemand::document doc;
    if (parser.iterate(json).get(doc) != simdjson::SUCCESS)
        throw badAnswer(QStringLiteral("HTTP %1, conteúdo não é JSON").arg(status));
    simdjson::ondemand::object top;
    if (doc.get_object().get(top) != simdjson::SUCCESS)
        throw badAnswer(QStringLiteral("HTTP %1, conteúdo não é um objeto JSON-RPC").arg(status));

    std::string_view resultJson;
    bool haveResult = false;
    for (auto fieldResult : top) {
        simdjson::ondemand::field field;
        if (std::move(fieldResult).get(field) != simdjson::SUCCESS)
            throw badAnswer(QStringLiteral("JSON malformado"));
        std::string_view key;
        if (field.unescaped_key().get(key) != simdjson::SUCCESS)
            throw badAnswer(QStringLiteral("JSON malformado"));
        if (key == "result") {
            simdjson::ondemand::value value = field.value();
            simdjson::ondemand::json_type type;
            if (value.type().get(type) != simdjson::SUCCESS)
                throw badAnswer(QStringLiteral("resultado malformado"));
            simdjson::error_code read = simdjson::SUCCESS;
            if (type == simdjson::ondemand::json_type::object) {
                simdjson::ondemand::object object;
                read = value.get_object().get(object);
                if (read == simdjson::SUCCESS)
                    read = object.raw_json().get(resultJson);
            } else if (type == simdjson::ondemand::json_type::array) {
                simdjson::ondemand::array array;
                read = value.get_array().get(array);
                if (read == simdjson::SUCCESS)
                    read = array.raw_json().get(resultJson);
            } else {
                resultJson = value.raw_json_token();
            }
            if (read != simdjson::SUCCESS)
                throw badAnswer(QStringLiteral("resultado malformado"));
            haveResult = true;
        } else if (key == "error") {
            throwRefusal<simdjson::ondemand::object>(field.value());
        }
    }
    if (!haveResult)
        throw badAnswer(QStringLiteral("HTTP %1, sem resultado").arg(status));
    return TRemoteValue(QByteArray(resultJson.data(), qsizetype(resultJson.size())));
}
