#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>

// The national NFS-e service's stand-in (tests/support/nfse_standin.py) run for a
// test: HTTPS on a free port of 127.0.0.1 with its own server certificate, trusting
// `clientCaPem` for the client certificates, checking every document against the
// schemas and its signature. `script` says what it answers (see the script's text).
class NfseStandIn
{
public:
    NfseStandIn(const QString &dir, const QString &clientCaPem, const QJsonObject &script, bool verify = true);
    ~NfseStandIn();
    NfseStandIn(const NfseStandIn &) = delete;
    NfseStandIn &operator=(const NfseStandIn &) = delete;

    bool isRunning() const { return m_port > 0; }
    // "https://127.0.0.1:<port>/SefinNacional"
    QString endpoint() const;
    // The PEM of the stand-in's server certificate: the client's ca_file.
    QString caFile() const { return m_serverPem; }
    // Every request it received, in order, one object each.
    QJsonArray requests() const;

private:
    QProcess m_process;
    QString m_serverPem;
    QString m_log;
    int m_port = 0;
};
