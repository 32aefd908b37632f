#pragma once

#include <QSqlDatabase>

#include "platform/sql/DatabaseUrl.h"

// One write transaction of the billing data, rolled back unless committed, on every
// way out. SQLite takes the write lock at BEGIN (BEGIN IMMEDIATE) rather than at the
// first write, so that two writers never both read and then fail to upgrade their
// locks; PostgreSQL's writers lock their rows themselves.
class SqlTransaction
{
public:
    SqlTransaction(QSqlDatabase &db, DatabaseUrl::Kind dialect);
    ~SqlTransaction();
    SqlTransaction(const SqlTransaction &) = delete;
    SqlTransaction &operator=(const SqlTransaction &) = delete;

    void commit();

private:
    QSqlDatabase &m_db;
    bool m_done = false;
};
