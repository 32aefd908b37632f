#pragma once

#include <utility>

#include <QString>

#include "server/rpc/MethodRegistry.h"
#include "server/rpc/RequestContext.h"
#include "server/rpc/RpcParams.h"
#include "server/rpc/RpcResult.h"
#include "server/sql/ThreadDatabase.h"

// The remote object FAS09600.rdmFaturamento: GetFaturamento, GeraNF and
// GeraInvoice on the calling thread's database connection, and the health check.
// The service registers its methods, with the right each needs, in the JSON-RPC
// front's registry.
// Database failures are logged with their details and answered with a message a
// user can act on; the SQL and the driver's words stay in the log.
class BillingService
{
public:
    explicit BillingService(const ThreadDatabase &database);

    void registerMethods(MethodRegistry &methods) const;

    RpcResult getFaturamento(const RpcParams &params, const RequestContext &context) const;
    RpcResult geraNF(const RpcParams &params, const RequestContext &context) const;
    RpcResult geraInvoice(const RpcParams &params, const RequestContext &context) const;

    // true, or false and the reason: the database answers a trivial query.
    std::pair<bool, QString> health() const;

private:
    RpcResult generate(const RpcParams &params, const RequestContext &context, bool invoice) const;

    const ThreadDatabase &m_database;
};
