#pragma once

#include <string_view>

#include "core/Messages.h"
#include "core/TrackParams.h"

// Degrees to radians. Deliberately the decimal 0.01745329252, not pi/180: it decides the
// sign shown for offsets that are mathematically zero at 90, 180 and 270 degrees.
inline constexpr double DegToRad = 0.01745329252;

namespace Functions {

// Recomputes DeltaX, DeltaY, SignX and SignY from the record and shows the two captions,
// X first. Call only after ValidateParams returned false. When an offset does not fit a
// 32-bit float, shows "Overflow", leaves outputs and captions as they were and returns false.
bool UpdateOffsets(TrackParams& params, OffsetDisplay& display, Messages& messages,
                   std::string_view decimalSeparator);

}  // namespace Functions
