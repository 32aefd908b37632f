#include "outside/net/TNetConnection.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QThread>
#include <QTimer>
#include <QUuid>

#include <httplib.h>
#include <simdjson.h>

#include "outside/net/AnswerStream.h"
#include "platform/data/DataPacket.h"
#include "outside/services/HostConfig.h"
#include "outside/net/InputGate.h"
#include "platform/data/PrivateFile.h"
#include "outside/net/RemoteCallError.h"
#include "outside/net/SessionUser.h"
#include "platform/data/TJsonDocument.h"

namespace {

constexpr const char *HealthPath = "/health";

QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QString secondsText(int ms)
{
    const int seconds = (ms + 999) / 1000;
    return seconds == 1 ? QStringLiteral("1 segundo") : QStringLiteral("%1 segundos").arg(seconds);
}

bool isHttps(const QString &host)
{
    return host.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

// The host without its scheme ("https://" or "http://") and trailing slashes.
QString hostName(const QString &host)
{
    QString name = host.trimmed();
    if (isHttps(name))
        name = name.mid(8);
    else if (name.startsWith(QLatin1String("http://"), Qt::CaseInsensitive))
        name = name.mid(7);
    while (name.endsWith(u'/'))
        name.chop(1);
    return name;
}

// Waits for `done` until the deadline of the call, which an answer that keeps
// arriving at MinBytesPerSecond or more, second by second, may move on, up to ten
// times the call's time-out. Returns whether the call finished.
bool awaitWithinDeadline(std::unique_lock<std::mutex> &lock, std::condition_variable &finished, const bool &done,
                         int timeoutMs, const std::function<qint64()> &received)
{
    using namespace std::chrono;
    constexpr milliseconds Window(1000);
    const auto finishedBy = [&](steady_clock::time_point when) {
        return finished.wait_until(lock, when, [&] { return done; });
    };
    const auto start = steady_clock::now();
    const auto deadline = start + milliseconds(timeoutMs);
    if (!received)
        return finishedBy(deadline);
    const auto cap = start + milliseconds(qint64(timeoutMs) * 10);
    // The rate is measured over the second before the deadline, then over each second after it.
    auto windowStart = std::max(start, deadline - Window);
    if (finishedBy(windowStart))
        return true;
    qint64 bytesAtWindowStart = received();
    auto windowEnd = deadline;
    while (!finishedBy(windowEnd)) {
        const qint64 now = received();
        const double seconds = duration<double>(windowEnd - windowStart).count();
        if (windowEnd >= cap || double(now - bytesAtWindowStart) < double(TNetConnection::MinBytesPerSecond) * seconds)
            return false;
        bytesAtWindowStart = now;
        windowStart = windowEnd;
        windowEnd = std::min(cap, windowEnd + Window);
    }
    return true;
}

// Runs `request` with one deadline for the whole of it (see awaitWithinDeadline).
// When the deadline passes, the connection is shut down under the request,
// whatever it is doing, and again every few milliseconds until it returns (a
// connect still in progress only sees the socket it ends up with). Returns
// whether the deadline passed.
bool runUnderDeadline(httplib::Client &http, int timeoutMs, const std::function<void()> &request,
                      const std::function<qint64()> &received)
{
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool passed = false;
    std::thread watchdog([&] {
        std::unique_lock lock(mutex);
        if (awaitWithinDeadline(lock, finished, done, timeoutMs, received))
            return;
        passed = true;
        do
            http.stop();
        while (!finished.wait_for(lock, std::chrono::milliseconds(20), [&] { return done; }));
    });
    {
        const auto stopWatchdog = qScopeGuard([&] {
            {
                std::lock_guard lock(mutex);
                done = true;
            }
            finished.notify_all();
            watchdog.join();
        });
        request();
    }
    return passed;
}

// The server's certificate must name the address in its subjectAltName: OpenSSL
// checks it during the handshake and never falls back to the subject's common name,
// as the library's own check would.
void requireSubjectAltName(httplib::Client &http, const QString &host)
{
    X509_VERIFY_PARAM *param = SSL_CTX_get0_param(http.ssl_context());
    QString bare = host;
    if (bare.startsWith(u'[') && bare.endsWith(u']'))
        bare = bare.mid(1, bare.size() - 2);
    const QByteArray name = bare.toUtf8();
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NEVER_CHECK_SUBJECT);
    if (X509_VERIFY_PARAM_set1_ip_asc(param, name.constData()) != 1)
        X509_VERIFY_PARAM_set1_host(param, name.constData(), std::size_t(name.size()));
}

QString configurationHint()
{
    const QString ini = HostConfig::iniPath();
    return ini.isEmpty() ? QStringLiteral("na seção [client] da configuração")
                         : QStringLiteral("na seção [client] de %1").arg(ini);
}

QString readTokenFile(const QString &path, const QString &address)
{
    const QString loose = PrivateFile::problem(path, QStringLiteral("O arquivo do token de acesso"));
    if (!loose.isEmpty())
        throw RemoteCallError(RemoteCallError::Reason::Configuration, 0,
                              QStringLiteral("Sem conexão com o servidor de aplicação em %1: %2").arg(address, loose));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw RemoteCallError(RemoteCallError::Reason::Configuration, 0,
                              QStringLiteral("Sem conexão com o servidor de aplicação em %1: o arquivo do token de "
                                             "acesso %2 (token_file %3) não pôde ser lido: %4.")
                                  .arg(address, path, configurationHint(), file.errorString()));
    const QString token = QString::fromUtf8(file.readAll()).trimmed();
    if (token.isEmpty())
        throw RemoteCallError(RemoteCallError::Reason::Configuration, 0,
                              QStringLiteral("Sem conexão com o servidor de aplicação em %1: o arquivo do token de "
                                             "acesso %2 (token_file %3) está vazio.")
                                  .arg(address, path, configurationHint()));
    return token;
}

} // namespace

struct TNetConnection::Client
{
    explicit Client(const std::string &schemeHostPort)
        : http(schemeHostPort)
    {
    }
    httplib::Client http;
};

struct TNetConnection::HttpAnswer
{
    httplib::Error error = httplib::Error::Success;
    int status = 0;
    QByteArray body; // room for the JSON parser's padding is left after it
    bool tooLarge = false;
    qint64 elapsedMs = 0;
    bool deadlinePassed = false;
    long certificateCheck = 0; // OpenSSL's verification result, for a refused certificate
};

TNetConnection::TNetConnection(QObject *parent)
    : QObject(parent)
{
}

TNetConnection::~TNetConnection() = default;

QString TNetConnection::Address() const
{
    const QString scheme = isHttps(m_host) ? QStringLiteral("https://") : QString();
    return QStringLiteral("%1%2:%3").arg(scheme, hostName(m_host)).arg(m_port);
}

std::shared_ptr<TNetConnection::Client> TNetConnection::makeClient() const
{
    QString name = hostName(m_host);
    if (name.contains(u':') && !name.startsWith(u'['))
        name = u'[' + name + u']';
    const bool tls = isHttps(m_host);
    const QString scheme = tls ? QStringLiteral("https") : QStringLiteral("http");
    auto client = std::make_shared<Client>(QStringLiteral("%1://%2:%3").arg(scheme, name).arg(m_port).toStdString());
    // A token set on the connection wins over the configured one.
    const QString configured = HostConfig::tokenFile();
    const QString token = m_token.isEmpty() && !configured.isEmpty() ? readTokenFile(configured, Address()) : m_token;
    if (!token.isEmpty())
        client->http.set_bearer_token_auth(token.toStdString());
    if (tls) {
        const QString caFile = m_caFile.isEmpty() ? HostConfig::caFile() : m_caFile;
        if (!caFile.isEmpty()) {
            if (!QFileInfo(caFile).isReadable())
                throw RemoteCallError(RemoteCallError::Reason::Configuration, 0,
                                      QStringLiteral("Sem conexão com o servidor de aplicação em %1: o arquivo da "
                                                     "autoridade certificadora %2 (ca_file %3) não existe ou não "
                                                     "pode ser lido.")
                                          .arg(Address(), caFile, configurationHint()));
            client->http.set_ca_cert_path(caFile.toStdString());
        }
        client->http.enable_server_certificate_verification(true);
        requireSubjectAltName(client->http, name);
    }
    return client;
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
    auto client = makeClient();
    const auto timeout = std::chrono::milliseconds(m_timeoutMs);
    client->http.set_connection_timeout(timeout);
    client->http.set_read_timeout(timeout);
    client->http.set_write_timeout(timeout);
    client->http.set_keep_alive(true);
    // A request goes out as its head and then its body: without this the body
    // waits, under Nagle's rule, for the server's delayed acknowledgement of the
    // head (some 40 ms on every call).
    client->http.set_tcp_nodelay(true);
    m_client = std::move(client);
    // An unreachable server leaves the connection closed.
    auto clientDropped = qScopeGuard([this] { m_client.reset(); });
    checkHealth();
    clientDropped.dismiss();
    m_connected = true;
}

TNetConnection::HttpAnswer TNetConnection::runOnWorker(const std::shared_ptr<Client> &client,
                                                       const std::function<HttpAnswer()> &request,
                                                       const AnswerStream *stream, bool cancellable, int deadlineMs)
{
    HttpAnswer answer;
    const int timeoutMs = deadlineMs < 0 ? m_timeoutMs : deadlineMs;
    std::function<qint64()> received;
    if (stream)
        received = [stream] { return stream->bytes(); };
    const auto run = [&answer, &client, &request, &received, timeoutMs] {
        QElapsedTimer timer;
        timer.start();
        const bool passed = runUnderDeadline(
            client->http, timeoutMs, [&] { answer = request(); }, received);
        answer.elapsedMs = timer.elapsed();
        answer.deadlinePassed = passed;
        if (answer.error == httplib::Error::SSLServerVerification)
            answer.certificateCheck = client->http.get_openssl_verify_result();
    };
    // Without an event loop to keep alive (no application, or a call from a
    // worker thread) the request simply runs here.
    auto *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) {
        run();
        return answer;
    }

    QEventLoop loop;
    QTimer progress;
    int shownRows = 0;
    if (stream) {
        connect(&progress, &QTimer::timeout, this, [this, stream, &shownRows] {
            if (stream->rows() != shownRows)
                emit ReceivingRows(shownRows = stream->rows());
        });
        progress.start(150);
    }
    std::thread worker([&] {
        run();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    if (cancellable) {
        // Input reaches only the busy panel (its "Cancelar"); Escape stops the call.
        const InputGate gate([this] { Cancel(); });
        loop.exec(QEventLoop::AllEvents);
    } else {
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    worker.join();
    return answer;
}

namespace {

// OpenSSL's verdict on a refused certificate, in the user's words.
QString certificateProblem(long check)
{
    switch (check) {
    case X509_V_OK:
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return QStringLiteral("o certificado não é do endereço configurado");
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        return QStringLiteral("o certificado não foi assinado pela autoridade certificadora configurada");
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return QStringLiteral("o certificado está vencido");
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return QStringLiteral("o certificado ainda não vale; confira a data e a hora deste computador");
    default:
        return QStringLiteral("erro do OpenSSL: %1").arg(QString::fromUtf8(X509_verify_cert_error_string(check)));
    }
}

// A plain http request to an address that answers with TLS.
RemoteCallError plainHttpToTls(const QString &address)
{
    return RemoteCallError(RemoteCallError::Reason::Configuration, 0,
                           QStringLiteral("O servidor de aplicação em %1 atende com TLS (https): use o endereço com "
                                          "https:// em web_url %2.")
                               .arg(address, configurationHint()));
}

// "a" and what went unanswered, contracted with its article ("à conexão").
QString unansweredWhat(const QString &what)
{
    return what.startsWith(QLatin1String("a ")) ? QStringLiteral("à") + what.mid(1) : QStringLiteral("a ") + what;
}

RemoteCallError transportError(const QString &address, const QString &what, httplib::Error error, qint64 elapsedMs,
                               int timeoutMs, bool deadlinePassed, long certificateCheck)
{
    using R = RemoteCallError::Reason;
    if (deadlinePassed || error == httplib::Error::ConnectionTimeout
        || ((error == httplib::Error::Read || error == httplib::Error::Write) && elapsedMs >= timeoutMs - 50)) {
        return RemoteCallError(R::TimedOut, 0,
                               QStringLiteral("O servidor de aplicação em %1 não respondeu %2 em %3 (prazo da "
                                              "chamada inteira). Tente novamente; se persistir, verifique o servidor.")
                                   .arg(address, unansweredWhat(what), secondsText(timeoutMs)));
    }
    if (error == httplib::Error::Connection) {
        return RemoteCallError(R::Refused, 0,
                               QStringLiteral("Não foi possível conectar ao servidor de aplicação em %1: "
                                              "conexão recusada ou endereço inalcançável. Verifique se o "
                                              "servidor está em execução e o endereço configurado.")
                                   .arg(address));
    }
    if (error == httplib::Error::SSLServerVerification) {
        const QString why = certificateProblem(certificateCheck);
        return RemoteCallError(R::Certificate, 0,
                               QStringLiteral("O certificado do servidor de aplicação em %1 não foi aceito (%2): a "
                                              "conexão segura foi recusada e nada foi enviado. Verifique o endereço "
                                              "e o arquivo da autoridade certificadora (ca_file %3).")
                                   .arg(address, why, configurationHint()));
    }
    if (error == httplib::Error::SSLConnection || error == httplib::Error::SSLLoadingCerts) {
        return RemoteCallError(R::Certificate, 0,
                               QStringLiteral("Não foi possível abrir uma conexão segura (TLS) com o servidor de "
                                              "aplicação em %1. Verifique se o endereço atende por https e o arquivo "
                                              "da autoridade certificadora (ca_file %2).")
                                   .arg(address, configurationHint()));
    }
    // An answer that is no HTTP at all, on a plain address, is most often TLS's.
    const bool plainAddress = !address.startsWith(QLatin1String("https://"));
    return RemoteCallError(
        R::Transport, 0,
        QStringLiteral("A comunicação com o servidor de aplicação em %1 falhou durante %2 (%3).%4")
            .arg(address, what, QString::fromStdString(httplib::to_string(error)),
                 error == httplib::Error::Read && plainAddress
                     ? QStringLiteral(" Se esse endereço atende com TLS, use https:// em web_url %1.")
                           .arg(configurationHint())
                     : QString()));
}

// Answers above a packet's limit are refused while they arrive, not after.
constexpr qsizetype MaxAnswerBytes = DataPacket::DefaultMaxBytes + (qsizetype(1) << 20);

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

// Posts `body` and reads the answer as it arrives (AnswerStream): a data packet
// goes straight into its rows; any other answer is kept whole, up to a limit.
TNetConnection::HttpAnswer TNetConnection::post(httplib::Client &http, const std::string &path, const std::string &body,
                                                const std::string &idempotencyKey, AnswerStream &stream)
{
    HttpAnswer a;
    httplib::Request request;
    request.method = "POST";
    request.path = path;
    request.body = body;
    request.set_header("Content-Type", "application/json");
    request.set_header("Idempotency-Key", idempotencyKey);
    request.content_receiver = [&a, &stream](const char *data, std::size_t length, std::uint64_t, std::uint64_t) {
        if (!stream.feed(std::string_view(data, length), MaxAnswerBytes)) {
            a.tooLarge = true;
            return false;
        }
        return true;
    };
    auto result = http.send(request);
    a.error = result.error();
    if (result)
        a.status = result->status;
    if (a.tooLarge)
        a.error = httplib::Error::Success;
    return a;
}

// A request that did not reach the server or whose answer did not come back.
void TNetConnection::throwIfNotDelivered(const HttpAnswer &answer, const QString &what) const
{
    if (answer.error != httplib::Error::Success)
        throw transportError(Address(), what, answer.error, answer.elapsedMs, m_timeoutMs, answer.deadlinePassed,
                             answer.certificateCheck);
}

void TNetConnection::checkHealth()
{
    std::shared_ptr<Client> client = m_client;
    const HttpAnswer answer = runOnWorker(client, [client] {
        HttpAnswer a;
        auto result = client->http.Get(HealthPath);
        a.error = result.error();
        if (result) {
            a.status = result->status;
            a.body = QByteArray::fromStdString(result->body);
        }
        return a;
    });
    throwIfNotDelivered(answer, QStringLiteral("a conexão"));
    if (auto foreign = foreignAnswer(Address(), QStringLiteral("a conexão"), answer.status, answer.body))
        throw *foreign;
    m_userName.clear();
    m_userRight.clear();
    if (answer.status == 200) {
        simdjson::dom::parser parser;
        simdjson::dom::element health;
        std::string_view text;
        if (parser.parse(answer.body.constData(), std::size_t(answer.body.size())).get(health) == simdjson::SUCCESS) {
            if (health.at_pointer("/user").get_string().get(text) == simdjson::SUCCESS)
                m_userName = fromUtf8(text);
            if (health.at_pointer("/right").get_string().get(text) == simdjson::SUCCESS)
                m_userRight = fromUtf8(text);
        }
    }
    SessionUser::instance().set(m_userName, m_userRight);
    if (answer.status != 200) {
        throw RemoteCallError(RemoteCallError::Reason::ServerError, 0,
                              QStringLiteral("O servidor de aplicação em %1 não está pronto (HTTP %2): %3")
                                  .arg(Address())
                                  .arg(answer.status)
                                  .arg(QString::fromUtf8(answer.body).left(300)));
    }
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
    m_lastRequest = {method, QByteArray(body.data() + paramsAt, qsizetype(body.size() - paramsAt))};
    body.push_back('}');
    return body;
}

void TNetConnection::Cancel()
{
    if (!m_busy || !m_cancellable || !m_client)
        return;
    m_cancelled = true;
    m_client->http.stop();
}

TRemoteValue TNetConnection::Call(const QString &method, const QList<RemoteArgument> &args, CallKind kind)
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
    const std::string path = "/" + m_serverName.toStdString();
    std::string body = buildRequest(method, args);
    std::shared_ptr<Client> client = m_client;
    m_busy = true;
    m_cancellable = kind == CallKind::UserMayCancel;
    m_cancelled = false;
    const auto notBusy = qScopeGuard([this] { m_busy = m_cancellable = false; });
    std::unique_ptr<AnswerStream> stream;
    HttpAnswer answer = send(client, path, body, stream);
    if (m_cancelled)
        throw RemoteCallError(R::Cancelled, 0,
                              QStringLiteral("A chamada %1 ao servidor de aplicação em %2 foi cancelada pelo usuário.")
                                  .arg(method, Address()));
    throwIfNotDelivered(answer, method);
    if (stream->streamed() && answer.status != 401)
        return readStreamed(*stream, method, answer.status);
    answer.body = std::move(stream->whole());
    if (answer.status == 401)
        throw unauthorized(Address(), method, answer.body);
    if (auto foreign = foreignAnswer(Address(), method, answer.status, answer.body))
        throw *foreign;

    if (answer.tooLarge)
        throw badAnswer(
            method,
            QStringLiteral("HTTP %1, resposta acima do limite de %2 bytes").arg(answer.status).arg(MaxAnswerBytes));

    // The answer is parsed once, in the buffer it was received into, and dropped:
    // a data packet in it later loads from the parsed values (TDataPacket). An
    // answer the DOM refuses (an integer beyond 64 bits) is read by the on-demand
    // reader instead, as text.
    TJsonDocument::pad(answer.body);
    auto document = std::make_shared<TJsonDocument>();
    if (document->parse(answer.body) != simdjson::SUCCESS)
        return readAnswerText(answer.body, method, answer.status);
    answer.body = QByteArray();
    return readAnswer(std::move(document), method, answer.status);
}

// The request went out, but whether the server ran it is not known.
bool TNetConnection::outcomeUnknown(const HttpAnswer &answer)
{
    using E = httplib::Error;
    if (answer.deadlinePassed || answer.error == E::Read || answer.error == E::Write || answer.error == E::Canceled)
        return true;
    return answer.error == E::Success && (answer.status == 502 || answer.status == 503 || answer.status == 504);
}

// Sends the call and, while its outcome is unknown, sends it again with the same
// key. The first attempt leaves a quarter of the deadline (1 to 15 s) for the
// repeats, so all of them end within the call's deadline. A repeat that cannot
// even connect tells nothing new: the unknown outcome before it is reported.
TNetConnection::HttpAnswer TNetConnection::send(const std::shared_ptr<Client> &client, const std::string &path,
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
            client, [client, &path, &body, &key, &receiving] { return post(client->http, path, body, key, receiving); },
            &receiving, m_cancellable, deadline);
        if (attempt > 1 && next.error == httplib::Error::Connection && !m_cancelled)
            break;
        answer = std::move(next);
        stream = std::move(nextStream);
        if (m_cancelled || !outcomeUnknown(answer) || m_timeoutMs - int(call.elapsed()) < 500)
            break;
        pause(100 * attempt);
    }
    return answer;
}

void TNetConnection::pause(int ms) const
{
    auto *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) {
        QThread::msleep(ulong(ms));
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

// A result read as a data packet while it arrived: the answer around it is read
// as any answer is (an error member, a missing result), with the packet's place
// holding null; a refused packet is refused when it is loaded, as before.
TRemoteValue TNetConnection::readStreamed(AnswerStream &stream, const QString &method, int status) const
{
    if (!stream.refusedEarly()) {
        const std::string envelope = stream.envelope();
        QByteArray text(envelope.data(), qsizetype(envelope.size()));
        TJsonDocument::pad(text);
        auto document = std::make_shared<TJsonDocument>();
        if (document->parse(text) != simdjson::SUCCESS)
            readAnswerText(text, method, status);
        else
            readAnswer(std::move(document), method, status);
        if (!stream.packetEnded())
            throw badAnswer(method, QStringLiteral("HTTP %1, conteúdo não é JSON").arg(status));
    }
    return TRemoteValue(stream.packet());
}

RemoteCallError TNetConnection::badAnswer(const QString &method, const QString &why) const
{
    return RemoteCallError(
        RemoteCallError::Reason::BadAnswer, 0,
        QStringLiteral("O servidor de aplicação em %1 deu uma resposta inválida a %2: %3").arg(Address(), method, why));
}

RemoteCallError TNetConnection::refusal(const QString &method, std::int64_t code, std::string_view message) const
{
    return RemoteCallError(
        RemoteCallError::Reason::ServerError, int(code),
        QStringLiteral("O servidor de aplicação em %1 recusou %2: %3").arg(Address(), method, fromUtf8(message)),
        fromUtf8(message));
}

// The server's error object, read by either of simdjson's readers: thrown as the
// server's refusal, or as a bad answer when it has no numeric code and text message.
template<typename ErrorObject, typename Value>
void TNetConnection::throwRefusal(Value value, const QString &method) const
{
    ErrorObject error;
    int64_t code = 0;
    std::string_view message;
    if (value.get_object().get(error) != simdjson::SUCCESS || error["code"].get_int64().get(code) != simdjson::SUCCESS
        || error["message"].get_string().get(message) != simdjson::SUCCESS)
        throw badAnswer(method, QStringLiteral("objeto de erro malformado"));
    throw refusal(method, code, message);
}

TRemoteValue TNetConnection::readAnswer(std::shared_ptr<TJsonDocument> document, const QString &method,
                                        int status) const
{
    simdjson::dom::object top;
    if (document->root().get_object().get(top) != simdjson::SUCCESS)
        throw badAnswer(method, QStringLiteral("HTTP %1, conteúdo não é um objeto JSON-RPC").arg(status));
    bool haveResult = false;
    for (const simdjson::dom::key_value_pair field : top) {
        if (field.key == "result") {
            haveResult = true;
        } else if (field.key == "error") {
            throwRefusal<simdjson::dom::object>(field.value, method);
        }
    }
    if (!haveResult)
        throw badAnswer(method, QStringLiteral("HTTP %1, sem resultado").arg(status));
    return TRemoteValue(std::move(document));
}

TRemoteValue TNetConnection::readAnswerText(const QByteArray &body, const QString &method, int status) const
{
    // `body` is padded (TJsonDocument::pad).
    const simdjson::padded_string_view json(body.constData(), std::size_t(body.size()),
                                            std::size_t(body.size() + TJsonDocument::Padding));
    simdjson::ondemand::parser parser;
    simdjson::ondemand::document doc;
    if (parser.iterate(json).get(doc) != simdjson::SUCCESS)
        throw badAnswer(method, QStringLiteral("HTTP %1, conteúdo não é JSON").arg(status));
    simdjson::ondemand::object top;
    if (doc.get_object().get(top) != simdjson::SUCCESS)
        throw badAnswer(method, QStringLiteral("HTTP %1, conteúdo não é um objeto JSON-RPC").arg(status));

    std::string_view resultJson;
    bool haveResult = false;
    for (auto fieldResult : top) {
        simdjson::ondemand::field field;
        if (std::move(fieldResult).get(field) != simdjson::SUCCESS)
            throw badAnswer(method, QStringLiteral("JSON malformado"));
        std::string_view key;
        if (field.unescaped_key().get(key) != simdjson::SUCCESS)
            throw badAnswer(method, QStringLiteral("JSON malformado"));
        if (key == "result") {
            simdjson::ondemand::value value = field.value();
            simdjson::ondemand::json_type type;
            if (value.type().get(type) != simdjson::SUCCESS)
                throw badAnswer(method, QStringLiteral("resultado malformado"));
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
                throw badAnswer(method, QStringLiteral("resultado malformado"));
            haveResult = true;
        } else if (key == "error") {
            throwRefusal<simdjson::ondemand::object>(field.value(), method);
        }
    }
    if (!haveResult)
        throw badAnswer(method, QStringLiteral("HTTP %1, sem resultado").arg(status));
    return TRemoteValue(QByteArray(resultJson.data(), qsizetype(resultJson.size())));
}
