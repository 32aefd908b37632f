#pragma once

#include <functional>
#include <optional>
#include <string>

#include "server/rpc/RequestContext.h"

// Who a request comes from, as the program's access rule tells it from the bearer
// token (see AccessControl in server/app). The HTTP front asks once per request.
struct CallerIdentity
{
    enum class Outcome {
        Open,         // no users and no token configured: anyone on the loopback desk
        Trusted,      // the configured token file's token: every right, no user named
        User,         // a user's token: `user` holds the name and right
        NoToken,      // a token is required and none was sent
        UnknownToken, // no enabled user or configured token has it
        Disabled,     // the token of a disabled user
        Unavailable   // the database could not be asked
    };

    Outcome outcome = Outcome::Open;
    RequestContext::User user;

    bool admitted() const
    {
        return outcome == Outcome::Open || outcome == Outcome::Trusted || outcome == Outcome::User;
    }

    // The token as the Authorization header carries it; nullopt when none was sent.
    using Resolver = std::function<CallerIdentity(const std::optional<std::string> &token)>;
};
