#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace Pelindra::Links {

struct HostPort {
    std::string host;
    int port = 0;
};

// A TCP port: the whole text a number from 1 to 65535.
[[nodiscard]] std::optional<int> ParsePort(std::string_view text);

// "HOST", "HOST:PORT", ":PORT" or "" (the defaults), with "[::1]:PORT" for an IPv6
// address; the port a whole number from 1 to 65535. Otherwise why not.
[[nodiscard]] std::variant<HostPort, std::string> ParseHostPort(std::string_view text,
                                                                const HostPort& defaults);

}  // namespace Pelindra::Links
