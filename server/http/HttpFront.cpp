#include "server/http/HttpFront.h"

#include <algorithm>
#include <cctype>
#include <chrono>

#include <httplib.h>

#include "platform/data/FasError.h"
#include "server/base/LogText.h"
#include "server/base/ServerLog.h"
#include "server/http/BearerToken.h"
#include "server/http/GuardedServer.h"
#include "server/http/HttpExchange.h"
#include "server/rpc/RpcError.h"
#include "fas/Version.h"

namespace {

using Clock = HttpExchange::Clock;

void logLine(const httplib::Request &req, const httplib::Response &res, const HttpExchange::Note &note)
{
    if (!lcHttp().isInfoEnabled())
        return;
    std::string line = req.method.empty() ? std::string("-") : LogText::escaped(req.method);
    line += ' ';
    line += req.path.empty() ? std::string("-") : LogText::escaped(req.path);
    line += " method=";
    line += note.method.empty() ? std::string("-") : LogText::escaped(note.method);
    line += " rows=";
    line += note.rows >= 0 ? std::to_string(note.rows) : std::string("-");
    line += " ms=";
    if (note.start != Clock::time_point{})
        line += std::to_string(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - note.start).count());
    else
        line += '-';
    line += " status=";
    line += std::to_string(res.status);
    if (note.errorCode != 0) {
        line += " error=";
        line += std::to_string(note.errorCode);
    }
    qCInfo(lcHttp, "%s", line.c_str());
}

void setJson(httplib::Response &res, std::string body)
{
    res.body = std::move(body);
    res.set_header("Content-Type", "application/json");
}

// What a caller the server does not admit may learn: whether it answers.
std::string bareHealthBody(bool ok)
{
    return ok ? std::string(R"({"status":"ok"})") : std::string("{\"status\":\"indispon\u00edvel\"}");
}

std::string healthBody(bool ok, const QString &kind, const QString &reason, const RequestContext &context)
{
    QString body = QStringLiteral("{\"status\":\"%1\",\"service\":\"FAS09600.rdmFaturamento\","
                                  "\"version\":\"" FAS_VERSION_TEXT "\",\"database\":\"%2\"")
                       .arg(ok ? QStringLiteral("ok") : QStringLiteral("unavailable"), kind);
    std::string out = body.toStdString();
    if (!ok) {
        // Reuse the JSON-RPC writer's escaping through an error object, then keep its message.
        const std::string error = JsonRpcFront::errorResponse(0, reason);
        const auto at = error.find("\"message\":");
        out += ",\"reason\":";
        out += error.substr(at + 10, error.size() - (at + 10) - 2);
    }
    if (const auto &user = context.user()) {
        const std::string named = JsonRpcFront::errorResponse(0, user->name);
        const auto at = named.find("\"message\":");
        out += ",\"user\":";
        out += named.substr(at + 10, named.size() - (at + 10) - 2);
        out += ",\"right\":\"" + AccessRights::name(user->right).toStdString() + '"';
    }
    out += '}';
    return out;
}

// An answer that goes on while its result is read: chunked, part by part. The
// first part was read before the status line, so a failure up to there was an
// ordinary error answer; a failure after it breaks the transfer off (no last
// chunk), so the client sees an incomplete answer, never a short valid one.
void streamReply(httplib::Response &res, JsonRpcFront::Reply reply, HttpExchange &exchange)
{
    auto pending = std::make_shared<std::string>(std::move(reply.body));
    auto stream = std::move(reply.stream);
    auto tail = std::move(reply.tail);
    auto finished = std::make_shared<bool>(false);
    res.set_chunked_content_provider(
        "application/json", [pending, stream, tail, finished, &exchange](size_t, httplib::DataSink &sink) {
            if (*finished) {
                sink.done();
                return true;
            }
            if (pending->empty()) {
                try {
                    *finished = !stream->fill(*pending);
                } catch (const std::exception &error) {
                    qCWarning(lcHttp, "%s: resposta interrompida: %s", LogText::escaped(exchange.note().method).c_str(),
                              error.what());
                    exchange.note().errorCode = RpcCode::ServerFailure;
                    return false;
                }
                exchange.note().rows = stream->rows();
                if (*finished)
                    pending->append(tail);
            }
            // A write of nothing would end the transfer in the library: the last
            // part always carries at least the tail.
            const bool written = sink.write(pending->data(), pending->size());
            pending->clear();
            if (!written)
                exchange.context().requestStop(); // the client has gone
            return written;
        });
}

// A refusal of the whole request, answered before or instead of its body: the
// connection closes after it, since what is left of the body was not read.
void refuse(HttpExchange &exchange, httplib::Response &res, int status, int code, const QString &message)
{
    res.status = status;
    res.set_header("Connection", "close");
    exchange.note().errorCode = code;
    setJson(res, JsonRpcFront::errorResponse(code, message));
    exchange.closeAfterAnswer();
}

// What a client sent, as a message may quote it: short and without control characters.
QString clientText(const std::string &text)
{
    return QString::fromStdString(LogText::escaped(text.substr(0, 100)));
}

std::string lowerTrimmed(std::string text)
{
    const auto first = text.find_first_not_of(" \t");
    const auto last = text.find_last_not_of(" \t");
    text = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
    for (char &c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

QString unknownEntryMessage(const httplib::Request &req)
{
    return QStringLiteral("Endereço desconhecido: %1 %2. Nada foi executado; o servidor de aplicação atende só "
                          "POST %3 (chamadas) e GET %4 (situação).")
        .arg(clientText(req.method), clientText(req.target.empty() ? req.path : req.target),
             QLatin1String(HttpFront::RpcPath), QLatin1String(HttpFront::HealthPath));
}

// A deadline in a message: "8 segundos", or "500 milissegundos" when not whole seconds.
QString durationText(std::chrono::milliseconds ms)
{
    if (ms.count() % 1000 != 0)
        return QStringLiteral("%1 milissegundos").arg(ms.count());
    return QStringLiteral("%1 segundos").arg(ms.count() / 1000);
}

QString bodyTimedOutMessage(const HttpFront::Deadlines &deadlines)
{
    return QStringLiteral("O corpo da requisição não chegou inteiro em %1; a chamada não foi executada.")
        .arg(durationText(deadlines.body));
}

QString tooLargeMessage(qint64 maxBodyBytes)
{
    return QStringLiteral("A requisição excede o limite de %1 MB do servidor de aplicação; envie lotes menores.")
        .arg(maxBodyBytes >> 20);
}

// The declared Content-Length: -1 when there is none, -2 when it is not one plain number.
long long declaredLength(const httplib::Request &req)
{
    if (!req.has_header("Content-Length"))
        return -1;
    const std::string length = req.get_header_value("Content-Length");
    const bool plain = !length.empty() && length.size() <= 18
                       && length.find_first_not_of("0123456789") == std::string::npos
                       && req.get_header_value_count("Content-Length") == 1;
    return plain ? std::stoll(length) : -2;
}

bool acceptFraming(const httplib::Request &req, httplib::Response &res, HttpExchange &exchange)
{
    if (!req.has_header("Transfer-Encoding"))
        return true;
    if (lowerTrimmed(req.get_header_value("Transfer-Encoding")) == "chunked" && !req.has_header("Content-Length")
        && req.get_header_value_count("Transfer-Encoding") == 1)
        return true;
    refuse(exchange, res, 400, RpcCode::InvalidRequest,
           QStringLiteral("Requisição HTTP inválida: o corpo deve vir com Content-Length ou com "
                          "Transfer-Encoding: chunked, um dos dois (recebido \"%1\").")
               .arg(clientText(req.get_header_value("Transfer-Encoding"))));
    return false;
}

bool acceptContent(const httplib::Request &req, httplib::Response &res, HttpExchange &exchange)
{
    if (req.has_header("Content-Encoding") && lowerTrimmed(req.get_header_value("Content-Encoding")) != "identity") {
        refuse(exchange, res, 415, RpcCode::UnsupportedContent,
               QStringLiteral("O servidor de aplicação não aceita corpo comprimido (Content-Encoding: %1); "
                              "envie o JSON sem compressão.")
                   .arg(clientText(req.get_header_value("Content-Encoding"))));
        return false;
    }
    const std::string type = req.get_header_value("Content-Type");
    if (lowerTrimmed(type.substr(0, type.find(';'))) == "application/json")
        return true;
    refuse(exchange, res, 415, RpcCode::UnsupportedContent,
           QStringLiteral("O corpo de uma chamada deve ser JSON, com Content-Type: application/json "
                          "(recebido \"%1\").")
               .arg(clientText(type)));
    return false;
}

bool acceptLength(const httplib::Request &req, httplib::Response &res, HttpExchange &exchange, qint64 maxBodyBytes)
{
    const long long length = declaredLength(req);
    if (length == -2) {
        refuse(exchange, res, 400, RpcCode::InvalidRequest,
               QStringLiteral("Requisição HTTP inválida: Content-Length \"%1\" não é um tamanho.")
                   .arg(clientText(req.get_header_value("Content-Length"))));
        return false;
    }
    if (length > maxBodyBytes) {
        refuse(exchange, res, 413, RpcCode::RequestTooLarge, tooLargeMessage(maxBodyBytes));
        return false;
    }
    return true;
}

// The headers that say how the body of a call arrives. Only what the client of this
// server sends is taken: JSON, not compressed, framed by Content-Length or chunked,
// and not above the body limit. Returns false after answering a refusal.
bool acceptBodyHeaders(const httplib::Request &req, httplib::Response &res, HttpExchange &exchange, qint64 maxBodyBytes)
{
    return acceptFraming(req, res, exchange) && acceptContent(req, res, exchange)
           && acceptLength(req, res, exchange, maxBodyBytes);
}

} // namespace

struct HttpFront::Private
{
    Private(const Settings &serverSettings, const JsonRpcFront &rpcFront, HealthCheck healthCheck, QString kind,
            const ConnectionStream::Limits &limits, GuardedServer::EarlyRefusal refusal, GuardedServer::Routed routed)
        : options(serverSettings)
        , front(rpcFront)
        , health(std::move(healthCheck))
        , databaseKind(std::move(kind))
        , server(limits, serverSettings.threads, serverSettings.threads + ExtraConnectionThreads, std::move(refusal),
                 std::move(routed))
    {
    }

    const Settings options;
    const JsonRpcFront &front;
    HealthCheck health;
    QString databaseKind;
    GuardedServer server;
    int port = 0;

    // The exchange of a request this server answers; one refused before it was
    // parsed gets `unparsed`.
    HttpExchange &exchangeOf(const httplib::Request &req, HttpExchange &unparsed) const;
    void answer(const std::string &body, httplib::Response &res, HttpExchange &exchange) const;
    void readBodyAndAnswer(const httplib::ContentReader &reader, httplib::Response &res, HttpExchange &exchange) const;
    // Asks who the request's token names and puts the user in its context. A call
    // from a caller not admitted is answered here (401, or 503 when the database
    // cannot tell) and false returned; /health is always let through.
    bool admit(const httplib::Request &req, httplib::Response &res, HttpExchange &exchange) const;

    // The sockets' timeouts and options.
    void configureConnections();
    // The handlers of the entries, of errors and of the log.
    void route();
    httplib::Server::HandlerResponse preRoute(const httplib::Request &req, httplib::Response &res);
    void answerHealth(const httplib::Request &req, httplib::Response &res) const;
    void answerError(const httplib::Request &req, httplib::Response &res) const;
    void answerException(const httplib::Request &req, httplib::Response &res, std::exception_ptr ep) const;
    void log(const httplib::Request &req, const httplib::Response &res) const;
};

bool HttpFront::Private::admit(const httplib::Request &req, httplib::Response &res, HttpExchange &exchange) const
{
    CallerIdentity caller;
    if (options.identify)
        caller = options.identify(BearerToken::fromHeader(req.get_header_value("Authorization")));
    exchange.setAdmitted(caller.admitted());
    if (caller.outcome == CallerIdentity::Outcome::User)
        exchange.context().setUser(caller.user);
    if (caller.admitted() || req.path == HealthPath)
        return true;
    using O = CallerIdentity::Outcome;
    if (caller.outcome == O::Unavailable) {
        refuse(exchange, res, 503, RpcCode::DatabaseUnavailable,
               QStringLiteral("O banco de dados está indisponível e o usuário não pôde ser verificado. Nada foi "
                              "alterado; tente novamente ou informe o administrador."));
        return false;
    }
    res.set_header("WWW-Authenticate", "Bearer realm=\"FAS09600.rdmFaturamento\"");
    QString message;
    if (caller.outcome == O::NoToken)
        message = QStringLiteral("Acesso não autorizado: o servidor de aplicação exige um token (cabeçalho "
                                 "Authorization: Bearer).");
    else if (caller.outcome == O::Disabled)
        message = QStringLiteral("Acesso não autorizado: o usuário %1 está desativado. Peça ao administrador um "
                                 "novo token (fas-admin user token %1).")
                      .arg(caller.user.name);
    else
        message = QStringLiteral("Acesso não autorizado: o token enviado não é o configurado no servidor de "
                                 "aplicação.");
    refuse(exchange, res, 401, RpcCode::Unauthorized, message);
    return false;
}

HttpExchange &HttpFront::Private::exchangeOf(const httplib::Request &req, HttpExchange &unparsed) const
{
    HttpExchange *exchange = server.exchangeOf(req);
    return exchange ? *exchange : unparsed;
}

void HttpFront::Private::answer(const std::string &body, httplib::Response &res, HttpExchange &exchange) const
{
    JsonRpcFront::Reply reply = front.handle(exchange.context(), body);
    HttpExchange::Note &note = exchange.note();
    note.method = std::move(reply.method);
    note.rows = reply.rows;
    note.errorCode = reply.errorCode;
    if (reply.errorCode == RpcCode::Forbidden && note.method != "batch")
        res.status = 403;
    if (reply.body.empty()) {
        res.status = 204; // notifications only: nothing to answer
        return;
    }
    if (reply.stream) {
        streamReply(res, std::move(reply), exchange);
        return;
    }
    setJson(res, std::move(reply.body));
}

// The body is counted as it arrives, after the chunked framing is taken off: the
// limit holds whatever the framing, and reading stops at the first byte too many.
void HttpFront::Private::readBodyAndAnswer(const httplib::ContentReader &reader, httplib::Response &res,
                                           HttpExchange &exchange) const
{
    std::string body;
    bool tooLarge = false;
    const auto limit = size_t(options.maxBodyBytes);
    const bool complete = reader([&](const char *data, size_t size) {
        if (body.size() + size > limit) {
            tooLarge = true;
            return false;
        }
        body.append(data, size);
        return true;
    });
    const ConnectionStream *stream = exchange.stream();
    const auto failure = stream ? stream->bodyFailure() : ConnectionStream::BodyFailure::None;
    if (tooLarge || failure == ConnectionStream::BodyFailure::OverBudget) {
        refuse(exchange, res, 413, RpcCode::RequestTooLarge, tooLargeMessage(options.maxBodyBytes));
    } else if (failure == ConnectionStream::BodyFailure::TimedOut) {
        refuse(exchange, res, 408, RpcCode::InvalidRequest, bodyTimedOutMessage(options.deadlines));
    } else if (!complete) {
        refuse(exchange, res, 400, RpcCode::InvalidRequest,
               QStringLiteral("Requisição HTTP inválida: o corpo chegou incompleto ou malformado; a chamada não "
                              "foi executada."));
    } else {
        answer(body, res, exchange);
    }
}

namespace {

ConnectionStream::Limits limitsFor(const HttpFront::Settings &options)
{
    ConnectionStream::Limits limits;
    const HttpFront::Deadlines &deadlines = options.deadlines;
    limits.headerDeadline = deadlines.header;
    limits.maxHeaderBytes = HttpFront::MaxHeaderBytes;
    limits.maxHeaderLines = HttpFront::MaxHeaderLines;
    limits.bodyDeadline = deadlines.body;
    // Chunk framing adds a few bytes per chunk; a client that sends more framing
    // than data is not one of ours.
    limits.maxBodyWireBytes = size_t(options.maxBodyBytes) * 2 + 65536;
    limits.maxBodyBytes = size_t(options.maxBodyBytes);
    limits.bodyMemoryBytes = size_t(HttpFront::bodyMemoryOf(options));
    limits.readTimeout = deadlines.read;
    limits.writeTimeout = deadlines.write;
    limits.answerWaitGrace = deadlines.answer;
    return limits;
}

std::string earlyRefusal(int status, GuardedServer::Refusal why, qint64 bodyMemoryBytes,
                         const HttpFront::Deadlines &deadlines)
{
    QString message;
    using R = GuardedServer::Refusal;
    int code = RpcCode::InvalidRequest;
    if (why == R::HeadersTimedOut)
        message = QStringLiteral("Os cabeçalhos da requisição não chegaram inteiros em %1; a conexão "
                                 "foi encerrada.")
                      .arg(durationText(deadlines.header));
    else if (why == R::MalformedHeader)
        message = QStringLiteral("Requisição HTTP inválida: cada linha de cabeçalho deve ser \"nome: valor\", sem "
                                 "espaço antes dos dois-pontos e sem continuar a linha anterior.");
    else if (why == R::TooManyHeaderLines)
        message = QStringLiteral("A requisição tem mais de %1 linhas de cabeçalho; o servidor de aplicação não a "
                                 "aceita.")
                      .arg(HttpFront::MaxHeaderLines - 1);
    else if (why == R::BodyTimedOut)
        message = bodyTimedOutMessage(deadlines);
    else if (why == R::NoRoomForBody) {
        code = RpcCode::Busy;
        message = QStringLiteral("O servidor de aplicação está recebendo outras requisições grandes e não tem "
                                 "memória livre para esta agora (limite de %1 MB); a chamada não foi executada. "
                                 "Tente novamente em instantes.")
                      .arg(bodyMemoryBytes >> 20);
    } else
        message = QStringLiteral("Os cabeçalhos da requisição passam de %1 KB; o servidor de aplicação não a "
                                 "aceita.")
                      .arg(HttpFront::MaxHeaderBytes / 1024);
    HttpExchange::Note note;
    note.errorCode = code;
    httplib::Request req;
    httplib::Response res;
    res.status = status;
    logLine(req, res, note);
    return JsonRpcFront::errorResponse(code, message);
}

} // namespace

namespace {

// Whether a request line names one of the entries (see HttpFront::isEntry).
bool routedLine(std::string_view line)
{
    const auto methodEnd = line.find(' ');
    const auto targetEnd = line.find(' ', methodEnd + 1);
    return methodEnd != std::string_view::npos && targetEnd != std::string_view::npos
           && HttpFront::isEntry(line.substr(0, methodEnd), line.substr(methodEnd + 1, targetEnd - methodEnd - 1));
}

} // namespace

HttpFront::HttpFront(const Settings &options, const JsonRpcFront &front, HealthCheck health, QString databaseKind)
    : d(new Private(
        options, front, std::move(health), std::move(databaseKind), limitsFor(options),
        [memory = bodyMemoryOf(options), deadlines = options.deadlines](int status, GuardedServer::Refusal why) {
            return earlyRefusal(status, why, memory, deadlines);
        },
        routedLine))
{
    d->configureConnections();
    d->route();
}

void HttpFront::Private::configureConnections()
{
    // Content-Length bodies are checked against the limit before they are read;
    // the reader below also counts chunked ones.
    server.set_payload_max_length(size_t(options.maxBodyBytes));
    server.set_read_timeout(options.deadlines.read);
    server.set_write_timeout(options.deadlines.write);
    server.setKeepAlive(options.deadlines.keepAlive, KeepAliveMaxRequests);
    server.set_tcp_nodelay(true);
    // Only SO_REUSEADDR: the library's default also sets SO_REUSEPORT, which would let
    // a second server bind the same port and silently take half of the requests.
    server.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char *>(&yes), sizeof yes);
    });
}

void HttpFront::Private::route()
{
    using Request = httplib::Request;
    using Response = httplib::Response;
    server.set_pre_routing_handler([this](const Request &req, Response &res) { return preRoute(req, res); });

    // A client that asks before sending a body learns at once that it is too large.
    server.set_expect_100_continue_handler([this](const Request &req, Response &res) {
        if (declaredLength(req) <= options.maxBodyBytes)
            return 100;
        res.status = 413;
        return 413;
    });

    // Every call, with a body of either framing or none: the library hands each POST
    // to a reader handler first.
    // The library takes a route's path as a regular expression: its dot is escaped,
    // so that the route is the one path isEntry() admits.
    server.Post(R"(/FAS09600\.rdmFaturamento)",
                [this](const Request &req, Response &res, const httplib::ContentReader &reader) {
                    HttpExchange unparsed(nullptr, {});
                    readBodyAndAnswer(reader, res, exchangeOf(req, unparsed));
                });
    server.Get(HealthPath, [this](const Request &req, Response &res) { answerHealth(req, res); });
    server.set_error_handler([this](const Request &req, Response &res) { answerError(req, res); });
    server.set_exception_handler([this](const Request &req, Response &res, std::exception_ptr ep) {
        answerException(req, res, std::move(ep));
    });
    server.set_logger([this](const Request &req, const Response &res) { log(req, res); });
}

httplib::Server::HandlerResponse HttpFront::Private::preRoute(const httplib::Request &req, httplib::Response &res)
{
    HttpExchange *exchange = server.exchangeOf(req);
    if (!exchange) // every routed request was parsed, so it has one
        return httplib::Server::HandlerResponse::Unhandled;
    exchange->note().start = Clock::now();
    if (!options.trustedProxies.empty()) {
        std::string forwardedFor;
        for (size_t i = 0; i < req.get_header_value_count("X-Forwarded-For"); ++i)
            forwardedFor += (i ? "," : "") + req.get_header_value("X-Forwarded-For", i);
        exchange->context().setClientAddress(clientAddressOf(exchange->context().clientAddress(), forwardedFor,
                                                             req.get_header_value("X-Real-IP"),
                                                             options.trustedProxies));
    }
    exchange->context().setIdempotencyKey(req.get_header_value("Idempotency-Key"));
    if (!isEntry(req.method, req.target)) {
        // Its body was not read ahead and is not read now.
        refuse(*exchange, res, 404, RpcCode::InvalidRequest, unknownEntryMessage(req));
        return httplib::Server::HandlerResponse::Handled;
    }
    if (!admit(req, res, *exchange))
        return httplib::Server::HandlerResponse::Handled;
    if (req.method == "POST" && !acceptBodyHeaders(req, res, *exchange, options.maxBodyBytes))
        return httplib::Server::HandlerResponse::Handled;
    return httplib::Server::HandlerResponse::Unhandled;
}

void HttpFront::Private::answerHealth(const httplib::Request &req, httplib::Response &res) const
{
    HttpExchange unparsed(nullptr, {});
    const HttpExchange &exchange = exchangeOf(req, unparsed);
    const auto [ok, reason] = health();
    res.status = ok ? 200 : 503;
    setJson(res, exchange.admitted() ? healthBody(ok, databaseKind, reason, exchange.context()) : bareHealthBody(ok));
}

void HttpFront::Private::answerError(const httplib::Request &req, httplib::Response &res) const
{
    if (!res.body.empty())
        return;
    HttpExchange unparsed(nullptr, {});
    HttpExchange &exchange = exchangeOf(req, unparsed);
    QString message;
    int code = RpcCode::InvalidRequest;
    if (res.status == 413) {
        code = RpcCode::RequestTooLarge;
        message = tooLargeMessage(options.maxBodyBytes);
        exchange.closeAfterAnswer();
    } else if (res.status == 404) {
        message = unknownEntryMessage(req);
    } else {
        message = QStringLiteral("Requisição HTTP inválida (%1).").arg(res.status);
        exchange.closeAfterAnswer();
    }
    exchange.note().errorCode = code;
    setJson(res, JsonRpcFront::errorResponse(code, message));
}

void HttpFront::Private::answerException(const httplib::Request &req, httplib::Response &res,
                                         std::exception_ptr ep) const
{
    std::string what = "exceção desconhecida";
    try {
        if (ep)
            std::rethrow_exception(ep);
    } catch (const std::exception &e) {
        what = e.what();
    } catch (...) {
    }
    qCCritical(lcHttp, "falha interna em %s %s: %s", LogText::escaped(req.method).c_str(),
               LogText::escaped(req.path).c_str(), LogText::escaped(what).c_str());
    res.status = 500;
    HttpExchange unparsed(nullptr, {});
    exchangeOf(req, unparsed).note().errorCode = RpcCode::ServerFailure;
    setJson(res, JsonRpcFront::errorResponse(RpcCode::ServerFailure,
                                             QStringLiteral("Erro interno no servidor de aplicação: a operação "
                                                            "não foi concluída.")));
}

void HttpFront::Private::log(const httplib::Request &req, const httplib::Response &res) const
{
    if (const HttpExchange *exchange = server.exchangeOf(req)) {
        logLine(req, res, exchange->note());
        return;
    }
    // Refused before it was parsed: by the error handler, always as an invalid request.
    HttpExchange::Note note;
    note.errorCode = res.status >= 400 ? RpcCode::InvalidRequest : 0;
    logLine(req, res, note);
}

HttpFront::~HttpFront() = default;

namespace {

bool isTrusted(const std::optional<IpAddress> &address, const std::vector<IpAddress> &trusted)
{
    return address && std::find(trusted.begin(), trusted.end(), *address) != trusted.end();
}

} // namespace

std::string HttpFront::clientAddressOf(const std::string &peer, const std::string &forwardedFor,
                                       const std::string &realIp, const std::vector<IpAddress> &trusted)
{
    if (!isTrusted(IpAddress::parse(peer), trusted))
        return peer;
    std::string_view hops = forwardedFor;
    while (!hops.empty()) {
        const auto comma = hops.rfind(',');
        const auto address = IpAddress::parse(comma == std::string_view::npos ? hops : hops.substr(comma + 1));
        if (!address)
            break; // not an address: what lies left of it cannot be told
        if (!isTrusted(address, trusted))
            return address->text();
        hops = comma == std::string_view::npos ? std::string_view() : hops.substr(0, comma);
    }
    const auto real = IpAddress::parse(realIp);
    return !real || isTrusted(real, trusted) ? peer : real->text();
}

bool HttpFront::isEntry(std::string_view method, std::string_view target)
{
    const std::string_view path = target.substr(0, target.find('?'));
    if (path == RpcPath)
        return method == "POST";
    return path == HealthPath && (method == "GET" || method == "HEAD");
}

qint64 HttpFront::bodyMemoryOf(const Settings &settings)
{
    if (settings.bodyMemoryBytes > 0)
        return settings.bodyMemoryBytes;
    return std::max(qint64(DefaultBodyMemoryMb) << 20, settings.maxBodyBytes * 2);
}

int HttpFront::bind()
{
    const std::string host = d->options.listenHost.toStdString();
    if (d->options.listenPort == 0) {
        d->port = d->server.bind_to_any_port(host);
        if (d->port <= 0)
            d->port = 0;
    } else if (d->server.bind_to_port(host, d->options.listenPort)) {
        d->port = d->options.listenPort;
    }
    if (d->port == 0)
        throw FasError(QStringLiteral("Não foi possível escutar em %1:%2: o endereço não existe nesta máquina ou a "
                                      "porta já está em uso.")
                           .arg(d->options.listenHost)
                           .arg(d->options.listenPort));
    return d->port;
}

bool HttpFront::run()
{
    return d->server.listen_after_bind();
}

void HttpFront::stop()
{
    d->server.shutDown();
}
