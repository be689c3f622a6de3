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

// Where the guide point stands after a line, in pixels from where it started, along the
// camera's axes as the steps count them.
struct PixelPoint {
    double x = 0;
    double y = 0;
};

// A track that follows an ephemeris.
struct FollowingTrack {
    Steps steps;  // each line's step, rounded to single
    // The guide point after each line, in double: what the written steps' running sums
    // follow. Empty for a rate that never changes, whose track is the one typed.
    std::vector<PixelPoint> path;
    // What the user is told once, beside the track: how it falls short of the true path.
    std::vector<std::string> notes;
};

inline constexpr std::string_view kFlatSkyNote =
    "The ephemeris gives no declination and none was typed, so the track follows its rates "
    "as if the sky were flat; give the object's declination for a truer track.";
inline constexpr std::string_view kCoarseTableNote =
    "The ephemeris' rate changes by more than 2% from one row to the next within the track: "
    "a table with a finer step gives a truer track.";

// Line k covers start + k * TimeInterval to start + (k + 1) * TimeInterval. A camera whose
// axes the mount keeps on the object's local north and east sees a star that stood at the
// object's start P0 at the gnomonic projection of P0 about the object's place P(t): that is
// where the guide point is after each line, in pixels as the offsets are computed (camera
// angle, pier side, flags). P(t) runs through the rows' positions with their rates as slopes
// (see Ephemeris::PathSegment); a table with rates only is integrated on the sphere from
// the declination it gives, else `typedDeclinationDegrees`; with neither, the rates,
// interpolated linearly, are summed as if the sky were flat. A table whose rate never
// changes over the track and gives no declination writes the very steps its motion and PA
// give when typed. When the table does not cover the whole span, or gives no rate within it,
// a message naming the span needed and what the table lacks.
std::variant<FollowingTrack, std::string> FollowEphemeris(
    const Ephemeris::Table& table, Ephemeris::UtcMs start, const Core::TrackParams& params,
    int rowCount, std::optional<double> typedDeclinationDegrees = std::nullopt);

// FollowEphemeris' refusal when the table does not cover the track's span or gives no rate
// within it; nullopt when it does.
std::optional<std::string> FollowingCoverageProblem(const Ephemeris::Table& table,
                                                    Ephemeris::UtcMs start,
                                                    const Core::TrackParams& params, int rowCount);

// The steps of FollowEphemeris alone.
std::variant<Steps, std::string> FollowingSteps(const Ephemeris::Table& table,
                                                Ephemeris::UtcMs start,
                                                const Core::TrackParams& params, int rowCount);

// The lines of a following track: each written step is the change in the path's position
// rounded to the nearest tenth, so after every line the written sums lie within 0.05 pixel
// of the path (in double precision). A track without a path is written as TrackTextFromSteps
// writes it. nullopt when a position leaves the range a track can write.
std::optional<std::string> TrackTextOf(const FollowingTrack& track, std::string_view intervalText,
                                       std::string_view decimalSeparator);

// The lines of a track from its exact steps: the interval text, the signed X and Y steps
// to a tenth of a pixel, CR LF; the rounding error is carried so the written sums stay
// within a tenth of the exact ones. nullopt when a running total leaves single range.
std::optional<std::string> TrackTextFromSteps(const Steps& steps, std::string_view intervalText,
                                              std::string_view decimalSeparator);

}  // namespace Pelindra::TrackFile
