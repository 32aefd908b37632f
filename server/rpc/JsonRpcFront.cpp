#include "server/rpc/JsonRpcFront.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>

#include <simdjson.h>

#include "platform/data/DataPacket.h"
#include "platform/sql/DatabaseError.h"
#include "server/base/LogText.h"
#include "server/base/ServerLog.h"
#include "server/rpc/RpcError.h"

namespace {

void appendJsonString(std::string &out, std::string_view text)
{
    out.push_back('"');
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"':
            out.append("\\\"");
            break;
        case '\\':
            out.append("\\\\");
            break;
        case '\n':
            out.append("\\n");
            break;
        case '\r':
            out.append("\\r");
            break;
        case '\t':
            out.append("\\t");
            break;
        default:
            if (c < 0x20) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                out.append(buffer);
            } else {
                out.push_back(ch);
            }
        }
    }
    out.push_back('"');
}

void logFailure(std::string_view method, const char *what)
{
    qCCritical(lcRpc, "falha interna em %s: %s", LogText::escaped(method).c_str(), LogText::escaped(what).c_str());
}

RpcParams::Kind kindOf(simdjson::dom::element_type type)
{
    using T = simdjson::dom::element_type;
    switch (type) {
    case T::STRING:
        return RpcParams::Kind::String;
    case T::INT64:
    case T::UINT64:
    case T::DOUBLE:
        return RpcParams::Kind::Number;
    case T::BOOL:
        return RpcParams::Kind::Boolean;
    case T::NULL_VALUE:
        return RpcParams::Kind::Null;
    case T::OBJECT:
        return RpcParams::Kind::Object;
    case T::ARRAY:
        return RpcParams::Kind::Array;
    }
    return RpcParams::Kind::Null;
}

simdjson::dom::parser &threadParser()
{
    thread_local simdjson::dom::parser parser;
    return parser;
}

struct Outcome
{
    std::string response; // empty for a notification
    std::string method;
    int rows = -1;
    int errorCode = 0;
    std::shared_ptr<JsonRpcFront::ResultStream> stream; // the rest of the result, then "}"
    std::size_t produced = 0;                           // bytes of result the call made, kept or not
};

enum class Streaming { Allowed, Materialize };

// `budget`: how large a materialized result may grow before the call is answered
// with "answer too large" instead.
Outcome callOne(const MethodRegistry &methods, const RequestContext &context, simdjson::dom::element root,
                Streaming streaming, std::size_t budget = SIZE_MAX);

// A call of a batch that is not run, because the batch has spent its answer budget
// or its client has gone: answered with the error when it has an id.
Outcome notRun(simdjson::dom::element root, const RpcError &why)
{
    Outcome outcome;
    outcome.errorCode = why.code();
    simdjson::dom::element id;
    if (root.is_object() && root["id"].get(id) == simdjson::SUCCESS && !id.is_object() && !id.is_array()
        && !id.is_bool())
        outcome.response = JsonRpcFront::errorResponse(why.code(), why.message(), simdjson::to_string(id));
    return outcome;
}

// A key names one call: a batch with more than one call that writes cannot carry
// one. Each such call is journaled as refused (true), none is run.
bool refuseKeyOfBatch(const MethodRegistry &methods, const RequestContext &context, simdjson::dom::array elements)
{
    std::vector<const MethodRegistry::Method *> writing;
    for (simdjson::dom::element element : elements) {
        std::string_view name;
        if (element["method"].get_string().get(name) != simdjson::SUCCESS)
            continue;
        if (const MethodRegistry::Method *method = methods.find(name); method && method->writes())
            writing.push_back(method);
    }
    if (writing.size() < 2)
        return false;
    for (const MethodRegistry::Method *method : writing)
        method->refused(context, RpcCode::InvalidRequest);
    return true;
}

RpcError budgetSpent()
{
    return RpcError(RpcCode::AnswerTooLarge,
                    QStringLiteral("Chamada não executada: a resposta do lote passou de %1 MB. Envie-a em outro lote.")
                        .arg(JsonRpcFront::MaxBatchAnswerBytes >> 20));
}

} // namespace

JsonRpcFront::JsonRpcFront(const MethodRegistry &methods)
    : m_methods(methods)
{
}

std::string JsonRpcFront::errorResponse(int code, const QString &message, std::string_view id)
{
    std::string out = R"({"jsonrpc":"2.0","id":)";
    out.append(id);
    out.append(R"(,"error":{"code":)");
    out.append(std::to_string(code));
    out.append(R"(,"message":)");
    appendJsonString(out, message.toStdString());
    out.append("}}");
    return out;
}

JsonRpcFront::Reply JsonRpcFront::handle(const RequestContext &context, std::string_view body) const
{
    Reply reply;
    simdjson::dom::parser &parser = threadParser();
    simdjson::dom::element root;
    if (parser.parse(body.data(), body.size()).get(root) != simdjson::SUCCESS) {
        reply.body = errorResponse(RpcCode::ParseError, QStringLiteral("A requisição não é um JSON válido."));
        reply.errorCode = RpcCode::ParseError;
        return reply;
    }
    if (!root.is_array()) {
        Outcome one = callOne(m_methods, context, root, Streaming::Allowed);
        reply.body = std::move(one.response);
        if (one.stream) {
            reply.stream = std::move(one.stream);
            reply.tail = "}";
        }
        reply.method = std::move(one.method);
        reply.rows = one.rows;
        reply.errorCode = one.errorCode;
        return reply;
    }

    // A batch: each element is answered on its own, notifications not at all.
    simdjson::dom::array elements;
    if (root.get_array().get(elements) != simdjson::SUCCESS || elements.size() == 0) {
        reply.body = errorResponse(RpcCode::InvalidRequest, QStringLiteral("Requisição inválida: lote vazio."));
        reply.errorCode = RpcCode::InvalidRequest;
        return reply;
    }
    reply.method = "batch";
    if (elements.size() > MaxBatchCalls) {
        reply.body = errorResponse(RpcCode::BatchTooLarge,
                                   QStringLiteral("Lote com %1 chamadas: o servidor de aplicação aceita no máximo %2 "
                                                  "por lote. Nenhuma foi executada.")
                                       .arg(elements.size())
                                       .arg(MaxBatchCalls));
        reply.errorCode = RpcCode::BatchTooLarge;
        return reply;
    }
    if (!context.idempotencyKey().empty() && refuseKeyOfBatch(m_methods, context, elements)) {
        reply.body = errorResponse(RpcCode::InvalidRequest,
                                   QStringLiteral("Uma chave de idempotência (Idempotency-Key) vale para uma chamada "
                                                  "só, e este lote tem mais de uma geração ou estorno. Nada foi "
                                                  "executado; envie cada uma em sua requisição, com a sua chave."));
        reply.errorCode = RpcCode::InvalidRequest;
        return reply;
    }
    std::string out = "[";
    bool any = false;
    // The budget counts every byte a call made, also one whose answer was refused as
    // too large: it bounds the batch's work, not only what it sends.
    std::size_t spent = 0;
    for (simdjson::dom::element element : elements) {
        Outcome one = context.stopRequested() ? notRun(element, RpcError::clientGone())
                      : spent > MaxBatchAnswerBytes
                          ? notRun(element, budgetSpent())
                          : callOne(m_methods, context, element, Streaming::Materialize, MaxBatchAnswerBytes - spent);
        spent += std::max(one.produced, one.response.size());
        if (reply.errorCode == 0)
            reply.errorCode = one.errorCode;
        if (one.rows >= 0)
            reply.rows = (reply.rows < 0 ? 0 : reply.rows) + one.rows;
        if (one.response.empty())
            continue;
        if (any)
            out.push_back(',');
        out.append(one.response);
        any = true;
    }
    out.push_back(']');
    if (any)
        reply.body = std::move(out);
    return reply;
}

namespace {

Outcome callOne(const MethodRegistry &methods, const RequestContext &context, simdjson::dom::element root,
                Streaming streaming, std::size_t budget)
{
    Outcome outcome;
    bool notification = false;
    auto fail = [&outcome, &notification](int code, const QString &message, std::string_view id) {
        outcome.errorCode = code;
        // The errors of a well-formed notification are not answered.
        if (!notification)
            outcome.response = JsonRpcFront::errorResponse(code, message, id);
        return outcome;
    };

    simdjson::dom::object object;
    if (root.get_object().get(object) != simdjson::SUCCESS)
        return fail(RpcCode::InvalidRequest, QStringLiteral("Requisição inválida: esperado um objeto JSON-RPC 2.0."),
                    "null");

    // The id first, so that every later error can carry it.
    std::string id = "null";
    simdjson::dom::element idElement;
    const bool hasId = object["id"].get(idElement) == simdjson::SUCCESS;
    if (hasId) {
        if (idElement.is_object() || idElement.is_array() || idElement.is_bool())
            return fail(RpcCode::InvalidRequest,
                        QStringLiteral("Requisição inválida: o id deve ser um número, um texto ou null."), "null");
        id = simdjson::to_string(idElement);
    }
    std::string_view version;
    if (object["jsonrpc"].get_string().get(version) != simdjson::SUCCESS || version != "2.0")
        return fail(RpcCode::InvalidRequest,
                    QStringLiteral("Requisição inválida: o membro \"jsonrpc\" deve ser \"2.0\"."), id);
    std::string_view method;
    if (object["method"].get_string().get(method) != simdjson::SUCCESS)
        return fail(RpcCode::InvalidRequest,
                    QStringLiteral("Requisição inválida: o membro \"method\" deve ser um texto."), id);
    outcome.method = std::string(method);
    notification = !hasId;

    std::vector<RpcParams::Value> values;
    simdjson::dom::element paramsElement;
    if (object["params"].get(paramsElement) == simdjson::SUCCESS) {
        if (!paramsElement.is_array())
            return fail(RpcCode::InvalidParams,
                        QStringLiteral("Os parâmetros de %1 devem ser uma lista posicional.")
                            .arg(QString::fromUtf8(method.data(), qsizetype(method.size()))),
                        id);
        simdjson::dom::array paramsArray;
        if (paramsElement.get_array().get(paramsArray) != simdjson::SUCCESS)
            return fail(RpcCode::InvalidParams, QStringLiteral("Os parâmetros devem ser uma lista posicional."), id);
        for (simdjson::dom::element element : paramsArray) {
            RpcParams::Value value;
            value.kind = kindOf(element.type());
            if (value.kind == RpcParams::Kind::String) {
                std::string_view text;
                if (element.get_string().get(text) != simdjson::SUCCESS)
                    return fail(RpcCode::InvalidParams, QStringLiteral("Parâmetro de texto ilegível."), id);
                value.text = QString::fromUtf8(text.data(), qsizetype(text.size()));
            }
            value.json = simdjson::to_string(element);
            value.element = element;
            values.push_back(std::move(value));
        }
    }

    const MethodRegistry::Method *found = methods.find(method);
    if (!found)
        return fail(RpcCode::MethodNotFound,
                    QStringLiteral("Método desconhecido: %1. Os métodos são %2.")
                        .arg(QString::fromUtf8(method.data(), qsizetype(method.size())), methods.namesText()),
                    id);

    if (const auto &user = context.user(); user && user->right < found->required) {
        qCWarning(lcRpc, "%s recusado ao usuário %s (direito %s, exige %s)", LogText::escaped(method).c_str(),
                  qUtf8Printable(user->name), qUtf8Printable(AccessRights::name(user->right)),
                  qUtf8Printable(AccessRights::name(found->required)));
        if (found->writes())
            found->refused(context, RpcCode::Forbidden);
        return fail(RpcCode::Forbidden,
                    QStringLiteral("Acesso negado: %1 exige o direito %2, e o usuário %3 tem o direito %4. Peça "
                                   "ao administrador o direito %2.")
                        .arg(QString::fromUtf8(method.data(), qsizetype(method.size())),
                             AccessRights::name(found->required), user->name, AccessRights::name(user->right)),
                    id);
    }

    try {
        JsonRpcFront::Result result = found->handler(RpcParams(std::move(values)), context);
        bool more = false;
        if (result.stream) {
            more = result.stream->fill(result.json);
            while (more && streaming == Streaming::Materialize) {
                outcome.produced = result.json.size();
                if (context.stopRequested())
                    throw RpcError::clientGone();
                if (result.json.size() > budget)
                    throw RpcError(RpcCode::AnswerTooLarge,
                                   QStringLiteral("A resposta desta chamada passa de %1 MB, o limite de um lote: "
                                                  "faça-a fora do lote.")
                                       .arg(JsonRpcFront::MaxBatchAnswerBytes >> 20));
                more = result.stream->fill(result.json);
            }
            result.rows = result.stream->rows();
        }
        outcome.produced = result.json.size();
        outcome.rows = result.rows;
        if (notification)
            return outcome;
        std::string &out = outcome.response;
        out.reserve(result.json.size() + id.size() + 40);
        out.append(R"({"jsonrpc":"2.0","id":)");
        out.append(id);
        out.append(R"(,"result":)");
        out.append(result.json);
        if (more)
            outcome.stream = std::move(result.stream);
        else
            out.push_back('}');
        return outcome;
    } catch (const RpcError &error) {
        fail(error.code(), error.message(), id);
    } catch (const PacketError &error) {
        fail(RpcCode::InvalidParams, QStringLiteral("Lote de itens inválido: %1").arg(error.message()), id);
    } catch (const DatabaseError &error) {
        fail(RpcCode::DatabaseUnavailable, error.message(), id);
    } catch (const std::exception &error) {
        logFailure(method, error.what());
        fail(RpcCode::ServerFailure,
             QStringLiteral("Erro interno no servidor de aplicação: a operação não foi concluída. "
                            "Tente de novo; se persistir, informe o administrador."),
             id);
    }
    return outcome;
}

} // namespace
