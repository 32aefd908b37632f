#include "DatabaseConnection.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include "DatabaseError.h"

namespace DatabaseConnection {
namespace {

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
    throw DatabaseError(QStringLiteral("Não foi possível %1 o banco de dados %2: %3")
                            .arg(what, url.displayName(), reason));
}

void execOrFail(QSqlDatabase &db, const DatabaseUrl &url, const QString &statement)
{
    QSqlQuery query(db);
    if (!query.exec(statement))
        fail(url, QStringLiteral("preparar"), driverReason(query.lastError()));
}

} // namespace

QSqlDatabase open(const DatabaseUrl &url, const QString &connectionName, Mode mode, int sqliteBusyMs)
{
    if (!QSqlDatabase::isDriverAvailable(url.driverName()))
        fail(url, QStringLiteral("abrir"),
             QStringLiteral("o driver %1 do Qt não está instalado").arg(url.driverName()));
    if (url.isSqlite() && mode == Mode::OpenExisting && !QFileInfo::exists(url.path()))
        fail(url, QStringLiteral("abrir"), QStringLiteral("o arquivo não existe"));
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
                fail(url, QStringLiteral("abrir"),
                     QStringLiteral("o parâmetro \"%1\" não pode conter ';'").arg(key));
            hasTimeout = hasTimeout || key == QLatin1String("connect_timeout");
            options.append(key + u'=' + value);
        }
        if (!hasTimeout)
            options.append(QStringLiteral("connect_timeout=10"));
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
        } else {
            execOrFail(db, url, QStringLiteral("SET client_encoding TO 'UTF8'"));
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
