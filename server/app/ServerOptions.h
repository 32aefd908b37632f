#pragma once

#include <QByteArray>
#include <vector>

#include "server/base/IpAddress.h"
#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include "platform/sql/DatabaseConnection.h"
#include "server/http/HttpFront.h"

// What fas-appserver runs with: read from the INI configuration shared with the
// desktop host ([database] url and the PostgreSQL time-outs, [appserver] listen,
// token_file, threads, max_body_mb, body_memory_mb, trusted_proxies and the deadlines), then overridden by the command line. Throws
// FasError with a Portuguese message for anything it cannot use.
class ServerOptions
{
public:
    static constexpr int DefaultPort = 9600;

    QString databaseUrl;
    QString listenHost = QStringLiteral("127.0.0.1");
    int listenPort = DefaultPort; // 0: any free port, printed at start
    QString tokenFile;
    // The proxies whose X-Forwarded-For / X-Real-IP name the client ([appserver]
    // trusted_proxies, --trusted-proxies: a comma list of addresses). Empty: none.
    std::vector<IpAddress> trustedProxies;
    QByteArray token; // empty: no token required
    int threads = 8;
    qint64 maxBodyBytes = qint64(128) * 1024 * 1024;
    qint64 bodyMemoryBytes = 0; // bodies being received, together; 0: the HTTP front's default
    // PostgreSQL: a database that stops answering fails the call within about a
    // minute ([database] keepalives_idle_s, keepalives_interval_s, keepalives_count,
    // tcp_user_timeout_s), and no statement runs longer than statement_timeout_s.
    DatabaseConnection::PgSession pgSession{30, 10, 3, 60'000, 300'000};
    // SQLite: how long a statement waits, once, for another program's write lock
    // before it fails as busy ([database] sqlite_busy_timeout_s; "300ms" too).
    int sqliteBusyTimeoutMs = DatabaseConnection::SqliteBusyTimeoutMs;
    // How long the server waits for its clients ([appserver] header_deadline_s,
    // body_deadline_s, read_timeout_s, write_timeout_s, answer_wait_s, keep_alive_s;
    // --deadline NAME=SECONDS with the same names).
    HttpFront::Deadlines deadlines;
    // Where GeraNF declares the national notes' DPS ([nfse] environment: "producao"
    // or "homologacao"); without the setting, homologation.
    bool nfseProduction = false;
    bool nfseEnvironmentSet = false;
    bool helpRequested = false;
    bool versionRequested = false;
    QString helpText; // --help or --version: what to print instead of serving

    static ServerOptions parse(const QStringList &arguments,
                               const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());

    // "HOST:PORT" or "[IPv6]:PORT"; throws FasError.
    static void parseListen(const QString &text, QString &host, int &port);
};
