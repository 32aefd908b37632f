#include "server/app/ServerOptions.h"

#include <QCommandLineParser>
#include <QFile>

#include <sys/stat.h>

#include "platform/data/CommandLineText.h"
#include "platform/data/ConfigFile.h"
#include "platform/sql/DatabaseError.h"
#include "platform/sql/DatabaseSettings.h"
#include "platform/data/FasError.h"
#include "platform/data/PrivateFile.h"
#include "fas/Version.h"

namespace {

int parseInt(const QString &text, int low, int high, const QString &what)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < low || value > high)
        throw FasError(QStringLiteral("%1 deve ser um número de %2 a %3 (recebido \"%4\").")
                           .arg(what)
                           .arg(low)
                           .arg(high)
                           .arg(text));
    return value;
}

// The waits for clients, by their names in [appserver] and in --deadline.
const struct DeadlineSetting
{
    const char *key;
    HttpFront::Deadlines::Ms HttpFront::Deadlines::*value;
} DeadlineSettings[] = {
    {"header_deadline_s", &HttpFront::Deadlines::header},
    {"body_deadline_s", &HttpFront::Deadlines::body},
    {"read_timeout_s", &HttpFront::Deadlines::read},
    {"write_timeout_s", &HttpFront::Deadlines::write},
    {"answer_wait_s", &HttpFront::Deadlines::answer},
    {"keep_alive_s", &HttpFront::Deadlines::keepAlive},
};

// Whole seconds ("60"), or milliseconds with their unit ("500ms").
HttpFront::Deadlines::Ms parseDuration(const QString &text, const QString &what)
{
    const QString value = text.trimmed();
    if (value.endsWith(QLatin1String("ms"), Qt::CaseInsensitive))
        return HttpFront::Deadlines::Ms(parseInt(value.chopped(2), 1, 86'400'000, what + QStringLiteral(" em ms")));
    return std::chrono::seconds(parseInt(value, 1, 86400, what));
}

void setDeadline(HttpFront::Deadlines &deadlines, const QString &key, const QString &seconds, const QString &what)
{
    for (const DeadlineSetting &setting : DeadlineSettings)
        if (key == QLatin1String(setting.key)) {
            deadlines.*setting.value = parseDuration(seconds, what);
            return;
        }
    QStringList names;
    for (const DeadlineSetting &setting : DeadlineSettings)
        names << QLatin1String(setting.key);
    throw FasError(QStringLiteral("%1: prazo desconhecido \"%2\"; use um de %3.").arg(what, key, names.join(u", ")));
}

void readDeadlines(const ConfigFile &ini, HttpFront::Deadlines &deadlines)
{
    for (const DeadlineSetting &setting : DeadlineSettings) {
        const QString key = QLatin1String(setting.key);
        const QString text = ini.text(QStringLiteral("appserver/") + key);
        if (!text.isEmpty())
            setDeadline(deadlines, key, text, QStringLiteral("[appserver] ") + key);
    }
}

// --deadline NAME=SECONDS, as often as wanted.
void applyDeadlineOptions(const QStringList &values, HttpFront::Deadlines &deadlines)
{
    for (const QString &value : values) {
        const qsizetype equals = value.indexOf(u'=');
        if (equals <= 0)
            throw FasError(QStringLiteral("--deadline \"%1\": escreva NOME=SEGUNDOS, por exemplo "
                                          "body_deadline_s=60.")
                               .arg(value));
        setDeadline(deadlines, value.left(equals), value.mid(equals + 1), QStringLiteral("--deadline"));
    }
}

// The [database] section's keep-alive and time-outs; a key left out keeps its default.
void readPgSession(const ConfigFile &ini, DatabaseConnection::PgSession &session)
{
    const struct
    {
        const char *key;
        int *value;
        int scale; // the INI says seconds, the session holds its own unit
        int most;
    } settings[] = {
        {"keepalives_idle_s", &session.keepalivesIdleS, 1, 3600},
        {"keepalives_interval_s", &session.keepalivesIntervalS, 1, 3600},
        {"keepalives_count", &session.keepalivesCount, 1, 100},
        {"tcp_user_timeout_s", &session.tcpUserTimeoutMs, 1000, 3600},
        {"statement_timeout_s", &session.statementTimeoutMs, 1000, 86400},
    };
    for (const auto &setting : settings) {
        const QString name = QLatin1String("database/") + QLatin1String(setting.key);
        const QString text = ini.text(name);
        if (!text.isEmpty())
            *setting.value = parseInt(text, 0, setting.most,
                                      QStringLiteral("[database] %1").arg(QLatin1String(setting.key)))
                             * setting.scale;
    }
}

std::vector<IpAddress> parseProxies(const QString &text, const QString &what)
{
    std::vector<IpAddress> proxies;
    for (const QString &item : text.split(u',', Qt::SkipEmptyParts)) {
        const auto address = IpAddress::parse(item.toStdString());
        if (!address)
            throw FasError(QStringLiteral("%1: \"%2\" não é um endereço IP. Liste os endereços dos proxies "
                                          "separados por vírgula, por exemplo 127.0.0.1,::1.")
                               .arg(what, item.trimmed()));
        proxies.push_back(*address);
    }
    return proxies;
}

// A token file is read whole at the start: anything but a regular file (a FIFO, a
// device) could keep the start waiting for ever.
void requireRegularFile(const QString &path)
{
    struct stat info
    { };
    if (::stat(QFile::encodeName(path).constData(), &info) == 0 && !S_ISREG(info.st_mode))
        throw FasError(QStringLiteral("O arquivo de token %1 não é um arquivo comum (é um pipe, dispositivo ou "
                                      "diretório). Indique um arquivo com o token, de modo 600.")
                           .arg(path));
}

} // namespace

void ServerOptions::parseListen(const QString &text, QString &host, int &port)
{
    const QString value = text.trimmed();
    const qsizetype colon = value.lastIndexOf(u':');
    if (colon <= 0)
        throw FasError(QStringLiteral("Endereço de escuta inválido \"%1\": use HOST:PORTA, por exemplo "
                                      "127.0.0.1:9600.")
                           .arg(text));
    QString h = value.left(colon);
    if (h.startsWith(u'[') && h.endsWith(u']'))
        h = h.mid(1, h.size() - 2);
    else if (h.contains(u':'))
        throw FasError(QStringLiteral("Endereço de escuta inválido \"%1\": escreva um endereço IPv6 entre "
                                      "colchetes, por exemplo [::1]:9600.")
                           .arg(text));
    if (h.isEmpty())
        throw FasError(QStringLiteral("Endereço de escuta inválido \"%1\": falta o host.").arg(text));
    port = parseInt(value.mid(colon + 1), 0, 65535, QStringLiteral("A porta de escuta"));
    host = h;
}

namespace {

// The program's options, as --help lists them.
struct CommandLine
{
    CommandLine();

    QCommandLineParser parser;
    const QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Mostra esta ajuda.")};
    const QCommandLineOption config{
        QStringLiteral("config"),
        QStringLiteral("Arquivo INI de configuração (padrão: variável FAS_CONFIG, se houver)."),
        QStringLiteral("arquivo")};
    const QCommandLineOption database{QStringLiteral("database"),
                                      QStringLiteral("Arquivo SQLite ou endereço postgresql://."),
                                      QStringLiteral("url")};
    const QCommandLineOption listen{
        QStringLiteral("listen"),
        QStringLiteral("Endereço de escuta HOST:PORTA (padrão 127.0.0.1:9600; porta 0 = qualquer livre)."),
        QStringLiteral("host:porta")};
    const QCommandLineOption token{QStringLiteral("token-file"),
                                   QStringLiteral("Arquivo com o token exigido no cabeçalho "
                                                  "Authorization: Bearer."),
                                   QStringLiteral("arquivo")};
    const QCommandLineOption threads{QStringLiteral("threads"),
                                     QStringLiteral("Número de threads de atendimento (padrão 8)."),
                                     QStringLiteral("n")};
    const QCommandLineOption body{QStringLiteral("max-body-mb"),
                                  QStringLiteral("Tamanho máximo do corpo de uma requisição, em MB "
                                                 "(padrão 128)."),
                                  QStringLiteral("mb")};
    const QCommandLineOption bodyMemory{
        QStringLiteral("body-memory-mb"),
        QStringLiteral("Memória, em MB, para os corpos de requisição sendo recebidos, somados (padrão 256, ou o "
                       "dobro de --max-body-mb se for maior)."),
        QStringLiteral("mb")};
    const QCommandLineOption proxies{
        QStringLiteral("trusted-proxies"),
        QStringLiteral("Endereços (separados por vírgula) dos proxies cujo X-Forwarded-For ou X-Real-IP indica o "
                       "cliente, por exemplo 127.0.0.1 com o nginx na mesma máquina (padrão: nenhum)."),
        QStringLiteral("enderecos")};
    const QCommandLineOption deadline{
        QStringLiteral("deadline"),
        QStringLiteral("Prazo de espera por um cliente, em segundos, ou em milissegundos com ms (500ms) (pode "
                       "repetir): header_deadline_s (padrão 10), body_deadline_s (60), read_timeout_s (30), "
                       "write_timeout_s (120), answer_wait_s (30), keep_alive_s (5)."),
        QStringLiteral("nome=segundos")};
    const QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Mostra a versão.")};
};

CommandLine::CommandLine()
{
    parser.setApplicationDescription(
        QStringLiteral("Servidor de aplicação do faturamento (FAS09600.rdmFaturamento): JSON-RPC 2.0 sobre HTTP.\n"
                       "As opções prevalecem sobre o arquivo de configuração."));
    parser.addOptions(
        {help, version, config, database, listen, token, threads, body, bodyMemory, proxies, deadline});
}

// The [database] and [appserver] settings of the INI file; returns its token file.
// [nfse] environment: the national system's production or homologation (tests).
void readNfseEnvironment(const ConfigFile &ini, ServerOptions &options)
{
    const QString value = ini.text(QStringLiteral("nfse/environment")).trimmed().toLower();
    if (value.isEmpty())
        return;
    options.nfseEnvironmentSet = true;
    if (value == u"producao" || value == u"produção" || value == u"production")
        options.nfseProduction = true;
    else if (value != u"homologacao" && value != u"homologação" && value != u"homologation")
        throw FasError(QStringLiteral("[nfse] environment = \"%1\" não é um ambiente da NFS-e: use \"producao\" ou "
                                      "\"homologacao\".")
                           .arg(value));
}

QString readConfig(const QString &configPath, ServerOptions &options)
{
    const ConfigFile ini(configPath);
    options.databaseUrl = ini.databaseUrl();
    readPgSession(ini, options.pgSession);
    const QString busy = ini.text(QStringLiteral("database/sqlite_busy_timeout_s"));
    if (!busy.isEmpty())
        options.sqliteBusyTimeoutMs = int(
            parseDuration(busy, QStringLiteral("[database] sqlite_busy_timeout_s")).count());
    readDeadlines(ini, options.deadlines);
    readNfseEnvironment(ini, options);
    const QString listen = ini.text(QStringLiteral("appserver/listen"));
    if (!listen.isEmpty())
        ServerOptions::parseListen(listen, options.listenHost, options.listenPort);
    const QString threads = ini.text(QStringLiteral("appserver/threads"));
    if (!threads.isEmpty())
        options.threads = parseInt(threads, 1, 256, QStringLiteral("[appserver] threads"));
    const QString body = ini.text(QStringLiteral("appserver/max_body_mb"));
    if (!body.isEmpty())
        options.maxBodyBytes = qint64(parseInt(body, 1, 4096, QStringLiteral("[appserver] max_body_mb"))) << 20;
    options.trustedProxies = parseProxies(ini.text(QStringLiteral("appserver/trusted_proxies")),
                                          QStringLiteral("[appserver] trusted_proxies"));
    const QString bodyMemory = ini.text(QStringLiteral("appserver/body_memory_mb"));
    if (!bodyMemory.isEmpty())
        options.bodyMemoryBytes =
            qint64(parseInt(bodyMemory, 1, 65536, QStringLiteral("[appserver] body_memory_mb"))) << 20;
    return ini.path(QStringLiteral("appserver/token_file"));
}

// The command line's options, over the configuration's.
void applyCommandLine(const CommandLine &line, ServerOptions &options)
{
    const QCommandLineParser &parser = line.parser;
    if (parser.isSet(line.database))
        options.databaseUrl = parser.value(line.database);
    if (parser.isSet(line.listen))
        ServerOptions::parseListen(parser.value(line.listen), options.listenHost, options.listenPort);
    if (parser.isSet(line.token))
        options.tokenFile = parser.value(line.token);
    if (parser.isSet(line.threads))
        options.threads = parseInt(parser.value(line.threads), 1, 256, QStringLiteral("--threads"));
    if (parser.isSet(line.body))
        options.maxBodyBytes = qint64(parseInt(parser.value(line.body), 1, 4096, QStringLiteral("--max-body-mb")))
                               << 20;
    if (parser.isSet(line.bodyMemory))
        options.bodyMemoryBytes =
            qint64(parseInt(parser.value(line.bodyMemory), 1, 65536, QStringLiteral("--body-memory-mb"))) << 20;
    applyDeadlineOptions(parser.values(line.deadline), options.deadlines);
    if (parser.isSet(line.proxies))
        options.trustedProxies = parseProxies(parser.value(line.proxies), QStringLiteral("--trusted-proxies"));
}

// What the options together must make sense of.
void checkTogether(const ServerOptions &options)
{
    if (options.bodyMemoryBytes > 0 && options.bodyMemoryBytes < options.maxBodyBytes)
        throw FasError(QStringLiteral("A memória para corpos de requisição (%1 MB) é menor que o corpo máximo (%2 "
                                      "MB): um corpo permitido nunca caberia. Aumente body_memory_mb ou diminua "
                                      "max_body_mb.")
                           .arg(options.bodyMemoryBytes >> 20)
                           .arg(options.maxBodyBytes >> 20));
    DatabaseSettings::requireUrl(options.databaseUrl);
}

// The token of the token file, one line of visible ASCII.
QByteArray readToken(const QString &tokenFile)
{
    requireRegularFile(tokenFile);
    PrivateFile::requireOwnerOnly(tokenFile, QStringLiteral("O arquivo de token"));
    QFile file(tokenFile);
    if (!file.open(QIODevice::ReadOnly))
        throw FasError(
            QStringLiteral("O arquivo de token %1 não pôde ser lido: %2").arg(tokenFile, file.errorString()));
    const QByteArray token = file.readAll().trimmed();
    if (token.isEmpty())
        throw FasError(QStringLiteral("O arquivo de token %1 está vazio.").arg(tokenFile));
    for (char c : token)
        if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7f)
            throw FasError(QStringLiteral("O token de %1 deve ser uma única linha de caracteres ASCII "
                                          "visíveis.")
                               .arg(tokenFile));
    return token;
}

} // namespace

ServerOptions ServerOptions::parse(const QStringList &arguments, const QProcessEnvironment &environment)
{
    CommandLine line;
    QCommandLineParser &parser = line.parser;
    ServerOptions options;
    if (!parser.parse(arguments))
        throw FasError(CommandLineText::error(parser, QStringLiteral("fas-appserver")));
    if (!parser.positionalArguments().isEmpty())
        throw FasError(QStringLiteral("Argumento inesperado: %1").arg(parser.positionalArguments().constFirst()));
    if (parser.isSet(line.help)) {
        options.helpRequested = true;
        options.helpText = CommandLineText::help(parser, QStringLiteral("fas-appserver"));
        return options;
    }
    if (parser.isSet(line.version)) {
        options.versionRequested = true;
        options.helpText = QStringLiteral("fas-appserver " FAS_VERSION "\n");
        return options;
    }

    const QString configPath = DatabaseSettings::configPath(parser.value(line.config), environment);
    if (!configPath.isEmpty())
        options.tokenFile = readConfig(configPath, options);
    applyCommandLine(line, options);
    checkTogether(options);
    if (!options.tokenFile.isEmpty())
        options.token = readToken(options.tokenFile);
    return options;
}
