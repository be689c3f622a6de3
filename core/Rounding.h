#pragma once

#include <cstdint>
#include <optional>

namespace Pelindra::Core {

// A double stored into a 32-bit field, rounded to the nearest single; nullopt when it
// does not fit (infinite, NaN, or beyond the single-precision range).
std::optional<float> ToSingle(double value);

// Round to the nearest whole number, a half going to the even neighbour (2.5 gives 2,
// 7.5 gives 8, -0.5 gives 0), whatever the floating-point environment.
double RoundHalfEven(double value);

// RoundHalfEven into a signed 16-bit whole number; nullopt outside -32768..32767.
std::optional<std::int16_t> ToInt16HalfEven(double value);

}  // namespace Pelindra::Core
