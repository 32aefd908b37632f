#include "Korvane.h"

#include "HostConfig.h"

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
