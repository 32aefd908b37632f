#pragma once

#include <QSqlDatabase>

class SqlDialect;

// One write transaction of the billing data, rolled back unless committed, on every
// way out; begun as SqlDialect::beginWrite says.
class SqlTransaction
{
public:
    SqlTransaction(QSqlDatabase &db, const SqlDialect &dialect);
    ~SqlTransaction();
    SqlTransaction(const SqlTransaction &) = delete;
    SqlTransaction &operator=(const SqlTransaction &) = delete;

    void commit();

private:
    QSqlDatabase &m_db;
    bool m_done = false;
};
