#pragma once

#include <functional>

#include <QString>

// Where the server may listen without callers proving who they are. On a
// loopback address only this machine reaches it; on any other address anyone
// who reaches it could bill, so the server refuses to start there unless every
// call must authenticate: a token file is configured, or the database has an
// enabled user (then every call needs a user's token).
class ListenPolicy
{
public:
    // "localhost", 127.0.0.0/8, ::1 and ::ffff:127.x.y.z. Any other name may lead anywhere.
    static bool isLoopback(const QString &host);

    // Why the server may not listen on `host`, naming the address and the ways
    // out; empty when it may. `enabledUserExists` is asked only for an address
    // beyond this machine without a token file; what it throws goes through.
    static QString refusal(const QString &host, bool tokenFile, const std::function<bool()> &enabledUserExists);
};
