#pragma once

#include <optional>
#include <string_view>

namespace Pelindra::Core {

// The text a time interval that is not positive is repaired to: the number text of 1.
inline constexpr std::string_view kRepairedIntervalText = " 1";

// An interval that is zero, negative or no number at all becomes 1, as in the window's
// box. Returns the text the box then shows, or nullopt when the interval was usable.
[[nodiscard]] std::optional<std::string_view> RepairInterval(float& timeInterval);

}  // namespace Pelindra::Core
