#include "outside/data/TdtmDBGeral.h"

#include <QPointer>

#include "platform/sql/DatabaseConnection.h"
#include "platform/sql/DatabaseUrl.h"
#include "outside/data/SqliteFunctions.h"

namespace {

QPointer<TdtmDBGeral> &instance()
{
    static QPointer<TdtmDBGeral> module;
    return module;
}

} // namespace

TDBConnectionComponent::TDBConnectionComponent(TdtmDBGeral *module, const QString &name)
    : QObject(module)
    , m_module(module)
{
    setObjectName(name);
}

TdtmDBGeral::TdtmDBGeral(QObject *parent)
    : QObject(parent)
    , adcGeral(new TDBConnectionComponent(this, QStringLiteral("adcGeral")))
    , dtbGeral(new TDBConnectionComponent(this, QStringLiteral("dtbGeral")))
    , ibtGeral(new TDBConnectionComponent(this, QStringLiteral("ibtGeral")))
{
    setObjectName(QStringLiteral("dtmDBGeral"));
    instance() = this;
}

TdtmDBGeral::~TdtmDBGeral()
{
    Close();
    if (instance() == this)
        instance() = nullptr;
}

TdtmDBGeral *TdtmDBGeral::Instance()
{
    return instance();
}

TdtmDBGeral *dtmDBGeral()
{
    return TdtmDBGeral::Instance();
}

void TdtmDBGeral::Open(const QString &databaseUrl)
{
    Close();
    const DatabaseUrl url = DatabaseUrl::parse(databaseUrl);
    m_displayName = url.displayName();
    DatabaseConnection::open(url, QString::fromLatin1(ConnectionName));
    m_open = true;
    // The screens' query texts call TO_DATE, which SQLite lacks.
    SqliteFunctions::Register(Database());
}

void TdtmDBGeral::Close()
{
    if (!m_open)
        return;
    DatabaseConnection::close(QString::fromLatin1(ConnectionName));
    m_open = false;
}

bool TdtmDBGeral::Connected() const
{
    return m_open && Database().isOpen();
}

QSqlDatabase TdtmDBGeral::Database() const
{
    return QSqlDatabase::database(QString::fromLatin1(ConnectionName), false);
}

TdtmDBGeral::Dialect TdtmDBGeral::DatabaseDialect() const
{
    const QString driver = Database().driverName();
    if (driver == QLatin1String("QSQLITE"))
        return Dialect::Sqlite;
    if (driver == QLatin1String("QPSQL"))
        return Dialect::PostgreSql;
    if (driver == QLatin1String("QOCI"))
        return Dialect::Oracle;
    if (driver == QLatin1String("QIBASE"))
        return Dialect::InterBase;
    return Dialect::Other;
}
