#include "server/nfse/NfseSettings.h"

#include <QSettings>

#include "platform/data/FasError.h"

namespace {

const QString certificatePrefix = QStringLiteral("certificate_");
const QString passwordPrefix = QStringLiteral("password_file_");

[[noreturn]] void refuse(const QString &what)
{
    throw FasError(QStringLiteral("Seção [nfse] da configuração: %1. Corrija o arquivo e reinicie o servidor.")
                       .arg(what));
}

NfseSettings::Environment environmentOf(const QString &text)
{
    if (text == QStringLiteral("homologacao"))
        return NfseSettings::Environment::Homologation;
    if (text == QStringLiteral("producao"))
        return NfseSettings::Environment::Production;
    refuse(QStringLiteral("environment = \"%1\" não é um ambiente; use homologacao ou producao").arg(text));
}

void readCompanies(QSettings &settings, NfseSettings &read)
{
    for (const QString &name : settings.childKeys()) {
        if (name.startsWith(certificatePrefix))
            read.companies[name.mid(certificatePrefix.size())].certificate = settings.value(name).toString();
        else if (name.startsWith(passwordPrefix))
            read.companies[name.mid(passwordPrefix.size())].passwordFile = settings.value(name).toString();
    }
    for (auto it = read.companies.cbegin(); it != read.companies.cend(); ++it) {
        if (it->certificate.isEmpty())
            refuse(QStringLiteral("a empresa %1 tem password_file_%1 mas não certificate_%1").arg(it.key()));
        if (it->passwordFile.isEmpty())
            refuse(QStringLiteral("a empresa %1 tem certificate_%1 mas não password_file_%1").arg(it.key()));
    }
}

} // namespace

QString NfseSettings::productionEndpoint()
{
    return QStringLiteral("https://sefin.nfse.gov.br/SefinNacional");
}

QString NfseSettings::homologationEndpoint()
{
    return QStringLiteral("https://sefin.producaorestrita.nfse.gov.br/SefinNacional");
}

std::optional<NfseSettings> NfseSettings::fromFile(const QString &path)
{
    QSettings settings(path, QSettings::IniFormat);
    return fromSettings(settings);
}

std::optional<NfseSettings> NfseSettings::fromSettings(QSettings &settings)
{
    if (!settings.childGroups().contains(QStringLiteral("nfse")))
        return std::nullopt;
    settings.beginGroup(QStringLiteral("nfse"));
    NfseSettings read;
    read.environment = environmentOf(settings.value(QStringLiteral("environment"), QStringLiteral("homologacao")).toString());
    read.endpoint = settings.value(QStringLiteral("endpoint")).toString();
    if (read.endpoint.isEmpty())
        read.endpoint = read.environment == Environment::Production ? productionEndpoint() : homologationEndpoint();
    while (read.endpoint.endsWith(u'/'))
        read.endpoint.chop(1);
    if (!read.endpoint.startsWith(QStringLiteral("https://")))
        refuse(QStringLiteral("endpoint = \"%1\" deve começar por https://").arg(read.endpoint));
    read.caFile = settings.value(QStringLiteral("ca_file")).toString();
    bool ok = true;
    read.timeoutSeconds = settings.value(QStringLiteral("timeout_seconds"), 30).toInt(&ok);
    if (!ok || read.timeoutSeconds < 1 || read.timeoutSeconds > 600)
        refuse(QStringLiteral("timeout_seconds deve ser um número de 1 a 600"));
    readCompanies(settings, read);
    settings.endGroup();
    return read;
}
