#include "server/nfse/NfseConnection.h"

#include <QJsonDocument>
#include <QUrl>

#include <httplib.h>
#include <zlib.h>

#include "platform/data/FasError.h"
#include "server/nfse/DpsSigner.h"
#include "server/nfse/NfseSettings.h"

struct NfseConnection::Client
{
    Client(const QUrl &url, const DpsSigner &identity)
        : http(url.host().toStdString(), url.port(443), identity.certificate(), identity.privateKey())
    {
    }
    httplib::SSLClient http;
};

namespace {

QString failureText(httplib::Error error)
{
    switch (error) {
    case httplib::Error::Connection:
        return QStringLiteral("o serviço nacional não aceitou a conexão");
    case httplib::Error::SSLConnection:
    case httplib::Error::SSLLoadingCerts:
        return QStringLiteral("a conexão segura falhou (confira o certificado da empresa)");
    case httplib::Error::SSLServerVerification:
        return QStringLiteral("o certificado do serviço nacional não foi reconhecido");
    case httplib::Error::Read:
        return QStringLiteral("a conexão caiu antes da resposta, ou o certificado da empresa foi recusado");
    case httplib::Error::Write:
        return QStringLiteral("a conexão caiu durante o envio");
    case httplib::Error::ConnectionTimeout:
        return QStringLiteral("o serviço nacional não respondeu no prazo");
    default:
        return QStringLiteral("falha de comunicação (%1)").arg(QString::fromStdString(httplib::to_string(error)));
    }
}

NfseConnection::Reply replyOf(const httplib::Result &result)
{
    NfseConnection::Reply reply;
    if (!result) {
        reply.failure = failureText(result.error());
        return reply;
    }
    reply.status = result->status;
    const QJsonDocument json = QJsonDocument::fromJson(QByteArray::fromStdString(result->body));
    reply.body = json.object();
    return reply;
}

} // namespace

NfseConnection::NfseConnection(const NfseSettings &settings, const DpsSigner &identity)
{
    const QUrl url(settings.endpoint);
    if (!url.isValid() || url.scheme() != QStringLiteral("https") || url.host().isEmpty())
        throw FasError(QStringLiteral("O endereço do serviço nacional (%1) não é um endereço https válido. Corrija "
                                      "endpoint na seção [nfse] da configuração.")
                           .arg(settings.endpoint));
    m_basePath = url.path();
    m_client = std::make_unique<Client>(url, identity);
    httplib::SSLClient &http = m_client->http;
    if (!settings.caFile.isEmpty())
        http.set_ca_cert_path(settings.caFile.toStdString());
    http.enable_server_certificate_verification(true);
    http.set_keep_alive(true);
    http.set_tcp_nodelay(true);
    http.set_connection_timeout(std::chrono::seconds(std::min(settings.timeoutSeconds, 10)));
    http.set_read_timeout(std::chrono::seconds(settings.timeoutSeconds));
    http.set_write_timeout(std::chrono::seconds(settings.timeoutSeconds));
}

NfseConnection::~NfseConnection() = default;

NfseConnection::Reply NfseConnection::post(const QString &path, const QJsonObject &body)
{
    const QByteArray json = QJsonDocument(body).toJson(QJsonDocument::Compact);
    return replyOf(m_client->http.Post((m_basePath + path).toStdString(), json.toStdString(), "application/json"));
}

NfseConnection::Reply NfseConnection::get(const QString &path)
{
    return replyOf(m_client->http.Get((m_basePath + path).toStdString(), {{"Accept", "application/json"}}));
}

namespace NfseCompression {

QString pack(const QByteArray &xml)
{
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY); // 16: gzip wrapper
    QByteArray out(static_cast<qsizetype>(deflateBound(&stream, static_cast<uLong>(xml.size())) + 32), Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(xml.constData()));
    stream.avail_in = static_cast<uInt>(xml.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.truncate(static_cast<qsizetype>(stream.total_out));
    deflateEnd(&stream);
    return QString::fromLatin1(out.toBase64());
}

QByteArray unpack(const QString &text)
{
    const auto decoded = QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.isEmpty())
        return {};
    z_stream stream{};
    inflateInit2(&stream, 15 + 32); // 32: gzip or zlib header, detected
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(decoded.decoded.constData()));
    stream.avail_in = static_cast<uInt>(decoded.decoded.size());
    QByteArray out;
    char chunk[16384];
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef *>(chunk);
        stream.avail_out = sizeof chunk;
        result = inflate(&stream, Z_NO_FLUSH);
        out.append(chunk, static_cast<qsizetype>(sizeof chunk - stream.avail_out));
    }
    inflateEnd(&stream);
    return result == Z_STREAM_END ? out : QByteArray();
}

} // namespace NfseCompression
