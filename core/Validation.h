#pragma once

#include "core/Messages.h"
#include "core/TrackParams.h"

namespace Pelindra::Core {

inline constexpr std::string_view kPixelSizeMessage = "Pixel Size Must Be >0";
inline constexpr std::string_view kTimeIntervalMessage = "Time Interval Must Be >0";

enum class ParamsCheck { Usable, Unusable };

// Whether the record can be used to compute offsets; when it cannot, the reason has
// already been shown and the caller simply stops.
[[nodiscard]] ParamsCheck ValidateParams(const TrackParams& params, Messages& messages);

}  // namespace Pelindra::Core
