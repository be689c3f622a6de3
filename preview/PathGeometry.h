#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/TrackParams.h"
#include "ephemeris/Table.h"
#include "trackfile/Steps.h"

namespace Pelindra::Preview {

// A place on the guide camera's sensor in pixels from the start point, along the
// camera's X and Y axes as the track file's offsets count them.
struct SensorPoint {
    double x = 0;
    double y = 0;
};

struct Tick {
    double minutes = 0;  // since the start
    SensorPoint at;
    SensorPoint along;  // unit vector along the path there; zero where it stands still
    std::string label;  // on every hour: "22:00" (UTC) or "60 min"; empty otherwise
};

// Unit vectors of sky north and east on the sensor.
struct SkyDirections {
    SensorPoint north;
    SensorPoint east;
};

// The guide camera's sensor, centred on the start point.
struct SensorFrame {
    int widthPixels = 0;
    int heightPixels = 0;
    std::optional<double> exitMinutes;  // when the path first reaches its edge
    SensorPoint exitAt;
};

struct PathGeometry {
    std::vector<SensorPoint> points;  // points[k]: after k lines; points[0] is the start
    double intervalSeconds = 0;
    double arcsecPerPixel = 0;
    double totalMinutes = 0;  // lines times the interval
    bool following = false;   // the steps follow an ephemeris rather than one rate
    std::optional<Ephemeris::UtcMs> startUtc;
    int tickMinutes = 10;
    int labelMinutes = 60;
    std::vector<Tick> ticks;
    double displacementPixels = 0;
    double displacementArcsec = 0;
    std::optional<SkyDirections> sky;
    std::optional<SensorFrame> frame;
    // What a picture must show: the path and the frame, never smaller than a few pixels.
    SensorPoint boundsMin;
    SensorPoint boundsMax;
    double scaleBarPixels = 0;  // 1, 2 or 5 times a power of ten, about a quarter of the bounds

    const SensorPoint& start() const { return points.front(); }
    const SensorPoint& end() const { return points.back(); }
};

struct PathSetup {
    double intervalSeconds = 0;
    double arcsecPerPixel = 0;
    std::optional<Ephemeris::UtcMs> startUtc;  // labels the ticks with UTC when given
    int sensorWidthPixels = 0;                 // 0: no frame
    int sensorHeightPixels = 0;
    std::optional<SkyDirections> sky;
    bool following = false;
};

// The path from the exact steps of each line: the running sums, with the guide point
// taken to move evenly within a line, so ticks fall between line ends too.
PathGeometry ComputePath(const TrackFile::Steps& steps, const PathSetup& setup);
// The same from where the guide point stands after each line, as a following track's path
// gives it, so the picture shows the very path the track file's sums follow.
PathGeometry ComputePath(const std::vector<TrackFile::PixelPoint>& lineEnds,
                         const PathSetup& setup);

// Sky north and east as the sensor sees them once the reversal flags are set as the
// README's test tracks find them: a track due north moves the stars, and so the guide
// point, south in the guide image. So north lies opposite the offset of a motion at PA 0,
// east opposite that at PA 90, after the camera angle, pier side and flags. nullopt when
// the pixel size or interval cannot give offsets.
[[nodiscard]] std::optional<SkyDirections> SkyDirectionsFor(const Core::TrackParams& params);

// Everything a preview is drawn from.
struct PathSource {
    Core::TrackParams params;  // as stored; the offsets are computed afresh from it
    // While an ephemeris is loaded, the track's start; the ticks then tell UTC.
    std::optional<Ephemeris::UtcMs> start;
    // The ephemeris the track follows from `start`; nullptr for the boxes' constant rate.
    // Read only during PathFor.
    const Ephemeris::Table* followed = nullptr;
    // For a table with rates alone: the object's declination as the user typed it.
    std::optional<double> typedDeclinationDegrees;
    int sensorWidthPixels = 0;  // 0: no sensor size set
    int sensorHeightPixels = 0;
};

// The path the track file for `source` would give, or why there is none (the message the
// save command would show, or the ephemeris' coverage).
[[nodiscard]] std::variant<PathGeometry, std::string> PathFor(const PathSource& source);

// "Following the ephemeris over 90 min: X -57.6 px, Y -82.3 px, 100.4 px in all (180.8")".
std::string TotalsText(const PathGeometry& path, std::string_view decimalSeparator);
// "The guide point leaves a 1280 x 960 sensor after 47 minutes.", or that it stays on it;
// empty without a sensor size.
std::string FrameText(const PathGeometry& path, std::string_view decimalSeparator);
// "start 21:37 UTC" or "start"; "end 23:07 UTC" or "end, 90 min".
std::string StartText(const PathGeometry& path);
std::string EndText(const PathGeometry& path, std::string_view decimalSeparator);
// "50 px = 90\"".
std::string ScaleBarText(const PathGeometry& path, std::string_view decimalSeparator);

}  // namespace Pelindra::Preview
