#include "server/sql/SqlStatement.h"

#include <QSqlError>

#include "server/sql/SqlFailure.h"

SqlStatement::SqlStatement(const QSqlDatabase &db, const QString &sql, const char *context)
    : m_query(db)
    , m_context(context)
{
    m_query.setForwardOnly(true);
    m_query.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
    if (!m_query.prepare(sql))
        throw SqlFailure(QString::fromUtf8(m_context), m_query.lastError());
}

SqlStatement &SqlStatement::exec(const QVariantList &values)
{
    for (int i = 0; i < values.size(); ++i)
        m_query.bindValue(i, values.at(i));
    if (!m_query.exec())
        throw SqlFailure(QString::fromUtf8(m_context), m_query.lastError());
    return *this;
}
