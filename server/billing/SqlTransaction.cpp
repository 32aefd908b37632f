#include "server/billing/SqlTransaction.h"

#include <QSqlError>
#include <QSqlQuery>

#include "server/sql/SqlDialect.h"
#include "server/sql/SqlFailure.h"

SqlTransaction::SqlTransaction(QSqlDatabase &db, const SqlDialect &dialect)
    : m_db(db)
{
    QSqlQuery query(m_db);
    if (!query.exec(dialect.beginWrite())) {
        SqlFailure failure(QStringLiteral("início da transação"), query.lastError());
        failure.markBeforeChanges();
        throw failure;
    }
}

SqlTransaction::~SqlTransaction()
{
    if (!m_done) {
        QSqlQuery query(m_db);
        query.exec(QStringLiteral("ROLLBACK"));
    }
}

void SqlTransaction::commit()
{
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("COMMIT"))) {
        SqlFailure failure(QStringLiteral("gravação da transação"), query.lastError());
        if (failure.isConnectionLost())
            failure.markOutcomeUnknown();
        throw failure;
    }
    m_done = true;
}
