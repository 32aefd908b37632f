#include "HttpFront.h"

#include <chrono>
#include <cstdio>
#include <mutex>

#include <httplib.h>

#include <QDateTime>

#include "FasError.h"
#include "RpcError.h"

namespace {

using Clock = std::chrono::steady_clock;

// What the handler learnt about the request, for the log line the logger writes
// afterwards on the same thread.
struct RequestNote
{
    Clock::time_point start{};
    std::string method;
    int rows = -1;
    int errorCode = 0;
};
thread_local RequestNote requestNote;

std::mutex logMutex;

void logLine(const httplib::Request &req, const httplib::Response &res)
{
    const RequestNote &note = requestNote;
    std::string line = QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toStdString();
    line += ' ';
    line += req.method;
    line += ' ';
    line += req.path;
    line += " method=";
    line += note.method.empty() ? std::string("-") : note.method;
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
    line += '\n';
    std::lock_guard lock(logMutex);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void setJson(httplib::Response &res, std::string body)
{
    res.body = std::move(body);
    res.set_header("Content-Type", "application/json");
}

// Compares without stopping at the first difference, so the time taken does not
// tell how much of a guessed token was right.
bool sameToken(const std::string &given, const QByteArray &expected)
{
    unsigned char diff = given.size() == size_t(expected.size()) ? 0 : 1;
    for (size_t i = 0; i < given.size(); ++i)
        diff |= static_cast<unsigned char>(given[i])
                ^ static_cast<unsigned char>(expected.isEmpty() ? 0 : expected[qsizetype(i % size_t(expected.size()))]);
    return diff == 0;
}

std::string healthBody(bool ok, const QString &kind, const QString &reason)
{
    QString body = QStringLiteral("{\"status\":\"%1\",\"service\":\"FAS09600.rdmFaturamento\","
                                  "\"version\":\"6.10.038\",\"database\":\"%2\"")
                       .arg(ok ? QStringLiteral("ok") : QStringLiteral("unavailable"), kind);
    std::string out = body.toStdString();
    if (!ok) {
        // Reuse the JSON-RPC writer's escaping through an error object, then keep its message.
        const std::string error = JsonRpcFront::errorResponse(0, reason);
        const auto at = error.find("\"message\":");
        out += ",\"reason\":";
        out += error.substr(at + 10, error.size() - (at + 10) - 2);
    }
    out += '}';
    return out;
}

// An answer that goes on while its result is read: chunked, part by part. The
// first part was read before the status line, so a failure up to there was an
// ordinary error answer; a failure after it breaks the transfer off (no last
// chunk), so the client sees an incomplete answer, never a short valid one.
void streamReply(httplib::Response &res, JsonRpcFront::Reply reply)
{
    auto pending = std::make_shared<std::string>(std::move(reply.body));
    auto stream = std::move(reply.stream);
    auto tail = std::move(reply.tail);
    auto finished = std::make_shared<bool>(false);
    res.set_chunked_content_provider(
        "application/json", [pending, stream, tail, finished](size_t, httplib::DataSink &sink) {
            if (*finished) {
                sink.done();
                return true;
            }
            if (pending->empty()) {
                try {
                    *finished = !stream->fill(*pending);
                } catch (const std::exception &error) {
                    std::fprintf(stderr, "fas-appserver: %s: resposta interrompida: %s\n",
                                 requestNote.method.c_str(), error.what());
                    requestNote.errorCode = RpcCode::ServerFailure;
                    return false;
                }
                requestNote.rows = stream->rows();
                if (*finished)
                    pending->append(tail);
            }
            // A write of nothing would end the transfer in the library: the last
            // part always carries at least the tail.
            const bool written = sink.write(pending->data(), pending->size());
            pending->clear();
            return written;
        });
}

} // namespace

struct HttpFront::Private
{
    const ServerOptions &options;
    const JsonRpcFront &front;
    HealthCheck health;
    QString databaseKind;
    httplib::Server server;
    int port = 0;
};

HttpFront::HttpFront(const ServerOptions &options, const JsonRpcFront &front, HealthCheck health,
                     QString databaseKind)
    : d(new Private{options, front, std::move(health), std::move(databaseKind), {}, 0})
{
    httplib::Server &server = d->server;
    const size_t threads = size_t(options.threads);
    server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    server.set_payload_max_length(size_t(options.maxBodyBytes));
    server.set_read_timeout(ReadTimeoutSeconds, 0);
    server.set_write_timeout(WriteTimeoutSeconds, 0);
    server.set_keep_alive_timeout(KeepAliveTimeoutSeconds);
    server.set_keep_alive_max_count(KeepAliveMaxRequests);
    server.set_tcp_nodelay(true);
    // Only SO_REUSEADDR: the library's default also sets SO_REUSEPORT, which would let
    // a second server bind the same port and silently take half of the requests.
    server.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char *>(&yes), sizeof yes);
    });

    server.set_pre_routing_handler([this](const httplib::Request &req, httplib::Response &res) {
        requestNote = RequestNote{};
        requestNote.start = Clock::now();
        if (req.path != RpcPath || d->options.token.isEmpty())
            return httplib::Server::HandlerResponse::Unhandled;
        const std::string header = req.get_header_value("Authorization");
        const std::string prefix = "Bearer ";
        const bool ok = header.size() > prefix.size() && header.compare(0, prefix.size(), prefix) == 0
                        && sameToken(header.substr(prefix.size()), d->options.token);
        if (ok)
            return httplib::Server::HandlerResponse::Unhandled;
        res.status = 401;
        res.set_header("WWW-Authenticate", "Bearer realm=\"FAS09600.rdmFaturamento\"");
        requestNote.errorCode = RpcCode::Unauthorized;
        setJson(res, JsonRpcFront::errorResponse(
                         RpcCode::Unauthorized,
                         header.empty() ? QStringLiteral("Acesso não autorizado: o servidor de aplicação exige um "
                                                         "token (cabeçalho Authorization: Bearer).")
                                        : QStringLiteral("Acesso não autorizado: o token enviado não é o "
                                                         "configurado no servidor de aplicação.")));
        return httplib::Server::HandlerResponse::Handled;
    });

    server.Post(RpcPath, [this](const httplib::Request &req, httplib::Response &res) {
        JsonRpcFront::Reply reply = d->front.handle(req.body);
        requestNote.method = std::move(reply.method);
        requestNote.rows = reply.rows;
        requestNote.errorCode = reply.errorCode;
        if (reply.body.empty()) {
            res.status = 204; // notifications only: nothing to answer
            return;
        }
        if (reply.stream) {
            streamReply(res, std::move(reply));
            return;
        }
        setJson(res, std::move(reply.body));
    });

    server.Get(HealthPath, [this](const httplib::Request &, httplib::Response &res) {
        const auto [ok, reason] = d->health();
        res.status = ok ? 200 : 503;
        setJson(res, healthBody(ok, d->databaseKind, reason));
    });

    server.set_error_handler([this](const httplib::Request &req, httplib::Response &res) {
        if (!res.body.empty())
            return;
        QString message;
        int code = RpcCode::InvalidRequest;
        if (res.status == 413) {
            code = RpcCode::RequestTooLarge;
            message = QStringLiteral("A requisição excede o limite de %1 MB do servidor de aplicação; "
                                     "envie lotes menores.")
                          .arg(d->options.maxBodyBytes >> 20);
        } else if (res.status == 404) {
            message = QStringLiteral("Endereço desconhecido %1: use POST %2 ou GET %3.")
                          .arg(QString::fromStdString(req.path), QLatin1String(RpcPath), QLatin1String(HealthPath));
        } else {
            message = QStringLiteral("Requisição HTTP inválida (%1).").arg(res.status);
        }
        requestNote.errorCode = code;
        setJson(res, JsonRpcFront::errorResponse(code, message));
    });

    server.set_exception_handler([](const httplib::Request &req, httplib::Response &res, std::exception_ptr ep) {
        std::string what = "exceção desconhecida";
        try {
            if (ep)
                std::rethrow_exception(ep);
        } catch (const std::exception &e) {
            what = e.what();
        } catch (...) {
        }
        std::fprintf(stderr, "fas-appserver: falha interna em %s %s: %s\n", req.method.c_str(), req.path.c_str(),
                     what.c_str());
        res.status = 500;
        requestNote.errorCode = RpcCode::ServerFailure;
        setJson(res, JsonRpcFront::errorResponse(RpcCode::ServerFailure,
                                                 QStringLiteral("Erro interno no servidor de aplicação: a operação "
                                                                "não foi concluída.")));
    });

    server.set_logger([](const httplib::Request &req, const httplib::Response &res) {
        logLine(req, res);
        requestNote = RequestNote{};
    });
}

HttpFront::~HttpFront() = default;

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
    d->server.stop();
}
