#include "server/rpc/JsonRpcFront.h"

#include <algorithm>
#include <cstdint>
#include <exception>

#include <simdjson.h>

#include "platform/data/JsonWriter.h"
#include "server/base/LogText.h"
#include "server/base/ServerLog.h"
#include "server/rpc/RpcError.h"

namespace {

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
                RpcParams::Source source, Streaming streaming, std::size_t budget = SIZE_MAX);

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
    JsonWriter::appendString(out, message);
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
        Outcome one = callOne(m_methods, context, root, {body, -1}, Streaming::Allowed);
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
    int place = 0;
    for (simdjson::dom::element element : elements) {
        const RpcParams::Source source{body, place++};
        Outcome one = context.stopRequested()       ? notRun(element, RpcError::clientGone())
                      : spent > MaxBatchAnswerBytes ? notRun(element, budgetSpent())
                                                    : callOne(m_methods, context, element, source,
                                                              Streaming::Materialize, MaxBatchAnswerBytes - spent);
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

// One call as read from the request, before it runs.
struct Call
{
    std::string id = "null"; // as JSON text
    bool notification = false;
    std::string_view method;
    std::vector<RpcParams::Value> values;
    const MethodRegistry::Method *found = nullptr;

    QString methodName() const { return QString::fromUtf8(method.data(), qsizetype(method.size())); }
};

// The error answer, unless the call is a well-formed notification (not answered).
Outcome failed(const Call &call, const RpcError &error, Outcome outcome = {})
{
    outcome.errorCode = error.code();
    if (!call.notification)
        outcome.response = JsonRpcFront::errorResponse(error.code(), error.message(), call.id);
    return outcome;
}

RpcError invalidRequest(const QString &problem)
{
    return RpcError(RpcCode::InvalidRequest, QStringLiteral("Requisição inválida: %1").arg(problem));
}

// The id first, so that every later error can carry it; then the version and the method.
void readHeader(simdjson::dom::object object, Call &call)
{
    simdjson::dom::element id;
    const bool hasId = object["id"].get(id) == simdjson::SUCCESS;
    if (hasId) {
        if (id.is_object() || id.is_array() || id.is_bool())
            throw invalidRequest(QStringLiteral("o id deve ser um número, um texto ou null."));
        call.id = simdjson::to_string(id);
    }
    std::string_view version;
    if (object["jsonrpc"].get_string().get(version) != simdjson::SUCCESS || version != "2.0")
        throw invalidRequest(QStringLiteral("o membro \"jsonrpc\" deve ser \"2.0\"."));
    if (object["method"].get_string().get(call.method) != simdjson::SUCCESS)
        throw invalidRequest(QStringLiteral("o membro \"method\" deve ser um texto."));
    call.notification = !hasId;
}

// Texts are read as text; objects and arrays keep their parsed form only, their
// text is written when a method asks for it.
RpcParams::Value paramOf(simdjson::dom::element element)
{
    RpcParams::Value value;
    value.kind = kindOf(element.type());
    if (value.kind == RpcParams::Kind::String) {
        std::string_view text;
        if (element.get_string().get(text) != simdjson::SUCCESS)
            throw RpcError(RpcCode::InvalidParams, QStringLiteral("Parâmetro de texto ilegível."));
        value.text = QString::fromUtf8(text.data(), qsizetype(text.size()));
    }
    if (value.kind != RpcParams::Kind::Object && value.kind != RpcParams::Kind::Array)
        value.json = simdjson::to_string(element);
    value.element = element;
    return value;
}

void readParams(simdjson::dom::object object, Call &call)
{
    simdjson::dom::element params;
    if (object["params"].get(params) != simdjson::SUCCESS)
        return;
    simdjson::dom::array list;
    if (params.get_array().get(list) != simdjson::SUCCESS)
        throw RpcError(RpcCode::InvalidParams,
                       QStringLiteral("Os parâmetros de %1 devem ser uma lista posicional.").arg(call.methodName()));
    for (simdjson::dom::element element : list)
        call.values.push_back(paramOf(element));
}

void findMethod(const MethodRegistry &methods, Call &call)
{
    call.found = methods.find(call.method);
    if (!call.found)
        throw RpcError(
            RpcCode::MethodNotFound,
            QStringLiteral("Método desconhecido: %1. Os métodos são %2.").arg(call.methodName(), methods.namesText()));
}

// A user below the method's right is refused (and a writing call journaled so).
void checkRight(const Call &call, const RequestContext &context)
{
    const auto &user = context.user();
    const MethodRegistry::Method &found = *call.found;
    if (!user || user->right >= found.required)
        return;
    qCWarning(lcRpc, "%s recusado ao usuário %s (direito %s, exige %s)", LogText::escaped(call.method).c_str(),
              qUtf8Printable(user->name), qUtf8Printable(AccessRights::name(user->right)),
              qUtf8Printable(AccessRights::name(found.required)));
    if (found.writes())
        found.refused(context, RpcCode::Forbidden);
    throw RpcError(
        RpcCode::Forbidden,
        QStringLiteral("Acesso negado: %1 exige o direito %2, e o usuário %3 tem o direito %4. Peça "
                       "ao administrador o direito %2.")
            .arg(call.methodName(), AccessRights::name(found.required), user->name, AccessRights::name(user->right)));
}

// Reads the rest of a streamed result into it (inside a batch), within `budget`.
// Returns whether parts are left for the reply's stream.
bool readResult(JsonRpcFront::Result &result, const RequestContext &context, Streaming streaming, std::size_t budget,
                Outcome &outcome)
{
    bool more = result.stream->fill(result.json);
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
    return more;
}

void writeResult(const Call &call, JsonRpcFront::Result &result, bool more, Outcome &outcome)
{
    std::string &out = outcome.response;
    out.reserve(result.json.size() + call.id.size() + 40);
    out.append(R"({"jsonrpc":"2.0","id":)");
    out.append(call.id);
    out.append(R"(,"result":)");
    out.append(result.json);
    if (more)
        outcome.stream = std::move(result.stream);
    else
        out.push_back('}');
}

// Runs the call's method. A failure the method did not answer as an RpcError is
// logged and answered with a generic error.
Outcome run(Call &call, RpcParams::Source source, const RequestContext &context, Streaming streaming,
            std::size_t budget)
{
    Outcome outcome;
    outcome.method = std::string(call.method);
    try {
        JsonRpcFront::Result result = call.found->handler(RpcParams(std::move(call.values), source), context);
        const bool more = result.stream && readResult(result, context, streaming, budget, outcome);
        outcome.produced = result.json.size();
        outcome.rows = result.rows;
        if (!call.notification)
            writeResult(call, result, more, outcome);
        return outcome;
    } catch (const RpcError &error) {
        return failed(call, error, std::move(outcome));
    } catch (const std::exception &error) {
        logFailure(call.method, error.what());
        return failed(call,
                      RpcError(RpcCode::ServerFailure,
                               QStringLiteral("Erro interno no servidor de aplicação: a operação não foi concluída. "
                                              "Tente de novo; se persistir, informe o administrador.")),
                      std::move(outcome));
    }
}

Outcome callOne(const MethodRegistry &methods, const RequestContext &context, simdjson::dom::element root,
                RpcParams::Source source, Streaming streaming, std::size_t budget)
{
    Call call;
    try {
        simdjson::dom::object object;
        if (root.get_object().get(object) != simdjson::SUCCESS)
            throw invalidRequest(QStringLiteral("esperado um objeto JSON-RPC 2.0."));
        readHeader(object, call);
        readParams(object, call);
        findMethod(methods, call);
        checkRight(call, context);
    } catch (const RpcError &error) {
        Outcome outcome = failed(call, error);
        outcome.method = std::string(call.method);
        return outcome;
    }
    return run(call, source, context, streaming, budget);
}

} // namespace
