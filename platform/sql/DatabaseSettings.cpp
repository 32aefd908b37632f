#include "platform/sql/DatabaseSettings.h"

#include "platform/data/ConfigFile.h"
#include "platform/data/FasError.h"
#include "platform/sql/DatabaseUrl.h"

namespace DatabaseSettings {

QString configPath(const QString &configOption, const QProcessEnvironment &environment)
{
    return configOption.isEmpty() ? environment.value(QStringLiteral("FAS_CONFIG")) : configOption;
}

void requireUrl(const QString &url)
{
    if (url.trimmed().isEmpty())
        throw FasError(QStringLiteral("Banco de dados não informado: use --database ou [database] url na "
                                      "configuração."));
    DatabaseUrl::parse(url); // reports a malformed address now
}

QString read(const QString &configPath, const std::optional<QString> &databaseOption)
{
    QString url;
    if (!configPath.isEmpty())
        url = ConfigFile(configPath).databaseUrl();
    if (databaseOption)
        url = *databaseOption;
    requireUrl(url);
    return url;
}

} // namespace DatabaseSettings
