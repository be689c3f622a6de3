#include "core/DisplayPattern.h"

#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace Pelindra::Core {

void AppendMagnitude(std::string& out, float magnitude, int decimals,
                     std::string_view decimalSeparator) {
    assert(decimals == 1 || decimals == 2);
    assert(!(magnitude < 0));
    // A float has 24 significant bits, so scaling by 10 or 100 is exact in double and
    // std::round then rounds the exact value, halves away from zero.
    const double scaled = std::round(static_cast<double>(magnitude) * (decimals == 2 ? 100 : 10));

    char digits[64];
    char* end;
    if (scaled < 0x1p64) {
        end = std::to_chars(digits, digits + sizeof digits, static_cast<std::uint64_t>(scaled)).ptr;
    } else {
        end =
            std::to_chars(digits, digits + sizeof digits, scaled, std::chars_format::fixed, 0).ptr;
    }
    const auto length = static_cast<std::size_t>(end - digits);
    const auto fraction = static_cast<std::size_t>(decimals);
    if (length <= fraction) {
        out += '0';
        out.append(decimalSeparator);
        out.append(fraction - length, '0');
        out.append(digits, length);
    } else {
        out.append(digits, length - fraction);
        out.append(decimalSeparator);
        out.append(end - fraction, fraction);
    }
}

std::string FormatMagnitude(float magnitude, int decimals, std::string_view decimalSeparator) {
    std::string text;
    AppendMagnitude(text, magnitude, decimals, decimalSeparator);
    return text;
}

}  // namespace Pelindra::Core
