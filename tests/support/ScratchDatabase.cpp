#include "ScratchDatabase.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>

#include "DatabaseConnection.h"
#include "DatabaseError.h"

ScratchDatabase::ScratchDatabase(Kind kind, const QString &tag)
    : m_kind(kind)
{
    if (m_kind == Kind::Sqlite) {
        m_url = m_dir.filePath(tag + QStringLiteral(".sqlite"));
        return;
    }
    m_adminUrl = qEnvironmentVariable("FAS_TEST_PG_URL");
    m_name = QStringLiteral("fas_%1_%2").arg(tag).arg(QCoreApplication::applicationPid());
    const qsizetype slash = m_adminUrl.lastIndexOf(u'/');
    if (!m_adminUrl.isEmpty())
        m_url = m_adminUrl.left(slash + 1) + m_name;
}

ScratchDatabase::~ScratchDatabase()
{
    if (m_kind == Kind::Postgres && !m_adminUrl.isEmpty())
        runOnCluster(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_name));
}

QString ScratchDatabase::unavailableReason() const
{
    if (m_kind == Kind::Postgres && m_adminUrl.isEmpty())
        return QStringLiteral("PostgreSQL: FAS_TEST_PG_URL is not set (scripts/test.sh sets it when a cluster "
                              "starts); the PostgreSQL run is skipped.");
    return {};
}

bool ScratchDatabase::recreate()
{
    if (m_kind == Kind::Sqlite) {
        for (const char *suffix : {"", "-wal", "-shm"})
            QFile::remove(m_url + QLatin1String(suffix));
        return true;
    }
    return runOnCluster(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_name))
           && runOnCluster(QStringLiteral("CREATE DATABASE %1").arg(m_name));
}

QSqlDatabase ScratchDatabase::open(const QString &name) const
{
    return DatabaseConnection::open(DatabaseUrl::parse(m_url), name, DatabaseConnection::Mode::CreateIfMissing);
}

bool ScratchDatabase::runOnCluster(const QString &sql) const
{
    const QString connection = QStringLiteral("scratch-cluster");
    bool done = false;
    try {
        QSqlDatabase admin = DatabaseConnection::open(DatabaseUrl::parse(m_adminUrl), connection);
        QSqlQuery query(admin);
        done = query.exec(sql);
        if (!done)
            qWarning() << sql << query.lastError().text();
    } catch (const DatabaseError &error) {
        qWarning() << error.message();
    }
    DatabaseConnection::close(connection);
    return done;
}
