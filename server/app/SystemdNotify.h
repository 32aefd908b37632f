#pragma once

// Tells systemd (a Type=notify service) where the server is: READY=1 once it
// listens, STOPPING=1 when it begins to stop. Without a service manager
// (NOTIFY_SOCKET unset) both do nothing.
namespace SystemdNotify {

void ready();
void stopping();

} // namespace SystemdNotify
