#pragma once

#include <string>
#include <string_view>

namespace Pelindra::Core {

// The display patterns "0.00" (decimals = 2) and "0.0" (decimals = 1) applied to a
// magnitude (never negative): at least one digit before the separator, exactly
// `decimals` after it, exact halves rounded away from zero, no grouping. The separator
// is the user's locale's, passed in.
std::string FormatMagnitude(float magnitude, int decimals, std::string_view decimalSeparator);

// The same, appended to `out`.
void AppendMagnitude(std::string& out, float magnitude, int decimals,
                     std::string_view decimalSeparator);

// The most characters a magnitude's digits take: FLT_MAX times 100 has 41.
inline constexpr std::size_t kMagnitudeDigits = 41;

// The same, written at `out`, which has room for kMagnitudeDigits characters and the
// separator; returns the end of what was written (the track file writer's hot path).
char* WriteMagnitude(char* out, float magnitude, int decimals, std::string_view decimalSeparator);

}  // namespace Pelindra::Core
