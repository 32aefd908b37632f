#pragma once

#include <utility>

#include <QString>

#include "JsonRpcFront.h"
#include "ThreadDatabase.h"

// The remote object FAS09600.rdmFaturamento: GetFaturamento, GeraNF and
// GeraInvoice on the calling thread's database connection, and the health check.
// Database failures are logged with their details and answered with a message a
// user can act on; the SQL and the driver's words stay in the log.
class BillingService
{
public:
    explicit BillingService(const ThreadDatabase &database);

    void registerMethods(JsonRpcFront &front) const;

    JsonRpcFront::Result getFaturamento(const RpcParams &params) const;
    JsonRpcFront::Result geraNF(const RpcParams &params) const;
    JsonRpcFront::Result geraInvoice(const RpcParams &params) const;

    // true, or false and the reason: the database answers a trivial query.
    std::pair<bool, QString> health() const;

private:
    JsonRpcFront::Result generate(const RpcParams &params, bool invoice) const;

    const ThreadDatabase &m_database;
};
