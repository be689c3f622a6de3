#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Pelindra::Ephemeris {

// The step between a table's rows in words: "1 minute", "10 minutes", "1 hour", "2 days",
// in the largest unit it is a whole number of (down to seconds). Empty when there is no
// step to tell: zero, negative, or not a whole number of seconds.
std::string StepText(std::int64_t stepMs);

// A step as Horizons states it in its header ("3 minutes", "1440 minutes", "1 calendar
// months") or a user types it for a query ("10 m", "1 h", "2 d"), in the words of StepText.
// A stated step of nothing ("0 steps") is empty; a form not known stays as stated.
std::string StatedStepText(std::string_view stated);

}  // namespace Pelindra::Ephemeris
