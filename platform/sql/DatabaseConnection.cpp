#include "platform/sql/DatabaseConnection.h"

#include <algorithm>
#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include "platform/sql/DatabaseError.h"

namespace DatabaseConnection {
namespace {

// How much of an SQLite file is read through a mapping (a 1,000,000-row
// installation's file is well within it); the rest is read as before.
constexpr qint64 SqliteMappedBytes = qint64(1) << 30;

QString driverReason(const QSqlError &error)
{
    QString reason = error.driverText().trimmed();
    const QString db = error.databaseText().trimmed();
    if (!db.isEmpty() && db != reason)
        reason = reason.isEmpty() ? db : reason + QStringLiteral(": ") + db;
    return reason.isEmpty() ? QStringLiteral("motivo não informado pelo driver") : reason;
}

[[noreturn]] void fail(const DatabaseUrl &url, const QString &what, const QString &reason)
{
    throw DatabaseError(
        QStringLiteral("Não foi possível %1 o banco de dados %2: %3").arg(what, url.displayName(), reason));
}

void execOrFail(QSqlDatabase &db, const DatabaseUrl &url, const QString &statement)
{
    QSqlQuery query(db);
    if (!query.exec(statement))
        fail(url, QStringLiteral("preparar"), driverReason(query.lastError()));
}

// Why an existing SQLite file cannot be opened by this user, told apart from a
// missing one: a desk whose user lacks the rights must hear that, not that the
// file is gone. Empty when the file is there and readable.
QString sqliteFileProblem(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat status
    { };
    if (::stat(native.constData(), &status) != 0) {
        if (errno == EACCES)
            return QStringLiteral("sem permissão para chegar ao arquivo %1 (uma das pastas do caminho não pode ser "
                                  "aberta por este usuário); peça acesso ao administrador")
                .arg(path);
        return QStringLiteral("o arquivo não existe");
    }
    if (::access(native.constData(), R_OK) != 0)
        return QStringLiteral("sem permissão para ler o arquivo %1; peça acesso ao administrador (o usuário "
                              "deve poder ler e gravar o arquivo e a sua pasta)")
            .arg(path);
    return {};
}

// The session's settings as libpq parameters, leaving out those the URL sets.
QStringList sessionOptions(const DatabaseUrl &url, const PgSession &session)
{
    const std::pair<const char *, int> wanted[] = {
        {"keepalives", session.keepalivesIdleS > 0 || session.keepalivesIntervalS > 0 || session.keepalivesCount > 0},
        {"keepalives_idle", session.keepalivesIdleS},
        {"keepalives_interval", session.keepalivesIntervalS},
        {"keepalives_count", session.keepalivesCount},
        {"tcp_user_timeout", session.tcpUserTimeoutMs},
    };
    QStringList options;
    for (const auto &[key, value] : wanted) {
        const QString name = QString::fromLatin1(key);
        const bool given = std::any_of(url.parameters().begin(), url.parameters().end(),
                                       [&name](const auto &parameter) { return parameter.first == name; });
        if (value > 0 && !given)
            options.append(QStringLiteral("%1=%2").arg(name).arg(value));
    }
    return options;
}

} // namespace

QSqlDatabase open(const DatabaseUrl &url, const QString &connectionName, Mode mode, int sqliteBusyMs,
                  const PgSession &session)
{
    if (!QSqlDatabase::isDriverAvailable(url.driverName()))
        fail(url, QStringLiteral("abrir"),
             QStringLiteral("o driver %1 do Qt não está instalado").arg(url.driverName()));
    if (url.isSqlite() && mode == Mode::OpenExisting)
        if (const QString problem = sqliteFileProblem(url.path()); !problem.isEmpty())
            fail(url, QStringLiteral("abrir"), problem);
    close(connectionName);

    QSqlDatabase db = QSqlDatabase::addDatabase(url.driverName(), connectionName);
    if (url.isSqlite()) {
        db.setDatabaseName(url.path());
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(sqliteBusyMs));
    } else {
        db.setDatabaseName(url.databaseName());
        if (!url.host().isEmpty())
            db.setHostName(url.host());
        if (url.port() > 0)
            db.setPort(url.port());
        if (!url.userName().isEmpty())
            db.setUserName(url.userName());
        if (!url.password().isEmpty())
            db.setPassword(url.password());
        QStringList options;
        bool hasTimeout = false;
        for (const auto &[key, value] : url.parameters()) {
            // QPSQL joins options with ';' and passes them to libpq as key=value.
            if (key.contains(u';') || value.contains(u';'))
                fail(url, QStringLiteral("abrir"), QStringLiteral("o parâmetro \"%1\" não pode conter ';'").arg(key));
            hasTimeout = hasTimeout || key == QLatin1String("connect_timeout");
            options.append(key + u'=' + value);
        }
        if (!hasTimeout)
            options.append(QStringLiteral("connect_timeout=10"));
        options.append(sessionOptions(url, session));
        db.setConnectOptions(options.join(u';'));
    }

    if (!db.open()) {
        const QString reason = driverReason(db.lastError());
        db = QSqlDatabase();
        close(connectionName);
        fail(url, QStringLiteral("abrir"), reason);
    }

    try {
        if (url.isSqlite()) {
            // WAL lets readers go on while one writer works; NORMAL sync is safe with WAL.
            execOrFail(db, url, QStringLiteral("PRAGMA journal_mode = WAL"));
            execOrFail(db, url, QStringLiteral("PRAGMA synchronous = NORMAL"));
            execOrFail(db, url, QStringLiteral("PRAGMA foreign_keys = ON"));
            execOrFail(db, url, QStringLiteral("PRAGMA busy_timeout = %1").arg(sqliteBusyMs));
            // Pages are read through a mapping of the file rather than copied by a
            // system call each: a preview reads every page of its rows, and a quarter
            // of its time went to those copies. Only the address space is reserved;
            // the pages are the system's file cache, shared by every connection.
            execOrFail(db, url, QStringLiteral("PRAGMA mmap_size = %1").arg(SqliteMappedBytes));
        } else {
            execOrFail(db, url, QStringLiteral("SET client_encoding TO 'UTF8'"));
            if (session.statementTimeoutMs > 0)
                execOrFail(db, url, QStringLiteral("SET statement_timeout = %1").arg(session.statementTimeoutMs));
        }
    } catch (...) {
        db = QSqlDatabase();
        close(connectionName);
        throw;
    }
    return db;
}

void close(const QString &connectionName)
{
    if (!QSqlDatabase::contains(connectionName))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(connectionName, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
}

} // namespace DatabaseConnection
