#include "server/base/IpAddress.h"

#include <cstring>

#include <arpa/inet.h>

namespace {

constexpr unsigned char MappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};

std::string_view trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

} // namespace

std::optional<IpAddress> IpAddress::parse(std::string_view text)
{
    const std::string plain(trimmed(text));
    IpAddress address;
    if (inet_pton(AF_INET6, plain.c_str(), address.m_bytes.data()) == 1)
        return address;
    if (inet_pton(AF_INET, plain.c_str(), address.m_bytes.data() + 12) == 1) {
        std::memcpy(address.m_bytes.data(), MappedPrefix, sizeof MappedPrefix);
        return address;
    }
    return std::nullopt;
}

std::string IpAddress::text() const
{
    char out[INET6_ADDRSTRLEN] = {};
    if (std::memcmp(m_bytes.data(), MappedPrefix, sizeof MappedPrefix) == 0)
        inet_ntop(AF_INET, m_bytes.data() + 12, out, sizeof out);
    else
        inet_ntop(AF_INET6, m_bytes.data(), out, sizeof out);
    return out;
}
