#include "server/base/SecretCompare.h"

namespace SecretCompare {

bool equal(std::string_view given, std::string_view expected)
{
    unsigned char diff = given.size() == expected.size() ? 0 : 1;
    for (std::size_t i = 0; i < given.size(); ++i)
        diff |= static_cast<unsigned char>(given[i])
                ^ static_cast<unsigned char>(expected.empty() ? 0 : expected[i % expected.size()]);
    return diff == 0;
}

} // namespace SecretCompare
