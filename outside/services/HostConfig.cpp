#include "outside/services/HostConfig.h"

#include "platform/data/ConfigFile.h"
#include "platform/sql/DatabaseError.h"
#include "platform/sql/DatabaseUrl.h"
#include "platform/data/PrivateFile.h"

namespace HostConfig {
namespace {

struct Values
{
    QString iniPath;
    QString databaseUrl;
    QString webUrl = QStringLiteral("127.0.0.1");
    int webPort = 9600;
    QString tokenFile;
    QString caFile;
};

Values &values()
{
    static Values instance = [] {
        Values v;
        if (qEnvironmentVariableIsSet("FAS_DATABASE"))
            v.databaseUrl = qEnvironmentVariable("FAS_DATABASE");
        if (qEnvironmentVariableIsSet("FAS_WEB_URL"))
            v.webUrl = qEnvironmentVariable("FAS_WEB_URL");
        if (qEnvironmentVariableIsSet("FAS_WEB_PORT"))
            v.webPort = qEnvironmentVariableIntValue("FAS_WEB_PORT");
        v.tokenFile = qEnvironmentVariable("FAS_TOKEN_FILE");
        v.caFile = qEnvironmentVariable("FAS_CA_FILE");
        return v;
    }();
    return instance;
}

// "127.0.0.1:9600" -> host and port; a bare host keeps the default port.
void splitAddress(const QString &address, QString &host, int &port)
{
    const qsizetype colon = address.lastIndexOf(QLatin1Char(':'));
    if (colon < 0) {
        host = address;
        return;
    }
    host = address.left(colon);
    bool ok = false;
    const int parsed = address.mid(colon + 1).toInt(&ok);
    if (ok)
        port = parsed;
}

// A configuration that holds a database password must be its owner's alone.
void requirePrivateIfPassword(const QString &iniPath, const QString &database)
{
    if (!database.startsWith(QLatin1String("postgres"), Qt::CaseInsensitive))
        return;
    try {
        if (DatabaseUrl::parse(database).password().isEmpty())
            return;
    } catch (const DatabaseError &) {
        return; // the connection reports a malformed address
    }
    PrivateFile::requireOwnerOnly(iniPath, QStringLiteral("O arquivo de configuração com a senha do banco de dados"));
}

} // namespace

void load(const QString &path)
{
    const ConfigFile ini(path);
    Values &v = values();
    v.iniPath = ini.filePath();
    const QString database = ini.databaseUrl();
    requirePrivateIfPassword(ini.filePath(), database);
    if (!qEnvironmentVariableIsSet("FAS_DATABASE") && !database.isEmpty())
        v.databaseUrl = database;
    QString host = v.webUrl;
    int port = v.webPort;
    if (ini.contains(QStringLiteral("client/web_url")))
        host = ini.text(QStringLiteral("client/web_url"));
    if (ini.contains(QStringLiteral("client/web_port")))
        port = ini.text(QStringLiteral("client/web_port")).toInt();
    if (!ini.contains(QStringLiteral("client/web_url")) && ini.contains(QStringLiteral("appserver/listen")))
        splitAddress(ini.text(QStringLiteral("appserver/listen")), host, port);
    if (!qEnvironmentVariableIsSet("FAS_WEB_URL"))
        v.webUrl = host;
    if (!qEnvironmentVariableIsSet("FAS_WEB_PORT"))
        v.webPort = port;
    // The server's own token file serves a host on the same machine that names none.
    QString token = ini.path(QStringLiteral("client/token_file"));
    if (token.isEmpty())
        token = ini.path(QStringLiteral("appserver/token_file"));
    if (!qEnvironmentVariableIsSet("FAS_TOKEN_FILE"))
        v.tokenFile = token;
    if (!qEnvironmentVariableIsSet("FAS_CA_FILE"))
        v.caFile = ini.path(QStringLiteral("client/ca_file"));
}

QString iniPath()
{
    return values().iniPath;
}
QString databaseUrl()
{
    return values().databaseUrl;
}
QString webUrl()
{
    return values().webUrl;
}
int webPort()
{
    return values().webPort;
}
QString tokenFile()
{
    return values().tokenFile;
}
QString caFile()
{
    return values().caFile;
}
void setDatabaseUrl(const QString &url)
{
    values().databaseUrl = url;
}
void setWebUrl(const QString &host)
{
    values().webUrl = host;
}
void setWebPort(int port)
{
    values().webPort = port;
}

} // namespace HostConfig
