#include "links/HostPort.h"

#include <charconv>

namespace Pelindra::Links {

namespace {

// `text` in double quotes, then `why`; built by appending, which GCC's -O3 restrict
// checks accept.
std::string Problem(std::string_view text, std::string_view why) {
    std::string message(1, '"');
    message += text;
    message += "\": ";
    message += why;
    return message;
}

}  // namespace

std::optional<int> ParsePort(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1 || value > 65535) {
        return std::nullopt;
    }
    return value;
}

std::variant<HostPort, std::string> ParseHostPort(std::string_view text, const HostPort& defaults) {
    HostPort result = defaults;
    std::string_view host = text;
    std::string_view port;
    if (text.starts_with('[')) {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) return Problem(text, "no ] after [");
        host = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':')) {
            return Problem(text, "expected :PORT after ]");
        }
        port = rest.empty() ? rest : rest.substr(1);
    } else if (const std::size_t colon = text.rfind(':'); colon != std::string_view::npos) {
        // More than one colon without brackets is an IPv6 address alone.
        if (text.find(':') == colon) {
            host = text.substr(0, colon);
            port = text.substr(colon + 1);
        }
    }
    if (!host.empty()) result.host = host;
    if (text.ends_with(':') || !port.empty()) {
        const std::optional<int> value = ParsePort(port);
        if (!value) return Problem(text, "the port must be a number from 1 to 65535");
        result.port = *value;
    }
    return result;
}

}  // namespace Pelindra::Links
