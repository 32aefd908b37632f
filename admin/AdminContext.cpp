#include "admin/AdminContext.h"

namespace {
const QString ConnectionName = QStringLiteral("fas-admin");
}

AdminContext::AdminContext(DatabaseUrl url, QStringList arguments, QTextStream &out)
    : m_url(std::move(url))
    , m_arguments(std::move(arguments))
    , m_out(out)
{
}

AdminContext::~AdminContext()
{
    m_db = QSqlDatabase();
    DatabaseConnection::close(ConnectionName);
}

void AdminContext::say(const QString &line)
{
    m_out << line << u'\n';
    m_out.flush();
}

QSqlDatabase &AdminContext::database(DatabaseConnection::Mode mode)
{
    if (!m_db.isOpen())
        m_db = DatabaseConnection::open(m_url, ConnectionName, mode);
    return m_db;
}
