#include "server/mail/MailSender.h"

#include <cstring>
#include <mutex>

#include <curl/curl.h>

#include "platform/data/FasError.h"
#include "server/base/ServerLog.h"
#include "server/mail/MailMessage.h"

namespace {

// Where in the SMTP dialogue the last command stands: a refusal's meaning depends
// on what was refused.
enum class Step { Greeting, Login, Sender, Recipient, Text };

} // namespace

struct MailSender::Outcome
{
    enum class Kind { Sent, Retry, Failed } kind = Kind::Retry;
    QString reason;
};

// One libcurl handle and the dialogue of one message over it. The handle keeps its
// connection to the server between messages.
class MailSender::Session
{
public:
    explicit Session(const MailSettings &settings);
    ~Session() { curl_easy_cleanup(m_curl); }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    Outcome send(const QString &from, const QStringList &recipients, const QByteArray &text);

private:
    static size_t readText(char *buffer, size_t size, size_t count, void *self);
    static int watch(CURL *, curl_infotype type, char *data, size_t size, void *self);
    Outcome judge(CURLcode code) const;

    const MailSettings &m_settings;
    CURL *m_curl = nullptr;
    char m_error[CURL_ERROR_SIZE] = {};
    QByteArray m_text;
    qsizetype m_sent = 0;
    Step m_step = Step::Greeting;
    QString m_recipient; // the recipient of the last RCPT command
    QString m_lastReply; // the server's last line
    bool m_closing = false;
};

namespace {

void startCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

QByteArray bracketed(const QString &address)
{
    return "<" + address.toUtf8() + ">";
}

QString urlOf(const MailSettings &settings)
{
    const QString scheme = settings.security == MailSettings::Security::Tls ? QStringLiteral("smtps")
                                                                            : QStringLiteral("smtp");
    return QStringLiteral("%1://%2:%3").arg(scheme, settings.host).arg(settings.port);
}

} // namespace

MailSender::Session::Session(const MailSettings &settings)
    : m_settings(settings)
{
    startCurl();
    m_curl = curl_easy_init();
    if (!m_curl)
        throw FasError(QStringLiteral("a biblioteca de e-mail (libcurl) não pôde ser iniciada"));
    curl_easy_setopt(m_curl, CURLOPT_URL, urlOf(settings).toUtf8().constData());
    curl_easy_setopt(m_curl, CURLOPT_USE_SSL,
                     long(settings.security == MailSettings::Security::None ? CURLUSESSL_NONE : CURLUSESSL_ALL));
    if (!settings.caFile.isEmpty())
        curl_easy_setopt(m_curl, CURLOPT_CAINFO, settings.caFile.toUtf8().constData());
    if (!settings.user.isEmpty()) {
        curl_easy_setopt(m_curl, CURLOPT_USERNAME, settings.user.toUtf8().constData());
        curl_easy_setopt(m_curl, CURLOPT_PASSWORD, settings.password.toUtf8().constData());
    }
    // A server that says nothing for timeout_seconds (at the connection, after a
    // command, after the text) ends the try; a large message on a slow but moving
    // link does not.
    const long timeout = settings.timeoutSeconds;
    curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT, timeout);
    curl_easy_setopt(m_curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeout);
    curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_TIME, timeout);
    curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_curl, CURLOPT_ERRORBUFFER, m_error);
    curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(m_curl, CURLOPT_READFUNCTION, &Session::readText);
    curl_easy_setopt(m_curl, CURLOPT_READDATA, this);
    curl_easy_setopt(m_curl, CURLOPT_DEBUGFUNCTION, &Session::watch);
    curl_easy_setopt(m_curl, CURLOPT_DEBUGDATA, this);
    curl_easy_setopt(m_curl, CURLOPT_VERBOSE, 1L); // the dialogue reaches watch(), not stderr
}

size_t MailSender::Session::readText(char *buffer, size_t size, size_t count, void *self)
{
    auto *session = static_cast<Session *>(self);
    const qsizetype left = session->m_text.size() - session->m_sent;
    const qsizetype chunk = std::min<qsizetype>(left, qsizetype(size * count));
    std::memcpy(buffer, session->m_text.constData() + session->m_sent, size_t(chunk));
    session->m_sent += chunk;
    return size_t(chunk);
}

int MailSender::Session::watch(CURL *, curl_infotype type, char *data, size_t size, void *self)
{
    auto *session = static_cast<Session *>(self);
    const QByteArray line = QByteArray(data, qsizetype(size)).trimmed();
    if (type == CURLINFO_HEADER_OUT && line.startsWith("QUIT"))
        session->m_closing = true; // the answer to QUIT says nothing of the message
    if (session->m_closing)
        return 0;
    if (type == CURLINFO_HEADER_IN && !line.isEmpty()) {
        session->m_lastReply = QString::fromUtf8(line.split('\n').last().trimmed());
    } else if (type == CURLINFO_HEADER_OUT) {
        if (line.startsWith("AUTH"))
            session->m_step = Step::Login;
        else if (line.startsWith("MAIL FROM"))
            session->m_step = Step::Sender;
        else if (line.startsWith("DATA"))
            session->m_step = Step::Text; // a refusal from here on is the message's
        else if (line.startsWith("RCPT TO")) {
            session->m_step = Step::Recipient;
            session->m_recipient = QString::fromUtf8(line.mid(8)).remove(u'<').remove(u'>');
        }
    }
    return 0;
}

MailSender::Outcome MailSender::Session::send(const QString &from, const QStringList &recipients,
                                              const QByteArray &text)
{
    m_text = text;
    m_sent = 0;
    m_step = Step::Greeting;
    m_lastReply.clear();
    m_closing = false;
    m_error[0] = '\0';
    curl_slist *to = nullptr;
    for (const QString &recipient : recipients)
        to = curl_slist_append(to, bracketed(recipient).constData());
    curl_easy_setopt(m_curl, CURLOPT_MAIL_FROM, bracketed(from).constData());
    curl_easy_setopt(m_curl, CURLOPT_MAIL_RCPT, to);
    const CURLcode code = curl_easy_perform(m_curl);
    curl_easy_setopt(m_curl, CURLOPT_MAIL_RCPT, nullptr);
    curl_slist_free_all(to);
    return judge(code);
}

MailSender::Outcome MailSender::Session::judge(CURLcode code) const
{
    using Kind = Outcome::Kind;
    if (code == CURLE_OK)
        return {Kind::Sent, {}};
    long reply = 0;
    curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &reply);
    const bool permanent = reply >= 500 && reply < 600;
    if (permanent && m_step == Step::Recipient)
        return {Kind::Failed,
                QStringLiteral("o servidor de e-mail recusou o destinatário %1: %2").arg(m_recipient, m_lastReply)};
    if (permanent && m_step == Step::Text)
        return {Kind::Failed, QStringLiteral("o servidor de e-mail recusou a mensagem: %1").arg(m_lastReply)};
    if (code == CURLE_OPERATION_TIMEDOUT)
        return {Kind::Retry, QStringLiteral("o servidor de e-mail %1:%2 não respondeu em %3 s")
                                 .arg(m_settings.host)
                                 .arg(m_settings.port)
                                 .arg(m_settings.timeoutSeconds)};
    if (code == CURLE_LOGIN_DENIED)
        return {Kind::Retry,
                QStringLiteral("o servidor de e-mail recusou o usuário ou a senha de [email] (%1)").arg(m_lastReply)};
    if (reply >= 400 && reply < 600)
        return {Kind::Retry, QStringLiteral("o servidor de e-mail respondeu: %1").arg(m_lastReply)};
    if (code == CURLE_COULDNT_CONNECT || code == CURLE_COULDNT_RESOLVE_HOST)
        return {Kind::Retry, QStringLiteral("o servidor de e-mail %1:%2 não aceitou a conexão (%3)")
                                 .arg(m_settings.host)
                                 .arg(m_settings.port)
                                 .arg(QString::fromUtf8(m_error))};
    const QString detail = m_error[0] ? QString::fromUtf8(m_error) : QString::fromUtf8(curl_easy_strerror(code));
    return {Kind::Retry, QStringLiteral("falha na conversa com o servidor de e-mail: %1").arg(detail)};
}

MailSender::MailSender(MailSettings settings, MailOutbox &outbox, Clock clock)
    : m_settings(std::move(settings))
    , m_outbox(outbox)
    , m_clock(std::move(clock))
{
}

MailSender::~MailSender() = default;

std::chrono::seconds MailSender::backoff(int attempts)
{
    const int doublings = std::clamp(attempts, 0, 6); // 2^6 minutes > 1 hour
    return std::min(std::chrono::seconds(60 << doublings), std::chrono::seconds(3600));
}

bool MailSender::sendNext()
{
    const std::optional<MailOutbox::Message> next = m_outbox.claimMessage(m_clock());
    if (!next)
        return false;
    send(*next);
    return true;
}

int MailSender::sendDue()
{
    int handled = 0;
    while (sendNext())
        ++handled;
    return handled;
}

void MailSender::send(const MailOutbox::Message &message)
{
    Outcome outcome;
    try {
        outcome = transmit(message);
    } catch (const FasError &error) {
        m_session.reset();
        outcome = {Outcome::Kind::Retry, error.message()};
    }
    switch (outcome.kind) {
    case Outcome::Kind::Sent:
        m_outbox.recordSent(message.key, m_clock());
        return;
    case Outcome::Kind::Failed:
        qCWarning(lcServer, "e-mail %lld refused: %s", message.key, qPrintable(outcome.reason));
        m_outbox.recordFailed(message.key, outcome.reason);
        return;
    case Outcome::Kind::Retry:
        qCWarning(lcServer, "e-mail %lld not sent: %s", message.key, qPrintable(outcome.reason));
        m_outbox.recordRetry(message.key, outcome.reason, m_clock().addSecs(backoff(message.attempts).count()));
        return;
    }
}

MailSender::Outcome MailSender::transmit(const MailOutbox::Message &message)
{
    if (message.recipients.isEmpty())
        return {Outcome::Kind::Failed,
                QStringLiteral("o cliente não tem endereço de e-mail; cadastre-o e reenvie a mensagem")};
    for (const QString &recipient : message.recipients)
        if (!MailSettings::isAddress(recipient))
            return {
                Outcome::Kind::Failed,
                QStringLiteral("\"%1\" não é um endereço de e-mail; corrija o cadastro do cliente e reenvie a mensagem")
                    .arg(recipient)};
    const QByteArray text = MailMessage::build(message, {m_settings.senderAddress, m_settings.senderName}, m_clock());
    if (!m_session)
        m_session = std::make_unique<Session>(m_settings);
    const Outcome outcome = m_session->send(m_settings.senderAddress, message.recipients, text);
    // After a failure the connection's state is unknown: the next message starts a
    // new one.
    if (outcome.kind != Outcome::Kind::Sent)
        m_session.reset();
    return outcome;
}
