#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

// An IPv4 or IPv6 address as the server compares client addresses: an IPv4 address
// and the same address mapped into IPv6 (::ffff:a.b.c.d) are equal.
class IpAddress
{
public:
    // The address `text` writes (surrounding blanks ignored); none when it is not one.
    static std::optional<IpAddress> parse(std::string_view text);

    // The address in its usual form: dotted for IPv4 (also when mapped), else IPv6.
    std::string text() const;

    bool operator==(const IpAddress &other) const = default;

private:
    std::array<unsigned char, 16> m_bytes{}; // IPv6, IPv4 mapped
};
