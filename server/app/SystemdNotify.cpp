#include "server/app/SystemdNotify.h"

#include <systemd/sd-daemon.h>

namespace SystemdNotify {

// The socket's variable stays set: the server tells systemd twice.
void ready()
{
    sd_notify(0, "READY=1");
}

void stopping()
{
    sd_notify(0, "STOPPING=1");
}

} // namespace SystemdNotify
