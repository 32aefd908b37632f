#include "ScratchDatabase.h"

#include <algorithm>

#include <QCoreApplication>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include "DatabaseConnection.h"
#include "DatabaseError.h"
#include "SchemaScript.h"

namespace {

const QString AdminConnection = QStringLiteral("scratch-admin");

bool adminExec(const QString &adminUrl, const QString &sql, QString &error)
{
    bool ok = false;
    {
        QSqlDatabase admin = DatabaseConnection::open(DatabaseUrl::parse(adminUrl), AdminConnection);
        QSqlQuery query(admin);
        ok = query.exec(sql);
        if (!ok)
            error = query.lastError().text();
    }
    DatabaseConnection::close(AdminConnection);
    return ok;
}

} // namespace

ScratchDatabase::ScratchDatabase(Kind kind, const QString &connectionName)
    : m_kind(kind)
    , m_connection(connectionName)
{
}

ScratchDatabase::~ScratchDatabase()
{
    DatabaseConnection::close(m_connection);
    if (!m_databaseName.isEmpty())
        adminExec(m_adminUrl, QStringLiteral("DROP DATABASE IF EXISTS %1").arg(m_databaseName), m_error);
}

bool ScratchDatabase::create()
{
    if (m_kind == Kind::Sqlite) {
        m_url = m_dir.filePath(QStringLiteral("fas.sqlite"));
    } else {
        m_adminUrl = qEnvironmentVariable("FAS_TEST_PG_URL");
        if (m_adminUrl.isEmpty()) {
            m_skipReason = QStringLiteral("PostgreSQL: FAS_TEST_PG_URL is not set (scripts/test.sh sets it when a "
                                          "cluster starts); the PostgreSQL run is skipped.");
            return false;
        }
        const QString name = QStringLiteral("fas_scratch_%1").arg(QCoreApplication::applicationPid());
        adminExec(m_adminUrl, QStringLiteral("DROP DATABASE IF EXISTS %1").arg(name), m_error);
        if (!adminExec(m_adminUrl, QStringLiteral("CREATE DATABASE %1").arg(name), m_error))
            return false;
        m_databaseName = name;
        m_url = m_adminUrl.left(m_adminUrl.lastIndexOf(u'/') + 1) + name;
    }
    try {
        QSqlDatabase db = DatabaseConnection::open(DatabaseUrl::parse(m_url), m_connection,
                                                   DatabaseConnection::Mode::CreateIfMissing);
        SchemaScript::create(db);
    } catch (const DatabaseError &error) {
        m_error = error.message();
        return false;
    }
    return true;
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
