#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <QString>

#include "billing/AccessRight.h"
#include "server/rpc/RequestContext.h"
#include "server/rpc/RpcParams.h"
#include "server/rpc/RpcResult.h"

// The remote methods a JSON-RPC front answers: each name with its handler and the
// least right a caller needs. A service registers its own methods here; the front
// only looks them up, so it holds no method names of its own.
class MethodRegistry
{
public:
    using Handler = std::function<RpcResult(const RpcParams &, const RequestContext &)>;
    // Told of a call of the method the front refused before running it, with the code.
    using Refused = std::function<void(const RequestContext &, int code)>;

    struct Method
    {
        std::string name;
        AccessRight required = AccessRight::Anyone;
        Handler handler;
        Refused refused; // set for the methods that write (they are journaled)
        bool writes() const { return bool(refused); }
    };

    // Throws std::logic_error when `name` is registered already.
    void add(std::string name, AccessRight required, Handler handler, Refused refused = {});
    // nullptr when no method has that name (names are case-sensitive).
    const Method *find(std::string_view name) const;
    // The names in the order they were registered, as a sentence lists them:
    // "A", "A e B", "A, B e C".
    QString namesText() const;

private:
    std::vector<Method> m_methods;
};
