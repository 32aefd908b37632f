#pragma once

#include <optional>
#include <string>

// The token of an Authorization header: "Bearer TOKEN", the scheme's name in any
// case, spaces or tabs after it. nullopt for an empty header or another scheme.
namespace BearerToken {

std::optional<std::string> fromHeader(const std::string &authorization);

} // namespace BearerToken
