#include "outside/services/Korvane.h"

#include "outside/services/HostConfig.h"

namespace Korvane {

QString WebURL()
{
    return HostConfig::webUrl();
}

int WebPort()
{
    return HostConfig::webPort();
}

} // namespace Korvane
