#pragma once

#include "core/Messages.h"
#include "core/TrackParams.h"

inline constexpr std::string_view kPixelSizeMessage = "Pixel Size Must Be >0";
inline constexpr std::string_view kTimeIntervalMessage = "Time Interval Must Be >0";

namespace Functions {

// True when the record cannot be used to compute offsets; the reason has then already
// been shown, and the caller simply stops.
bool ValidateParams(const TrackParams& params, Messages& messages);

}  // namespace Functions
