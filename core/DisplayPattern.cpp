#include "core/DisplayPattern.h"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace Pelindra::Core {

char* WriteMagnitude(char* out, float magnitude, int decimals, std::string_view decimalSeparator) {
    assert(decimals == 1 || decimals == 2);
    assert(!(magnitude < 0));
    // A float has 24 significant bits, so scaling by 10 or 100 is exact in double and
    // std::round then rounds the exact value, halves away from zero.
    const double scaled = std::round(static_cast<double>(magnitude) * (decimals == 2 ? 100 : 10));

    char digits[kMagnitudeDigits + 1];
    char* end;
    if (scaled < 0x1p64) {
        end = std::to_chars(digits, digits + sizeof digits, static_cast<std::uint64_t>(scaled)).ptr;
    } else {
        end =
            std::to_chars(digits, digits + sizeof digits, scaled, std::chars_format::fixed, 0).ptr;
    }
    const auto length = static_cast<std::size_t>(end - digits);
    const auto fraction = static_cast<std::size_t>(decimals);
    // Whole digits, at least one, then the separator and exactly `decimals` digits. A few
    // characters each: plain loops, which cost less here than calls to memmove.
    const auto put = [&out](const char* from, const char* to) {
        while (from != to) *out++ = *from++;
    };
    if (length <= fraction) *out++ = '0';
    put(digits, end - std::min(length, fraction));
    put(decimalSeparator.data(), decimalSeparator.data() + decimalSeparator.size());
    for (std::size_t zero = length; zero < fraction; ++zero) *out++ = '0';
    put(end - std::min(length, fraction), end);
    return out;
}

void AppendMagnitude(std::string& out, float magnitude, int decimals,
                     std::string_view decimalSeparator) {
    const std::size_t old = out.size();
    out.resize(old + kMagnitudeDigits + decimalSeparator.size());
    const char* end = WriteMagnitude(out.data() + old, magnitude, decimals, decimalSeparator);
    out.resize(static_cast<std::size_t>(end - out.data()));
}

std::string FormatMagnitude(float magnitude, int decimals, std::string_view decimalSeparator) {
    std::string text;
    AppendMagnitude(text, magnitude, decimals, decimalSeparator);
    return text;
}

}  // namespace Pelindra::Core
