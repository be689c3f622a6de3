#include "preview/PathGeometry.h"

#include <algorithm>
#include <cmath>

#include "core/DisplayPattern.h"
#include "core/Messages.h"
#include "core/NumberText.h"
#include "core/Offsets.h"
#include "core/Rounding.h"
#include "ephemeris/UtcTime.h"
#include "trackfile/SaveCommand.h"

namespace Pelindra::Preview {

using Ephemeris::UtcMs;

namespace {

constexpr int kTickMinutes = 10;
constexpr int kLabelMinutes = 60;
// Beyond this many ticks (69 days at 10 minutes) they are spaced wider, so a track of
// enormous intervals cannot ask for millions of them.
constexpr double kMostTicks = 10'000;
// Past 1900 years a track has no ticks and no clock times at all.
constexpr double kLongestTimedMinutes = 1e9;
// A path that hardly moves is still drawn at a size where its marks can be told apart.
constexpr double kLeastExtentPixels = 20;
constexpr UtcMs kMsPerMinute = 60'000;

// Keeps the first message, as the user would see it first.
class FirstMessage : public Core::Messages, public Core::OffsetDisplay {
  public:
    void ShowError(const std::string& text) override {
        if (text_.empty()) text_ = text;
    }
    void SetDeltaXCaption(const std::string&) override {}
    void SetDeltaYCaption(const std::string&) override {}
    const std::string& text() const { return text_; }

  private:
    std::string text_;
};

SensorPoint Unit(double x, double y) {
    const double length = std::hypot(x, y);
    if (!(length > 0) || !std::isfinite(length)) return {};
    return {x / length, y / length};
}

// The display pattern with `decimals` (1 or 2) places, trailing zeros and a bare
// separator dropped.
std::string Trimmed(double magnitude, int decimals, std::string_view separator) {
    const std::optional<float> single = Core::ToSingle(std::fabs(magnitude));
    if (!single) return "overflow";
    std::string text = Core::FormatMagnitude(*single, decimals, separator);
    const std::size_t mark = text.rfind(separator);
    if (mark == std::string::npos) return text;
    while (text.size() > mark + separator.size() && text.back() == '0') text.pop_back();
    if (text.size() == mark + separator.size()) text.resize(mark);
    return text;
}

std::string Signed(double value, std::string_view separator) {
    const std::string magnitude = Trimmed(value, 1, separator);
    // A value that shows as zero has no sign.
    if (magnitude == "0" || value == 0) return "0";
    return (value < 0 ? "-" : "+") + magnitude;
}

std::string MinutesText(double minutes, std::string_view separator) {
    return Trimmed(minutes, 2, separator);
}

// "21:37", or "21:37:42" when the seconds are not zero.
std::string ClockText(UtcMs time) {
    const std::string iso = Ephemeris::FormatUtcTime(time);  // 2026-12-07T21:37:42Z
    const std::size_t t = iso.find('T');
    if (t == std::string::npos || iso.size() < t + 9) return iso;
    const std::string seconds = iso.substr(t + 7, 2);
    return iso.substr(t + 1, seconds == "00" && iso[t + 9] == 'Z' ? 5 : 8);
}

UtcMs FloorDiv(UtcMs value, UtcMs divisor) {
    UtcMs quotient = value / divisor;
    if (value % divisor != 0 && value < 0) --quotient;
    return quotient;
}

// The point and the direction of travel `minutes` after the start, moving evenly within
// each line.
Tick TickAt(const PathGeometry& path, double minutes) {
    Tick tick;
    tick.minutes = minutes;
    const std::size_t lines = path.points.size() - 1;
    const double line = minutes * 60 / path.intervalSeconds;
    std::size_t k = line <= 0 ? 0 : static_cast<std::size_t>(line);
    double fraction = line - static_cast<double>(k);
    if (k >= lines) {
        k = lines - 1;
        fraction = 1;
    }
    const SensorPoint& a = path.points[k];
    const SensorPoint& b = path.points[k + 1];
    tick.at = {a.x + fraction * (b.x - a.x), a.y + fraction * (b.y - a.y)};
    tick.along = Unit(b.x - a.x, b.y - a.y);
    return tick;
}

void AddTicks(PathGeometry& path) {
    if (path.points.size() < 2 || !(path.intervalSeconds > 0)) return;
    if (!(path.totalMinutes <= kLongestTimedMinutes)) return;
    const double factor = std::max(1.0, std::ceil(path.totalMinutes / kTickMinutes / kMostTicks));
    path.tickMinutes = static_cast<int>(kTickMinutes * factor);
    path.labelMinutes = static_cast<int>(kLabelMinutes * factor);
    const auto totalMs = path.totalMinutes * static_cast<double>(kMsPerMinute);
    if (path.startUtc) {
        // On the clock's own tens of minutes and hours, which the observer plans by.
        const UtcMs start = *path.startUtc;
        const UtcMs step = path.tickMinutes * kMsPerMinute;
        const UtcMs hour = path.labelMinutes * kMsPerMinute;
        for (UtcMs t = (FloorDiv(start, step) + 1) * step;
             static_cast<double>(t - start) <= totalMs; t += step) {
            Tick tick = TickAt(path, static_cast<double>(t - start) / kMsPerMinute);
            if (t % hour == 0) tick.label = ClockText(t);
            path.ticks.push_back(std::move(tick));
        }
        return;
    }
    for (long long n = 1; static_cast<double>(n) * path.tickMinutes <= path.totalMinutes; ++n) {
        const long long minutes = n * path.tickMinutes;
        Tick tick = TickAt(path, static_cast<double>(minutes));
        if (minutes % path.labelMinutes == 0) tick.label = std::to_string(minutes) + " min";
        path.ticks.push_back(std::move(tick));
    }
}

// The first moment the guide point reaches the edge of a sensor centred on the start.
void AddFrame(PathGeometry& path, int widthPixels, int heightPixels) {
    if (widthPixels <= 0 || heightPixels <= 0) return;
    SensorFrame frame;
    frame.widthPixels = widthPixels;
    frame.heightPixels = heightPixels;
    const double halfWidth = widthPixels / 2.0;
    const double halfHeight = heightPixels / 2.0;
    // A straight piece from a point inside the rectangle ends outside it or stays inside.
    for (std::size_t k = 0; k + 1 < path.points.size(); ++k) {
        const SensorPoint& a = path.points[k];
        const SensorPoint& b = path.points[k + 1];
        const bool outX = std::fabs(b.x) > halfWidth;
        const bool outY = std::fabs(b.y) > halfHeight;
        if (!outX && !outY) continue;
        double s = 1;
        if (outX) s = std::min(s, (std::copysign(halfWidth, b.x) - a.x) / (b.x - a.x));
        if (outY) s = std::min(s, (std::copysign(halfHeight, b.y) - a.y) / (b.y - a.y));
        s = std::clamp(s, 0.0, 1.0);
        frame.exitMinutes = (static_cast<double>(k) + s) * path.intervalSeconds / 60;
        frame.exitAt = {a.x + s * (b.x - a.x), a.y + s * (b.y - a.y)};
        break;
    }
    path.frame = frame;
}

void AddBounds(PathGeometry& path) {
    SensorPoint low = path.points.front();
    SensorPoint high = low;
    for (const SensorPoint& p : path.points) {
        low = {std::min(low.x, p.x), std::min(low.y, p.y)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y)};
    }
    if (path.frame) {
        const double halfWidth = path.frame->widthPixels / 2.0;
        const double halfHeight = path.frame->heightPixels / 2.0;
        low = {std::min(low.x, -halfWidth), std::min(low.y, -halfHeight)};
        high = {std::max(high.x, halfWidth), std::max(high.y, halfHeight)};
    }
    auto widen = [](double& a, double& b) {
        if (b - a >= kLeastExtentPixels) return;
        const double middle = (a + b) / 2;
        a = middle - kLeastExtentPixels / 2;
        b = middle + kLeastExtentPixels / 2;
    };
    widen(low.x, high.x);
    widen(low.y, high.y);
    path.boundsMin = low;
    path.boundsMax = high;

    const double quarter = std::max(high.x - low.x, high.y - low.y) / 4;
    double bar = std::pow(10.0, std::floor(std::log10(quarter)));
    for (double factor : {5.0, 2.0}) {
        if (bar * factor <= quarter) {
            bar *= factor;
            break;
        }
    }
    path.scaleBarPixels = bar;
}

}  // namespace

PathGeometry ComputePath(const TrackFile::Steps& steps, const PathSetup& setup) {
    std::vector<TrackFile::PixelPoint> ends;
    ends.reserve(steps.size());
    TrackFile::PixelPoint at;
    for (const Core::PixelOffset& step : steps) {
        at.x += static_cast<double>(step.x);
        at.y += static_cast<double>(step.y);
        ends.push_back(at);
    }
    return ComputePath(ends, setup);
}

PathGeometry ComputePath(const std::vector<TrackFile::PixelPoint>& lineEnds,
                         const PathSetup& setup) {
    PathGeometry path;
    path.intervalSeconds = setup.intervalSeconds;
    path.arcsecPerPixel = setup.arcsecPerPixel;
    path.following = setup.following;
    path.startUtc = setup.startUtc;
    path.sky = setup.sky;
    path.points.reserve(lineEnds.size() + 1);
    path.points.push_back(SensorPoint{});
    for (const TrackFile::PixelPoint& end : lineEnds) path.points.push_back({end.x, end.y});
    const SensorPoint at = path.points.back();
    path.totalMinutes = static_cast<double>(lineEnds.size()) * setup.intervalSeconds / 60;
    path.displacementPixels = std::hypot(at.x, at.y);
    path.displacementArcsec = path.displacementPixels * setup.arcsecPerPixel;
    AddTicks(path);
    AddFrame(path, setup.sensorWidthPixels, setup.sensorHeightPixels);
    AddBounds(path);
    return path;
}

std::optional<SkyDirections> SkyDirectionsFor(const Core::TrackParams& params) {
    // Only the directions count: a pixel size of 1 keeps the offsets well within range.
    Core::TrackParams unit = params;
    unit.PixSize = 1;
    const auto north = Core::OffsetFor(unit, 60, 0, 60);
    const auto east = Core::OffsetFor(unit, 60, 90, 60);
    if (!north || !east) return std::nullopt;
    SkyDirections sky{Unit(-static_cast<double>(north->x), -static_cast<double>(north->y)),
                      Unit(-static_cast<double>(east->x), -static_cast<double>(east->y))};
    if (sky.north.x == 0 && sky.north.y == 0) return std::nullopt;
    return sky;
}

std::variant<PathGeometry, std::string> PathFor(const PathSource& source) {
    Core::TrackParams params = source.params;
    FirstMessage messages;
    if (Core::ValidateAndUpdate(params, messages, messages, ".") != Core::UpdateResult::Shown) {
        return messages.text();
    }
    const std::optional<int> rows = TrackFile::RowCount(params, messages);
    if (!rows) return messages.text();
    if (*rows < 1) {
        return "no path to draw: a total time of " + Trimmed(params.TotalTime, 2, ".") +
               " minutes gives no line at intervals of " + Trimmed(params.TimeInterval, 2, ".") +
               " seconds";
    }

    const bool following = source.followed && source.start;
    TrackFile::Steps steps;
    std::optional<TrackFile::FollowingTrack> track;
    if (following) {
        auto followed = TrackFile::FollowEphemeris(*source.followed, *source.start, params, *rows,
                                                   source.typedDeclinationDegrees);
        if (auto* problem = std::get_if<std::string>(&followed)) return std::move(*problem);
        track = std::get<TrackFile::FollowingTrack>(std::move(followed));
    } else {
        steps = TrackFile::ConstantSteps(params, *rows);
    }
    PathSetup setup;
    setup.intervalSeconds = static_cast<double>(params.TimeInterval);
    setup.arcsecPerPixel = static_cast<double>(params.PixSize);
    setup.startUtc = source.start;
    setup.sensorWidthPixels = source.sensorWidthPixels;
    setup.sensorHeightPixels = source.sensorHeightPixels;
    setup.sky = SkyDirectionsFor(params);
    setup.following = following;
    if (track && !track->path.empty()) return ComputePath(track->path, setup);
    return ComputePath(track ? track->steps : steps, setup);
}

std::string TotalsText(const PathGeometry& path, std::string_view separator) {
    const SensorPoint& end = path.end();
    return std::string(path.following ? "Following the ephemeris" : "Constant rate") + " over " +
           MinutesText(path.totalMinutes, separator) + " min: X " + Signed(end.x, separator) +
           " px, Y " + Signed(end.y, separator) + " px, " +
           Trimmed(path.displacementPixels, 1, separator) + " px in all (" +
           Trimmed(path.displacementArcsec, 1, separator) + "\")";
}

std::string FrameText(const PathGeometry& path, std::string_view separator) {
    if (!path.frame) return {};
    const std::string sensor = "a " + std::to_string(path.frame->widthPixels) + " x " +
                               std::to_string(path.frame->heightPixels) + " sensor";
    if (!path.frame->exitMinutes) {
        return "The guide point stays on " + sensor + " for all " +
               MinutesText(path.totalMinutes, separator) + " min.";
    }
    // Whole minutes it is still on the sensor; a hair below a whole number is that number.
    const double minutes = std::floor(*path.frame->exitMinutes + 1e-9);
    if (minutes < 1) return "The guide point leaves " + sensor + " within the first minute.";
    const auto count = static_cast<long long>(minutes);
    return "The guide point leaves " + sensor + " after " + std::to_string(count) +
           (count == 1 ? " minute." : " minutes.");
}

std::string StartText(const PathGeometry& path) {
    if (!path.startUtc) return "start";
    return "start " + ClockText(*path.startUtc) + " UTC";
}

std::string EndText(const PathGeometry& path, std::string_view separator) {
    if (!path.startUtc || !(path.totalMinutes <= kLongestTimedMinutes)) {
        return "end, " + MinutesText(path.totalMinutes, separator) + " min";
    }
    const auto elapsed = static_cast<UtcMs>(std::llround(path.totalMinutes * kMsPerMinute));
    return "end " + ClockText(*path.startUtc + elapsed) + " UTC";
}

std::string ScaleBarText(const PathGeometry& path, std::string_view separator) {
    return Trimmed(path.scaleBarPixels, 1, separator) +
           " px = " + Trimmed(path.scaleBarPixels * path.arcsecPerPixel, 1, separator) + "\"";
}

}  // namespace Pelindra::Preview
