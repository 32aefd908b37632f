#include "outside/net/HttpTransport.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include "outside/net/AnswerStream.h"
#include "outside/net/RemoteCallError.h"
#include "outside/net/TNetConnection.h"
#include "outside/services/HostConfig.h"
#include "platform/data/DataPacket.h"
#include "platform/data/PrivateFile.h"

const qsizetype HttpTransport::MaxAnswerBytes = DataPacket::DefaultMaxBytes + (qsizetype(1) << 20);

namespace {

QString configurationHint()
{
    return HttpTransport::configurationHint();
}

QString secondsText(int ms)
{
    const int seconds = (ms + 999) / 1000;
    return seconds == 1 ? QStringLiteral("1 segundo") : QStringLiteral("%1 segundos").arg(seconds);
}

// The host without its scheme ("https://" or "http://") and trailing slashes.
QString hostName(const QString &host)
{
    QString name = host.trimmed();
    if (HttpTransport::isHttps(name))
        name = name.mid(8);
    else if (name.startsWith(QLatin1String("http://"), Qt::CaseInsensitive))
        name = name.mid(7);
    while (name.endsWith(u'/'))
        name.chop(1);
    return name;
}

// The host as the HTTP client takes it: an IPv6 address in brackets.
QString bracketedHostName(const QString &host)
{
    QString name = hostName(host);
    if (name.contains(u':') && !name.startsWith(u'['))
        name = u'[' + name + u']';
    return name;
}

std::string schemeHostPort(const HttpTransport::Target &target)
{
    const QString scheme = HttpTransport::isHttps(target.host) ? QStringLiteral("https") : QStringLiteral("http");
    return QStringLiteral("%1://%2:%3").arg(scheme, bracketedHostName(target.host)).arg(target.port).toStdString();
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

} // namespace

QString HttpTransport::configurationHint()
{
    const QString ini = HostConfig::iniPath();
    return ini.isEmpty() ? QStringLiteral("na seção [client] da configuração")
                         : QStringLiteral("na seção [client] de %1").arg(ini);
}

bool HttpTransport::isHttps(const QString &host)
{
    return host.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

QString HttpTransport::address(const QString &host, int port)
{
    const QString scheme = isHttps(host) ? QStringLiteral("https://") : QString();
    return QStringLiteral("%1%2:%3").arg(scheme, hostName(host)).arg(port);
}

HttpTransport::HttpTransport(const Target &target)
    : m_http(schemeHostPort(target))
{
    const QString where = address(target.host, target.port);
    // A token set on the connection wins over the configured one.
    const QString configured = HostConfig::tokenFile();
    const QString token =
        target.token.isEmpty() && !configured.isEmpty() ? readTokenFile(configured, where) : target.token;
    if (!token.isEmpty())
        m_http.set_bearer_token_auth(token.toStdString());
    if (isHttps(target.host)) {
        const QString caFile = target.caFile.isEmpty() ? HostConfig::caFile() : target.caFile;
        if (!caFile.isEmpty()) {
            if (!QFileInfo(caFile).isReadable())
                throw RemoteCallError(RemoteCallError::Reason::Configuration, 0,
                                      QStringLiteral("Sem conexão com o servidor de aplicação em %1: o arquivo da "
                                                     "autoridade certificadora %2 (ca_file %3) não existe ou não "
                                                     "pode ser lido.")
                                          .arg(where, caFile, configurationHint()));
            m_http.set_ca_cert_path(caFile.toStdString());
        }
        m_http.enable_server_certificate_verification(true);
        requireSubjectAltName(m_http, bracketedHostName(target.host));
    }
    const auto timeout = std::chrono::milliseconds(target.timeoutMs);
    m_http.set_connection_timeout(timeout);
    m_http.set_read_timeout(timeout);
    m_http.set_write_timeout(timeout);
    m_http.set_keep_alive(true);
    // A request goes out as its head and then its body: without this the body
    // waits, under Nagle's rule, for the server's delayed acknowledgement of the
    // head (some 40 ms on every call).
    m_http.set_tcp_nodelay(true);
}

// Posts `body` and reads the answer as it arrives (AnswerStream): a data packet
// goes straight into its rows; any other answer is kept whole, up to a limit.
HttpTransport::Answer HttpTransport::post(const std::string &path, const std::string &body,
                                          const std::string &idempotencyKey, AnswerStream &stream)
{
    Answer a;
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
    auto result = m_http.send(request);
    a.error = result.error();
    if (result)
        a.status = result->status;
    if (a.tooLarge)
        a.error = httplib::Error::Success;
    return a;
}

HttpTransport::Answer HttpTransport::get(const std::string &path)
{
    Answer a;
    auto result = m_http.Get(path);
    a.error = result.error();
    if (result) {
        a.status = result->status;
        a.body = QByteArray::fromStdString(result->body);
    }
    return a;
}

HttpTransport::Answer HttpTransport::underDeadline(const std::function<Answer()> &request, int timeoutMs,
                                                   const std::function<qint64()> &received)
{
    Answer answer;
    QElapsedTimer timer;
    timer.start();
    const bool passed = runUnderDeadline(
        m_http, timeoutMs, [&] { answer = request(); }, received);
    answer.elapsedMs = timer.elapsed();
    answer.deadlinePassed = passed;
    if (answer.error == httplib::Error::SSLServerVerification)
        answer.certificateCheck = m_http.get_openssl_verify_result();
    return answer;
}

void HttpTransport::stop()
{
    m_http.stop();
}

bool HttpTransport::outcomeUnknown(const Answer &answer)
{
    using E = httplib::Error;
    if (answer.deadlinePassed || answer.error == E::Read || answer.error == E::Write || answer.error == E::Canceled)
        return true;
    return answer.error == E::Success && (answer.status == 502 || answer.status == 503 || answer.status == 504);
}

RemoteCallError HttpTransport::notDelivered(const Answer &answer, const QString &address, const QString &what,
                                            int timeoutMs)
{
    return transportError(address, what, answer.error, answer.elapsedMs, timeoutMs, answer.deadlinePassed,
                          answer.certificateCheck);
}
