#pragma once

#include <optional>
#include <string_view>

#include "core/Messages.h"
#include "core/TrackParams.h"

namespace Pelindra::Core {

// Degrees to radians. Deliberately the decimal 0.01745329252, not pi/180: it decides the
// sign shown for offsets that are mathematically zero at 90, 180 and 270 degrees.
inline constexpr double DegToRad = 0.01745329252;

// An offset in pixels per interval along the camera's X and Y axes, signed.
struct PixelOffset {
    float x = 0;
    float y = 0;
};

enum class UpdateResult {
    Shown,          // outputs and captions are fresh
    InvalidParams,  // pixel size or interval not positive; the reason was shown
    Overflow,       // an offset does not fit a 32-bit float; "Overflow" was shown
};

// The offset of a motion (arcsec per minute) at a position angle (degrees) over an interval
// (seconds), with the record's pixel size, camera angle, pier side and reversal flags:
// X = -k sin(PA - angle), Y = -k cos(PA - angle), k = motion * interval / 60 / pixel size,
// each rounded to single precision, then negated as the flags say. nullopt when an offset
// does not fit a float. The pixel size must be positive.
[[nodiscard]] std::optional<PixelOffset> OffsetFor(const TrackParams& setup, float motion,
                                                   float positionAngle, float intervalSeconds);

// The offset as the record's pier side and reversal flags turn it.
[[nodiscard]] PixelOffset WithReversals(const TrackParams& setup, PixelOffset offset);

// Recomputes DeltaX, DeltaY, SignX and SignY from the record and shows the two captions,
// X first. Call only on a record that ValidateParams found usable. On overflow the
// outputs and captions stay as they were.
[[nodiscard]] UpdateResult UpdateOffsets(TrackParams& params, OffsetDisplay& display,
                                         Messages& messages, std::string_view decimalSeparator);

// Validate, then, when the record is usable, recompute and show the offsets: the step
// that follows every edit, the load, Apply and the save command.
[[nodiscard]] UpdateResult ValidateAndUpdate(TrackParams& params, OffsetDisplay& display,
                                             Messages& messages, std::string_view decimalSeparator);

}  // namespace Pelindra::Core
