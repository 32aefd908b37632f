#pragma once

#include <QString>

#include "kor_export.h"

// The application server's address as the host configures it, read anew on
// every call.
namespace Korvane {

KOR_EXPORT QString WebURL();
KOR_EXPORT int WebPort();

} // namespace Korvane
