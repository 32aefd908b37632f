#pragma once

#include <memory>

#include <QByteArray>
#include <QJsonObject>
#include <QString>

class DpsSigner;
struct NfseSettings;

// One company's HTTPS connection to the national service: the company's certificate
// as the client certificate (the service knows the provider by it), the service's
// certificate checked against the system's authorities or the configured ca_file,
// kept open between requests.
class NfseConnection
{
public:
    struct Reply
    {
        int status = 0;      // 0: no answer (network failure, time-out, TLS refused)
        QJsonObject body;    // the answer's JSON, empty when it was not JSON
        QString failure;     // why there was no answer
    };

    NfseConnection(const NfseSettings &settings, const DpsSigner &identity);
    ~NfseConnection();
    NfseConnection(const NfseConnection &) = delete;
    NfseConnection &operator=(const NfseConnection &) = delete;

    // `path` below the service's base address ("/nfse", "/dps/{id}").
    Reply post(const QString &path, const QJsonObject &body);
    Reply get(const QString &path);

private:
    struct Client;
    std::unique_ptr<Client> m_client;
    QString m_basePath;
};

namespace NfseCompression {

// The service's documents travel in the JSON gzip-compressed and base64-encoded.
QString pack(const QByteArray &xml);
// Empty when `text` is not base64 of a gzip stream.
QByteArray unpack(const QString &text);

} // namespace NfseCompression
