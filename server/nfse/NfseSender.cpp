#include "server/nfse/NfseSender.h"

#include <QJsonArray>

#include "platform/data/FasError.h"
#include "server/base/ServerLog.h"
#include "server/nfse/DpsSigner.h"
#include "server/nfse/NfseConnection.h"

struct NfseSender::Company
{
    std::unique_ptr<DpsSigner> signer;
    std::unique_ptr<NfseConnection> connection;
};

namespace {

// The service's code for a DPS whose Id already produced a note.
const QString duplicateDps = QStringLiteral("E0014");

// Reads a JSON member whatever the case of its first letter: the service writes
// "Codigo" in some answers and "codigo" in others.
QJsonValue member(const QJsonObject &object, const QString &name)
{
    const QJsonValue value = object.value(name);
    if (!value.isUndefined())
        return value;
    QString other = name;
    other[0] = other[0].isUpper() ? other[0].toLower() : other[0].toUpper();
    return object.value(other);
}

// The errors of an answer ("erros": [...] or "erro": {...}).
QList<NfseOutbox::Rejection> rejectionsOf(const QJsonObject &body)
{
    QJsonArray list = member(body, QStringLiteral("erros")).toArray();
    const QJsonValue single = member(body, QStringLiteral("erro"));
    if (single.isObject())
        list.append(single);
    QList<NfseOutbox::Rejection> reasons;
    for (const QJsonValue &item : list) {
        const QJsonObject error = item.toObject();
        QString message = member(error, QStringLiteral("descricao")).toString();
        const QString complement = member(error, QStringLiteral("complemento")).toString();
        if (!complement.isEmpty())
            message += QStringLiteral(" (%1)").arg(complement);
        reasons.append({member(error, QStringLiteral("codigo")).toString(), message});
    }
    return reasons;
}

bool hasCode(const QList<NfseOutbox::Rejection> &reasons, const QString &code)
{
    return std::any_of(reasons.cbegin(), reasons.cend(), [&](const auto &r) { return r.code == code; });
}

// Why an answer that is neither the note nor a rejection is tried again.
QString retryReason(const NfseConnection::Reply &reply)
{
    if (reply.status == 0)
        return reply.failure;
    return QStringLiteral("o serviço nacional respondeu HTTP %1 sem o resultado").arg(reply.status);
}

bool isAnswer(const NfseConnection::Reply &reply)
{
    return reply.status >= 200 && reply.status < 500;
}

} // namespace

NfseSender::NfseSender(NfseSettings settings, NfseOutbox &outbox, Clock clock)
    : m_settings(std::move(settings)), m_outbox(outbox), m_clock(std::move(clock))
{
}

NfseSender::~NfseSender() = default;

std::chrono::seconds NfseSender::backoff(int attempts)
{
    const int doublings = std::clamp(attempts, 0, 6); // 2^6 minutes > 1 hour
    return std::min(std::chrono::seconds(60 << doublings), std::chrono::seconds(3600));
}

NfseSender::Company &NfseSender::company(const QString &code)
{
    auto found = m_companies.find(code);
    if (found != m_companies.end())
        return *found->second;
    const auto configured = m_settings.companies.constFind(code);
    if (configured == m_settings.companies.cend())
        throw FasError(QStringLiteral("a empresa %1 não tem certificado na seção [nfse] da configuração "
                                      "(certificate_%1 e password_file_%1)")
                           .arg(code));
    auto made = std::make_unique<Company>();
    made->signer = std::make_unique<DpsSigner>(configured->certificate, configured->passwordFile);
    made->connection = std::make_unique<NfseConnection>(m_settings, *made->signer);
    return *m_companies.emplace(code, std::move(made)).first->second;
}

bool NfseSender::sendNextDeclaration()
{
    const std::optional<NfseOutbox::Declaration> next = m_outbox.claimDeclaration(m_clock());
    if (!next)
        return false;
    try {
        send(*next);
    } catch (const FasError &error) {
        m_outbox.recordRetry(next->key, error.message(), m_clock().addSecs(backoff(next->attempts).count()));
    }
    return true;
}

void NfseSender::send(const NfseOutbox::Declaration &declaration)
{
    Company &sender = company(declaration.company);
    const QByteArray signedXml = sender.signer->sign(declaration.unsignedXml);
    const NfseConnection::Reply reply = sender.connection->post(
        QStringLiteral("/nfse"), {{QStringLiteral("dpsXmlGZipB64"), NfseCompression::pack(signedXml)}});
    const QString accessKey = member(reply.body, QStringLiteral("chaveAcesso")).toString();
    const QByteArray nfse = NfseCompression::unpack(member(reply.body, QStringLiteral("nfseXmlGZipB64")).toString());
    const QList<NfseOutbox::Rejection> reasons = rejectionsOf(reply.body);
    if (isAnswer(reply) && !accessKey.isEmpty() && !nfse.isEmpty()) {
        m_outbox.recordAuthorized(declaration.key, accessKey, nfse, m_clock());
    } else if (isAnswer(reply) && hasCode(reasons, duplicateDps)) {
        if (!recoverDuplicate(sender, declaration))
            m_outbox.recordRetry(declaration.key,
                                 QStringLiteral("a DPS já gerou uma nota, que não pôde ser consultada ainda"),
                                 m_clock().addSecs(backoff(declaration.attempts).count()));
    } else if (isAnswer(reply) && !reasons.isEmpty()) {
        m_outbox.recordRejected(declaration.key, reasons);
    } else {
        qCWarning(lcServer, "NFS-e: DPS %s not sent: %s", qPrintable(declaration.dpsId),
                  qPrintable(retryReason(reply)));
        m_outbox.recordRetry(declaration.key, retryReason(reply),
                             m_clock().addSecs(backoff(declaration.attempts).count()));
    }
}

// The DPS was received on an earlier try whose answer was lost (or whose outcome was
// not kept: the server stopped in between). The Id names the company, series and a
// number never reused, so the note made under it is this declaration's: it is
// looked up by the Id and kept.
bool NfseSender::recoverDuplicate(Company &sender, const NfseOutbox::Declaration &declaration)
{
    const NfseConnection::Reply byId = sender.connection->get(QStringLiteral("/dps/") + declaration.dpsId);
    const QString accessKey = member(byId.body, QStringLiteral("chaveAcesso")).toString();
    if (byId.status != 200 || accessKey.isEmpty())
        return false;
    const NfseConnection::Reply note = sender.connection->get(QStringLiteral("/nfse/") + accessKey);
    const QByteArray nfse = NfseCompression::unpack(member(note.body, QStringLiteral("nfseXmlGZipB64")).toString());
    if (note.status != 200 || nfse.isEmpty())
        return false;
    m_outbox.recordAuthorized(declaration.key, accessKey, nfse, m_clock());
    return true;
}

bool NfseSender::sendNextCancellation()
{
    const std::optional<NfseOutbox::Cancellation> next = m_outbox.claimCancellation(m_clock());
    if (!next)
        return false;
    try {
        cancel(*next);
    } catch (const FasError &error) {
        m_outbox.recordCancellationRetry(next->key, error.message(),
                                         m_clock().addSecs(backoff(next->attempts).count()));
    }
    return true;
}

void NfseSender::cancel(const NfseOutbox::Cancellation &cancellation)
{
    Company &sender = company(cancellation.company);
    const QByteArray signedXml = sender.signer->sign(cancellation.unsignedXml);
    const NfseConnection::Reply reply = sender.connection->post(
        QStringLiteral("/nfse/%1/eventos").arg(cancellation.accessKey),
        {{QStringLiteral("pedidoRegistroEventoXmlGZipB64"), NfseCompression::pack(signedXml)}});
    const QByteArray event = NfseCompression::unpack(member(reply.body, QStringLiteral("eventoXmlGZipB64")).toString());
    const QList<NfseOutbox::Rejection> reasons = rejectionsOf(reply.body);
    if (isAnswer(reply) && !event.isEmpty())
        m_outbox.recordCancelled(cancellation.key, event, m_clock());
    else if (isAnswer(reply) && !reasons.isEmpty())
        m_outbox.recordCancellationRefused(cancellation.key, reasons);
    else
        m_outbox.recordCancellationRetry(cancellation.key, retryReason(reply),
                                         m_clock().addSecs(backoff(cancellation.attempts).count()));
}

int NfseSender::sendDue()
{
    int handled = 0;
    while (sendNextCancellation())
        ++handled;
    while (sendNextDeclaration())
        ++handled;
    return handled;
}
