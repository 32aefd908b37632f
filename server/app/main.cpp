// fas-appserver: the application server of the billing preview.

#include <csignal>
#include <optional>
#include <cstdio>
#include <thread>

#include <malloc.h>
#include <pthread.h>

#include <QCoreApplication>

#include "platform/sql/DatabaseConnection.h"
#include "platform/sql/DatabaseError.h"
#include "db/SchemaGate.h"
#include "fas/Version.h"
#include "server/app/AccessControl.h"
#include "server/app/ListenPolicy.h"
#include "server/app/ServerOptions.h"
#include "server/app/SystemdNotify.h"
#include "server/base/ServerLog.h"
#include "server/billing/BillingService.h"
#include "server/nfse/DpsData.h"
#include "server/billing/UserDirectory.h"
#include "server/http/HttpFront.h"
#include "server/rpc/JsonRpcFront.h"
#include "server/rpc/MethodRegistry.h"
#include "server/sql/SqlFailure.h"
#include "server/sql/ThreadDatabase.h"

namespace {

// What the user must read (a refusal to start, the reason the server stopped):
// plain text on standard error, whatever the log rules filter.
void say(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

HttpFront::Settings httpSettings(const ServerOptions &options, const AccessControl &access)
{
    HttpFront::Settings settings;
    settings.listenHost = options.listenHost;
    settings.listenPort = options.listenPort;
    settings.threads = options.threads;
    settings.maxBodyBytes = options.maxBodyBytes;
    settings.bodyMemoryBytes = options.bodyMemoryBytes;
    settings.trustedProxies = options.trustedProxies;
    settings.deadlines = options.deadlines;
    settings.identify = [&access](const std::optional<std::string> &token) { return access.identify(token); };
    return settings;
}

// Reads the options; an exit code when the program ends here (help, version, a refusal).
std::optional<int> readOptions(ServerOptions &options)
{
    try {
        options = ServerOptions::parse(QCoreApplication::arguments());
        if (options.helpRequested || options.versionRequested) {
            std::fputs(options.helpText.toLocal8Bit().constData(), stdout);
            return 0;
        }
    } catch (const FasError &error) {
        say(error.message());
        return 2;
    }
    return std::nullopt;
}

// The signals that end the server are taken by one thread with sigwait, so they
// never interrupt a request; every thread started from here on inherits the mask.
void blockStopSignals(sigset_t &stopSignals)
{
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

// Serves on the bound front until a stop signal or a failure; the exit code.
int serveUntilStopped(HttpFront &http, sigset_t &stopSignals)
{
    std::thread stopper([&http, &stopSignals] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        SystemdNotify::stopping();
        http.stop();
    });
    const bool served = http.run();
    // run() also ends without a signal when serving fails: wake the stopper.
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
    if (!served) {
        say(QStringLiteral("fas-appserver: o serviço HTTP parou por uma falha."));
        return 1;
    }
    qCInfo(lcServer, "encerrado.");
    return 0;
}

void announce(const ServerOptions &options, const DatabaseUrl &url, int port)
{
    const QString host = options.listenHost.contains(u':') ? u'[' + options.listenHost + u']' : options.listenHost;
    std::printf("fas-appserver escutando em http://%s:%d\n", host.toLocal8Bit().constData(), port);
    std::fflush(stdout);
    SystemdNotify::ready();
    qCInfo(lcServer, "fas-appserver %s: banco %s, %d threads, corpo máximo %lld MB%s",
           qUtf8Printable(QCoreApplication::applicationVersion()), qUtf8Printable(url.displayName()), options.threads,
           static_cast<long long>(options.maxBodyBytes >> 20), options.token.isEmpty() ? "" : ", token exigido");
}

// Opens the database, binds and serves; the exit code. Throws FasError.
int serve(const ServerOptions &options, sigset_t &stopSignals)
{
    const DatabaseUrl url = DatabaseUrl::parse(options.databaseUrl);
    // Refuses a database without the billing tables or at another schema version.
    SchemaGate::requireCurrent(url);

    ThreadDatabase database(url, options.sqliteBusyTimeoutMs, options.pgSession);
    if (!options.nfseEnvironmentSet)
        qCInfo(lcServer, "sem [nfse] environment na configuração: as DPS das notas nacionais são declaradas em "
                         "homologação");
    BillingService service(database, options.nfseProduction ? DpsData::Environment::Production
                                                            : DpsData::Environment::Homologation);
    MethodRegistry methods;
    service.registerMethods(methods);
    const JsonRpcFront front(methods);
    const UserDirectory users(database);
    const QString listenRefusal =
        ListenPolicy::refusal(options.listenHost, !options.token.isEmpty(), [&users, &url] {
            try {
                return users.hasEnabledUser();
            } catch (const SqlFailure &failure) {
                throw FasError(QStringLiteral("Os usuários do banco de dados %1 não puderam ser lidos: %2")
                                   .arg(url.displayName(), failure.error().text()));
            }
        });
    database.discard(); // the main thread serves no call
    if (!listenRefusal.isEmpty()) {
        say(listenRefusal);
        return 2;
    }
    const AccessControl access(options.token, users, ListenPolicy::isLoopback(options.listenHost));
    HttpFront http(
        httpSettings(options, access), front, [&service] { return service.health(); },
        url.isSqlite() ? QStringLiteral("sqlite") : QStringLiteral("postgresql"));
    announce(options, url, http.bind());
    return serveUntilStopped(http, stopSignals);
}

} // namespace

int main(int argc, char **argv)
{
    // glibc gives every thread that allocates under contention an arena of its own
    // and keeps what a large answer used there: a few shared arenas keep the
    // server's memory bounded by what the requests in flight need.
    mallopt(M_ARENA_MAX, 2);
    QCoreApplication app(argc, argv);
    ServerLog::installMessagePattern();
    QCoreApplication::setApplicationName(QStringLiteral("fas-appserver"));
    QCoreApplication::setApplicationVersion(QStringLiteral(FAS_VERSION));

    ServerOptions options;
    if (const std::optional<int> ended = readOptions(options))
        return *ended;
    sigset_t stopSignals;
    blockStopSignals(stopSignals);
    try {
        return serve(options, stopSignals);
    } catch (const FasError &error) {
        say(error.message());
        return 1;
    }
}
