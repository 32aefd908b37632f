#include "tests/support/ScratchDatabase.h"

#include <algorithm>

#include <QCoreApplication>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include "platform/sql/DatabaseConnection.h"
#include "platform/sql/DatabaseError.h"
#include "db/SchemaScript.h"

ScratchDatabase::ScratchDatabase(Kind kind, const QString &tag)
    : m_kind(kind)
    , m_connection(QStringLiteral("scratch-") + tag)
{
    if (m_kind == Kind::Sqlite) {
        m_url = m_dir.filePath(tag + QStringLiteral(".sqlite"));
        return;
    }
    m_adminUrl = qEnvironmentVariable("FAS_TEST_PG_URL");
    m_name = QStringLiteral("fas_%1_%2").arg(QString(tag).replace(u'-', u'_')).arg(QCoreApplication::applicationPid());
    if (!m_adminUrl.isEmpty())
        m_url = m_adminUrl.left(m_adminUrl.lastIndexOf(u'/') + 1) + m_name;
}

ScratchDatabase::~ScratchDatabase()
{
    DatabaseConnection::close(m_connection);
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
    DatabaseConnection::close(m_connection);
    if (m_kind == Kind::Sqlite) {
        for (const char *suffix : {"", "-wal", "-shm"})
            QFile::remove(m_url + QLatin1String(suffix));
        return true;
    }
    return runOnCluster(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_name))
           && runOnCluster(QStringLiteral("CREATE DATABASE %1").arg(m_name));
}

bool ScratchDatabase::create()
{
    if (!unavailableReason().isEmpty() || !recreate())
        return false;
    try {
        QSqlDatabase db = open(m_connection);
        SchemaScript::create(db);
    } catch (const DatabaseError &error) {
        m_error = error.message();
        return false;
    }
    return true;
}

QSqlDatabase ScratchDatabase::open(const QString &name) const
{
    return DatabaseConnection::open(DatabaseUrl::parse(m_url), name, DatabaseConnection::Mode::CreateIfMissing);
}

QSqlDatabase ScratchDatabase::db() const
{
    return QSqlDatabase::database(m_connection);
}

bool ScratchDatabase::empty()
{
    QStringList tables = SchemaScript::tables();
    std::reverse(tables.begin(), tables.end());
    for (const QString &table : tables) {
        QSqlQuery query(db());
        if (!query.exec(QStringLiteral("DELETE FROM %1").arg(table))) {
            m_error = query.lastError().text();
            return false;
        }
    }
    return true;
}

QString ScratchDatabase::snapshot() const
{
    QString text;
    for (const QString &table : SchemaScript::tables()) {
        QSqlQuery query(db());
        query.exec(QStringLiteral("SELECT * FROM %1").arg(table));
        QStringList rows;
        while (query.next()) {
            QStringList values;
            for (int i = 0; i < query.record().count(); ++i)
                values << (query.isNull(i) ? QStringLiteral("<null>") : query.value(i).toString());
            rows << values.join(u'|');
        }
        rows.sort();
        text += table + u'\n' + rows.join(u'\n') + u'\n';
    }
    return text;
}

bool ScratchDatabase::runOnCluster(const QString &sql)
{
    const QString connection = QStringLiteral("scratch-cluster");
    bool done = false;
    try {
        QSqlDatabase admin = DatabaseConnection::open(DatabaseUrl::parse(m_adminUrl), connection);
        QSqlQuery query(admin);
        done = query.exec(sql);
        if (!done)
            m_error = sql + QStringLiteral(": ") + query.lastError().text();
    } catch (const DatabaseError &error) {
        m_error = error.message();
    }
    DatabaseConnection::close(connection);
    return done;
}
