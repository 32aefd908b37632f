#pragma once

#include <memory>
#include <string>
#include <string_view>

#include <QString>

#include "server/rpc/MethodRegistry.h"
#include "server/rpc/RequestContext.h"
#include "server/rpc/RpcResult.h"

// The JSON-RPC 2.0 side of the server: reads a request body (one call or a batch),
// checks it, dispatches each call to its method and writes the response body. It
// knows nothing of HTTP or of the database, so it can be fed any bytes.
//
// The methods come from a MethodRegistry, where the service registered them. A
// method returns the JSON text of its result and, for the log, the number of rows
// it carries, or a stream that writes the result part by part (a large packet). The
// front reads a stream's first part before answering, so a failure there is an
// ordinary error answer; a single call's later parts follow in the reply's stream,
// while inside a batch the whole result is read into the batch's answer. Failures are exceptions: RpcError keeps its
// code and message (the service turns its database and packet failures into RpcErrors in one place, CallFailure);
// any other exception becomes a generic server error whose details go to the log only.
class JsonRpcFront
{
public:
    using ResultStream = RpcResultStream;
    using Result = RpcResult;

    struct Reply
    {
        std::string body; // empty: nothing to answer (notifications only)
        // When set, the answer goes on after `body` with the stream's parts, then `tail`.
        std::shared_ptr<ResultStream> stream;
        std::string tail;
        std::string method; // for the log; "batch" for a batch
        int rows = -1;      // rows of the result, -1 when none
        int errorCode = 0;  // first error answered, 0 when none
    };

    // A batch holds at most this many calls; a longer one is refused whole.
    static constexpr std::size_t MaxBatchCalls = 16;
    // Once a batch's calls have made this much answer (counting a result refused as
    // too large, so the bound holds for the work and not only for what is sent), its
    // remaining calls are not run: each is answered with error -32006. A batch whose
    // client has gone runs no further call (-32021).
    static constexpr std::size_t MaxBatchAnswerBytes = std::size_t(16) << 20;

    // `methods` outlives the front.
    explicit JsonRpcFront(const MethodRegistry &methods);

    // Answers `body`, running each call with `context` (the request's).
    Reply handle(const RequestContext &context, std::string_view body) const;

    // A complete error response; `id` is the request's id as JSON text.
    static std::string errorResponse(int code, const QString &message, std::string_view id = "null");

private:
    const MethodRegistry &m_methods;
};
