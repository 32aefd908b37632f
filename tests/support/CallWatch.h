#pragma once

#include <QByteArray>
#include <QString>

class TNetConnection;

// What the module tests see of the host's remote calls, through the connection's
// Sending signal and the busy animation's listener.
namespace CallWatch {

struct Request
{
    QString method;
    QByteArray params; // the JSON text of the positional parameters (an array)
};

// Records the calls `connection` sends from now on (once per connection).
void watch(TNetConnection *connection);
// The last call `connection` sent since it was watched; empty before that.
Request lastRequest(TNetConnection *connection);
// How many times the busy animation was asked for (once per server call), from the
// first time this is asked.
int busyAnimations();

} // namespace CallWatch
