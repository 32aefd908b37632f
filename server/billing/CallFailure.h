#pragma once

#include "server/rpc/RequestContext.h"
#include "server/rpc/RpcError.h"
#include "server/sql/ThreadDatabase.h"

// The one place where what a remote method's work threw becomes the JSON-RPC error
// its caller reads: an RpcError as it is; a database failure (SqlFailure) logged
// with its details and answered with words a user can act on, its connection
// dropped when it broke; a packet the server cannot read (PacketError) as invalid
// params; a database that cannot be opened (DatabaseError) as unavailable. Anything
// else goes on to the JSON-RPC front, which answers a generic server error.
class CallFailure
{
public:
    CallFailure(const ThreadDatabase &database, const RequestContext &context, const char *method)
        : m_database(database)
        , m_context(context)
        , m_method(method)
    {
    }

    // Inside a catch block: the exception being handled as the caller's error.
    // Rethrows what it does not know.
    RpcError current() const;
    [[noreturn]] void rethrow() const { throw current(); }

private:
    const ThreadDatabase &m_database;
    const RequestContext &m_context;
    const char *m_method;
};
