#include "core/Rounding.h"

#include <cfloat>
#include <cmath>

namespace Pelindra::Core {

std::optional<float> ToSingle(double value) {
    // Halfway between FLT_MAX and the next power of two: from here on a float rounds to
    // infinity. Below it, magnitudes above FLT_MAX round to FLT_MAX.
    constexpr double kOverflowThreshold = 0x1.ffffffp127;
    if (!std::isfinite(value) || std::fabs(value) >= kOverflowThreshold) return std::nullopt;
    if (std::fabs(value) > FLT_MAX) return std::copysign(FLT_MAX, value);
    return static_cast<float>(value);
}

double RoundHalfEven(double value) {
    const double floor = std::floor(value);
    const double fraction = value - floor;  // exact
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(floor, 2.0) != 0.0)) return floor + 1;
    return floor;
}

std::optional<std::int16_t> ToInt16HalfEven(double value) {
    if (!std::isfinite(value)) return std::nullopt;
    const double rounded = RoundHalfEven(value);
    if (rounded < -32768.0 || rounded > 32767.0) return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

}  // namespace Pelindra::Core
