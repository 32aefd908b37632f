#include "server/http/BearerToken.h"

#include <cctype>

namespace BearerToken {

std::optional<std::string> fromHeader(const std::string &authorization)
{
    static constexpr std::string_view scheme = "bearer";
    if (authorization.size() <= scheme.size())
        return std::nullopt;
    for (std::size_t i = 0; i < scheme.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(authorization[i])) != scheme[i])
            return std::nullopt;
    const std::size_t start = authorization.find_first_not_of(" \t", scheme.size());
    if (start == scheme.size() || start == std::string::npos)
        return std::nullopt;
    const std::size_t end = authorization.find_last_not_of(" \t");
    return authorization.substr(start, end - start + 1);
}

} // namespace BearerToken
