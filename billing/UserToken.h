#pragma once

#include <string_view>

#include <QString>

#include "fasbilling_export.h"

// The tokens users sign in with: 32 random bytes from the system's generator,
// written in base64url without padding (43 characters, fit for an HTTP header and
// a one-line token file). The database keeps only a token's SHA-256, in hex: a
// 256-bit random token cannot be found from its hash.
namespace UserToken {

FASBILLING_EXPORT QString generate();
FASBILLING_EXPORT QString hashOf(std::string_view token);

} // namespace UserToken
