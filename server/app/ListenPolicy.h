#pragma once

#include <QString>

// Where the server may listen without callers proving who they are. On a
// loopback address only this machine reaches it; on any other address anyone
// who reaches it could bill, so the server refuses to start there unless every
// call must authenticate.
class ListenPolicy
{
public:
    // "localhost", 127.0.0.0/8, ::1 and ::ffff:127.x.y.z. Any other name may lead anywhere.
    static bool isLoopback(const QString &host);

    // Throws FasError, naming the address and the way out, when `host` reaches
    // beyond this machine and `callersAuthenticate` is false (no token).
    static void requireAuthenticationBeyondLoopback(const QString &host, bool callersAuthenticate);
};
