#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/Offsets.h"
#include "core/TrackParams.h"
#include "ephemeris/Table.h"

namespace Pelindra::TrackFile {

// The exact offset of each line of a track, signed, in pixels on the camera's axes.
using Steps = std::vector<Core::PixelOffset>;

// The record's own offset (as the captions show it) on each of `rowCount` lines.
Steps ConstantSteps(const Core::TrackParams& params, int rowCount);

// Line k covers start + k * TimeInterval to start + (k + 1) * TimeInterval; its step is the
// sky displacement over that interval (the integral of the ephemeris' linearly
// interpolated eastward and northward rates), in pixels as the offsets are computed. When
// the table does not cover the whole span, a message naming the span needed and the span
// the table covers.
std::variant<Steps, std::string> FollowingSteps(const Ephemeris::Table& table,
                                                Ephemeris::UtcMs start,
                                                const Core::TrackParams& params, int rowCount);

// The lines of a track from its exact steps: the interval text, the signed X and Y steps
// to a tenth of a pixel, CR LF; the rounding error is carried so the written sums stay
// within a tenth of the exact ones. nullopt when a running total leaves single range.
std::optional<std::string> TrackTextFromSteps(const Steps& steps, std::string_view intervalText,
                                              std::string_view decimalSeparator);

}  // namespace Pelindra::TrackFile
