#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <optional>

namespace Pelindra::Core {

// A double stored into a 32-bit field, rounded to the nearest single; nullopt when it
// does not fit (infinite, NaN, or beyond the single-precision range). Inline: the track
// writer calls it several times a line, and a call returning the optional through memory
// cost more than the rest of the line.
inline std::optional<float> ToSingle(double value) {
    // Halfway between FLT_MAX and the next power of two: from here on a float rounds to
    // infinity. Below it, magnitudes above FLT_MAX round to FLT_MAX.
    constexpr double kOverflowThreshold = 0x1.ffffffp127;
    if (!std::isfinite(value) || std::fabs(value) >= kOverflowThreshold) return std::nullopt;
    if (std::fabs(value) > FLT_MAX) return std::copysign(FLT_MAX, value);
    return static_cast<float>(value);
}

// Round to the nearest whole number, a half going to the even neighbour (2.5 gives 2,
// 7.5 gives 8, -0.5 gives 0), whatever the floating-point environment.
double RoundHalfEven(double value);

// RoundHalfEven into a signed 16-bit whole number; nullopt outside -32768..32767.
std::optional<std::int16_t> ToInt16HalfEven(double value);

}  // namespace Pelindra::Core
