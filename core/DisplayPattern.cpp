#include "core/DisplayPattern.h"

#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdint>

std::string FormatMagnitude(float magnitude, int decimals, std::string_view decimalSeparator) {
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
    std::string_view number(digits, static_cast<std::size_t>(end - digits));

    std::string text;
    text.reserve(number.size() + decimalSeparator.size() + 2);
    const std::size_t wanted = static_cast<std::size_t>(decimals) + 1;
    if (number.size() < wanted) text.append(wanted - number.size(), '0');
    text += number;
    text.insert(text.size() - static_cast<std::size_t>(decimals), decimalSeparator);
    return text;
}
