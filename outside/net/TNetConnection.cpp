#include "outside/net/TNetConnection.h"

#include <algorithm>

#include <QElapsedTimer>
#include <QMetaMethod>
#include <QScopeGuard>
#include <QUuid>

#include <simdjson.h>

#include "outside/net/AnswerReader.h"
#include "outside/net/AnswerStream.h"
#include "outside/net/CallWait.h"
#include "outside/net/HttpTransport.h"
#include "outside/net/RemoteCallError.h"
#include "outside/net/SessionUser.h"

namespace {

constexpr const char *HealthPath = "/health";

QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace

TNetConnection::TNetConnection(QObject *parent)
    : QObject(parent)
{
}

TNetConnection::~TNetConnection() = default;

QString TNetConnection::Address() const
{
    return HttpTransport::address(m_host, m_port);
}

void TNetConnection::SetConnected(bool connected)
{
    if (connected == m_connected)
        return;
    if (!connected) {
        m_client.reset();
        m_connected = false;
        return;
    }
    emit BeforeConnect(this);
    m_client = std::make_shared<HttpTransport>(HttpTransport::Target{m_host, m_port, m_timeoutMs, m_token, m_caFile});
    // An unreachable server leaves the connection closed.
    auto clientDropped = qScopeGuard([this] { m_client.reset(); });
    checkHealth();
    clientDropped.dismiss();
    m_connected = true;
}

HttpAnswer TNetConnection::runOnWorker(const std::shared_ptr<HttpTransport> &transport,
                                       const std::function<HttpAnswer()> &request, const AnswerStream *stream,
                                       int deadlineMs)
{
    HttpAnswer answer;
    const int timeoutMs = deadlineMs < 0 ? m_timeoutMs : deadlineMs;
    std::function<qint64()> received;
    if (stream)
        received = [stream] { return stream->bytes(); };
    CallWait::Options waiting;
    waiting.stream = stream;
    waiting.rowsReceived = [this](int rows) { emit ReceivingRows(rows); };
    if (m_cancellable)
        waiting.cancel = [this] { Cancel(); };
    CallWait::run([&] { answer = transport->underDeadline(request, timeoutMs, received); }, waiting);
    return answer;
}

void TNetConnection::checkHealth()
{
    std::shared_ptr<HttpTransport> transport = m_client;
    const HttpAnswer answer = runOnWorker(transport, [transport] { return transport->get(HealthPath); });
    const QString what = QStringLiteral("a conexão");
    if (answer.error != httplib::Error::Success)
        throw HttpTransport::notDelivered(answer, Address(), what, m_timeoutMs);
    if (auto foreign = AnswerReader(Address(), what).foreign(answer.status, answer.body))
        throw *foreign;
    readHealth(answer.status == 200 ? answer.body : QByteArray());
    if (answer.status != 200) {
        throw RemoteCallError(RemoteCallError::Reason::ServerError, 0,
                              QStringLiteral("O servidor de aplicação em %1 não está pronto (HTTP %2): %3")
                                  .arg(Address())
                                  .arg(answer.status)
                                  .arg(QString::fromUtf8(answer.body).left(300)));
    }
}

// The user the health entry names, and that user's right.
void TNetConnection::readHealth(const QByteArray &body)
{
    m_userName.clear();
    m_userRight.clear();
    simdjson::dom::parser parser;
    simdjson::dom::element health;
    std::string_view text;
    if (!body.isEmpty()
        && parser.parse(body.constData(), std::size_t(body.size())).get(health) == simdjson::SUCCESS) {
        if (health.at_pointer("/user").get_string().get(text) == simdjson::SUCCESS)
            m_userName = fromUtf8(text);
        if (health.at_pointer("/right").get_string().get(text) == simdjson::SUCCESS)
            m_userRight = fromUtf8(text);
    }
    SessionUser::instance().set(m_userName, m_userRight);
}

std::string TNetConnection::buildRequest(const QString &method, const QList<RemoteArgument> &args)
{
    std::string body;
    body.reserve(256);
    body.append("{\"jsonrpc\":\"2.0\",\"id\":");
    body.append(std::to_string(m_nextId++));
    body.append(",\"method\":\"");
    body.append(method.toStdString());
    body.append("\",\"params\":");
    const std::size_t paramsAt = body.size();
    body.push_back('[');
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (i > 0)
            body.push_back(',');
        args[i].writeJson(body);
    }
    body.push_back(']');
    if (isSignalConnected(QMetaMethod::fromSignal(&TNetConnection::Sending)))
        emit Sending(method, QByteArray(body.data() + paramsAt, qsizetype(body.size() - paramsAt)));
    body.push_back('}');
    return body;
}

void TNetConnection::Cancel()
{
    if (!m_busy || !m_cancellable || !m_client)
        return;
    m_cancelled = true;
    m_client->stop();
}

void TNetConnection::refuseWhileBusy(const QString &method) const
{
    using R = RemoteCallError::Reason;
    if (!m_connected || !m_client) {
        throw RemoteCallError(R::NotConnected, 0,
                              QStringLiteral("Sem conexão com o servidor de aplicação em %1: %2 não foi enviado.")
                                  .arg(Address(), method));
    }
    if (m_busy) {
        // Only something other than the user (a timer) can get here while a call
        // waits: one connection carries one call at a time.
        throw RemoteCallError(R::Busy, 0,
                              QStringLiteral("Aguarde: uma chamada ao servidor de aplicação em %1 ainda está em "
                                             "andamento; %2 não foi enviado.")
                                  .arg(Address(), method));
    }
}

TRemoteValue TNetConnection::Call(const QString &method, const QList<RemoteArgument> &args, CallKind kind)
{
    refuseWhileBusy(method);
    const std::string path = "/" + m_serverName.toStdString();
    std::string body = buildRequest(method, args);
    std::shared_ptr<HttpTransport> transport = m_client;
    m_busy = true;
    m_cancellable = kind == CallKind::UserMayCancel;
    m_cancelled = false;
    const auto notBusy = qScopeGuard([this] { m_busy = m_cancellable = false; });
    std::unique_ptr<AnswerStream> stream;
    HttpAnswer answer = send(transport, path, body, stream);
    if (m_cancelled)
        throw RemoteCallError(RemoteCallError::Reason::Cancelled, 0,
                              QStringLiteral("A chamada %1 ao servidor de aplicação em %2 foi cancelada pelo usuário.")
                                  .arg(method, Address()));
    if (answer.error != httplib::Error::Success)
        throw HttpTransport::notDelivered(answer, Address(), method, m_timeoutMs);
    return AnswerReader(Address(), method).read(answer, *stream);
}

// Sends the call and, while its outcome is unknown, sends it again with the same
// key. The first attempt leaves a quarter of the deadline (1 to 15 s) for the
// repeats, so all of them end within the call's deadline. A repeat that cannot
// even connect tells nothing new: the unknown outcome before it is reported.
HttpAnswer TNetConnection::send(const std::shared_ptr<HttpTransport> &transport, const std::string &path,
                                const std::string &body, std::unique_ptr<AnswerStream> &stream)
{
    const std::string key = QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
    const int reserve = std::clamp(m_timeoutMs / 4, 1000, 15000);
    QElapsedTimer call;
    call.start();
    HttpAnswer answer;
    for (int attempt = 1; attempt <= MaxAttempts; ++attempt) {
        const int left = m_timeoutMs - int(call.elapsed());
        const int deadline = attempt == 1 && left > 2 * reserve ? left - reserve : left;
        auto nextStream = std::make_unique<AnswerStream>();
        AnswerStream &receiving = *nextStream;
        HttpAnswer next = runOnWorker(
            transport, [transport, &path, &body, &key, &receiving] { return transport->post(path, body, key, receiving); },
            &receiving, deadline);
        if (attempt > 1 && next.error == httplib::Error::Connection && !m_cancelled)
            break;
        answer = std::move(next);
        stream = std::move(nextStream);
        if (m_cancelled || !HttpTransport::outcomeUnknown(answer) || m_timeoutMs - int(call.elapsed()) < 500)
            break;
        CallWait::pause(100 * attempt);
    }
    return answer;
}
