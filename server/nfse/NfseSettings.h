#pragma once

#include <optional>

#include <QHash>
#include <QString>

class QSettings;

// The [nfse] section of the configuration file: where the notes are sent and with
// which certificate each company signs and connects.
//
//   [nfse]
//   environment = homologacao          ; or producao
//   endpoint = https://...             ; optional: replaces the environment's address
//   ca_file = /path/ca.pem             ; optional: the authorities trusted for the service
//   timeout_seconds = 30               ; optional: how long an answer may take
//   certificate_0001 = /path/empresa.p12
//   password_file_0001 = /path/empresa.senha
struct NfseSettings
{
    enum class Environment { Homologation, Production };

    struct Company
    {
        QString certificate;
        QString passwordFile;
    };

    Environment environment = Environment::Homologation;
    QString endpoint; // the service's base address, without the trailing slash
    QString caFile;
    int timeoutSeconds = 30;
    QHash<QString, Company> companies; // by CDEMPRESA

    // The national service's published base addresses.
    static QString productionEndpoint();
    static QString homologationEndpoint();

    // None when the file has no [nfse] section (nothing is sent). Throws FasError
    // naming the key that is wrong.
    static std::optional<NfseSettings> fromFile(const QString &path);
    static std::optional<NfseSettings> fromSettings(QSettings &settings);
};
