#include "trackfile/Steps.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>

#include "core/DisplayPattern.h"
#include "core/Messages.h"
#include "core/Rounding.h"
#include "ephemeris/Rate.h"
#include "ephemeris/SkyPath.h"
#include "ephemeris/UtcTime.h"

namespace Pelindra::TrackFile {

using namespace Core;
using Ephemeris::UtcTimeText;
using Ephemeris::Row;
using Ephemeris::SkyVector;
using Ephemeris::UtcMs;

namespace {

// One axis of the running-error correction. Totals and outs are singles; every sum is
// done in double and rounded to single when stored, the thresholds are the single 0.1,
// the correction the double 0.1. Negating every step negates every result exactly, so a
// constant step gives the same magnitudes whichever its sign.
class Axis {
  public:
    // The step to write for the next exact step; false when a total leaves single range.
    bool Next(float exact, float& out) {
        // A constant track repeats one step: its rounding is done once.
        if (std::bit_cast<std::uint32_t>(exact) != std::bit_cast<std::uint32_t>(exact_)) {
            exact_ = exact;
            const double tenths = RoundHalfEven(std::fabs(static_cast<double>(exact)) * 10);
            step_ = static_cast<float>(std::copysign(tenths / 10, static_cast<double>(exact)));
        }
        const auto trueTotal = ToSingle(static_cast<double>(trueTotal_) + exact);
        const auto written = ToSingle(static_cast<double>(writtenTotal_) + step_);
        if (!trueTotal || !written) return false;
        trueTotal_ = *trueTotal;
        writtenTotal_ = *written;
        out = step_;

        // Both totals fit a float and stay within a step of each other, so d does too.
        const auto d = static_cast<float>(static_cast<double>(writtenTotal_) - trueTotal_);
        if (d >= 0.1f) {
            out = static_cast<float>(static_cast<double>(out) - 0.1);
            writtenTotal_ = static_cast<float>(static_cast<double>(writtenTotal_) - 0.1);
        } else if (d <= -0.1f) {
            out = static_cast<float>(static_cast<double>(out) + 0.1);
            writtenTotal_ = static_cast<float>(static_cast<double>(writtenTotal_) + 0.1);
        }
        return true;
    }

  private:
    float exact_ = std::numeric_limits<float>::quiet_NaN();  // no step rounded yet
    float step_ = 0;
    float trueTotal_ = 0;
    float writtenTotal_ = 0;
};

// A blank and the step as written; a step written as nothing keeps the sign of its exact
// step, and zero, -0 included, is "-".
char* WriteStep(char* at, float out, float exact, std::string_view decimalSeparator) {
    *at++ = ' ';
    *at++ = out > 0 || (out == 0 && exact > 0) ? '+' : '-';
    return WriteMagnitude(at, std::fabs(out), 1, decimalSeparator);
}

// A blank and a step of a whole number of tenths (below 2^53), signed as WriteStep signs.
char* WriteTenths(char* at, double tenths, float exact, std::string_view decimalSeparator) {
    *at++ = ' ';
    *at++ = tenths > 0 || (tenths == 0 && exact > 0) ? '+' : '-';
    auto count = static_cast<std::uint64_t>(std::fabs(tenths));
    const char tenth = static_cast<char>('0' + count % 10);
    count /= 10;
    char digits[20];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + count % 10);
        count /= 10;
    } while (count > 0);
    while (n > 0) *at++ = digits[--n];
    for (char c : decimalSeparator) *at++ = c;
    *at++ = tenth;
    return at;
}

// Seconds from `start` to `time`; in double, so no pair of times can overflow.
double SecondsAfter(UtcMs start, UtcMs time) {
    return (static_cast<double>(time) - static_cast<double>(start)) / 1000;
}

// The eastward and northward rates, arcsec per minute.
struct RatePair {
    double east = 0;
    double north = 0;
};

// The ephemeris' rates integrated over consecutive intervals, walking its rows once.
class RateIntegral {
  public:
    RateIntegral(const std::vector<Row>& rows, UtcMs start) : rows_(rows), start_(start) {
        // The segment that holds the start: the last row at or before it.
        const auto after = std::upper_bound(rows.begin(), rows.end(), start,
                                            [](UtcMs t, const Row& row) { return t < row.time; });
        Enter(static_cast<std::size_t>(after - rows.begin()) - 1);
        end_ = At(0);
    }

    // The integral of the rates over [a, b] seconds after the start (arcsec per minute
    // times seconds), where `a` is the previous call's `b` (0 at first). The rows must
    // cover [a, b].
    RatePair Integral(double a, double b) {
        RatePair area;
        RatePair from = end_;
        double t = a;
        while (next_ < b) {
            const RatePair row{rows_[row_ + 1].eastArcsecPerMinute,
                               rows_[row_ + 1].northArcsecPerMinute};
            area.east += (from.east + row.east) / 2 * (next_ - t);
            area.north += (from.north + row.north) / 2 * (next_ - t);
            from = row;
            t = next_;
            Enter(row_ + 1);
        }
        end_ = At(b);
        area.east += (from.east + end_.east) / 2 * (b - t);
        area.north += (from.north + end_.north) / 2 * (b - t);
        return area;
    }

  private:
    double Seconds(std::size_t i) const { return SecondsAfter(start_, rows_[i].time); }

    // Makes row `i` and the next one the segment the rates are interpolated in.
    void Enter(std::size_t i) {
        row_ = i;
        const Row& a = rows_[i];
        time_ = Seconds(i);
        east_ = a.eastArcsecPerMinute;
        north_ = a.northArcsecPerMinute;
        eastSlope_ = northSlope_ = 0;
        if (i + 1 == rows_.size()) {
            next_ = std::numeric_limits<double>::infinity();
            return;
        }
        const Row& b = rows_[i + 1];
        next_ = Seconds(i + 1);
        // A segment of no length is only ever passed through.
        if (next_ > time_) {
            eastSlope_ = (b.eastArcsecPerMinute - east_) / (next_ - time_);
            northSlope_ = (b.northArcsecPerMinute - north_) / (next_ - time_);
        }
    }

    // The rates at `t`, which lies in the current segment (or on the last row).
    RatePair At(double t) const {
        return {east_ + eastSlope_ * (t - time_), north_ + northSlope_ * (t - time_)};
    }

    const std::vector<Row>& rows_;
    UtcMs start_;
    std::size_t row_ = 0;
    double time_ = 0;  // seconds after the start, of row_ and of the next row
    double next_ = 0;
    double east_ = 0;
    double north_ = 0;
    double eastSlope_ = 0;  // per second
    double northSlope_ = 0;
    RatePair end_;  // the rates where the last interval ended
};

// The rates, when every row the span [start, end] is interpolated from holds the same.
std::optional<RatePair> SteadyRate(const std::vector<Row>& rows, UtcMs start, UtcMs end) {
    const auto first = std::upper_bound(rows.begin(), rows.end(), start,
                                        [](UtcMs t, const Row& row) { return t < row.time; }) -
                       1;
    const auto past = std::lower_bound(rows.begin(), rows.end(), end,
                                       [](const Row& row, UtcMs t) { return row.time < t; });
    const auto last = past == rows.end() ? past : past + 1;
    const bool steady = std::all_of(first, last, [&](const Row& row) {
        return row.eastArcsecPerMinute == first->eastArcsecPerMinute &&
               row.northArcsecPerMinute == first->northArcsecPerMinute;
    });
    if (!steady) return std::nullopt;
    return RatePair{first->eastArcsecPerMinute, first->northArcsecPerMinute};
}

// The end of a track as a whole millisecond, for the coverage test and its message.
UtcMs EndOfTrack(UtcMs start, double seconds) {
    const double end = std::round(static_cast<double>(start) + seconds * 1000);
    // Beyond every table: any value past the last representable one says so.
    if (end >= 0x1p63) return std::numeric_limits<UtcMs>::max();
    return static_cast<UtcMs>(end);
}

constexpr double kArcsecPerRadian = 180 * 3600 / std::numbers::pi;
constexpr double kRadiansPerArcsecPerMinute = 1 / (kArcsecPerRadian * 60);  // to radians a second

// The object's place through the rows' positions, asked at times that never go back.
class PositionWalker {
  public:
    PositionWalker(const std::vector<Row>& rows, std::size_t first,
                   std::vector<Ephemeris::PathSegment> segments, UtcMs start)
        : rows_(rows), first_(first), segments_(std::move(segments)), start_(start) {}

    SkyVector At(double seconds) {
        while (at_ + 1 < segments_.size() && seconds > Seconds(at_ + 1)) ++at_;
        return segments_[at_].At((seconds - Seconds(at_)) / 60);
    }

  private:
    double Seconds(std::size_t segment) const {
        return SecondsAfter(start_, rows_[first_ + segment].time);
    }

    const std::vector<Row>& rows_;
    std::size_t first_;
    std::vector<Ephemeris::PathSegment> segments_;
    UtcMs start_;
    std::size_t at_ = 0;
};

// The object's place from its rates alone, integrated on the sphere from a declination: the
// eastward rate turns RA by east / cos(Dec). RA counts from the start; only differences of
// place matter. Asked at times that never go back.
class SphereWalker {
  public:
    SphereWalker(const std::vector<Row>& rows, UtcMs start, double declinationDegrees)
        : rows_(rows), start_(start), dec_(declinationDegrees * std::numbers::pi / 180) {
        const auto after = std::upper_bound(rows.begin(), rows.end(), start,
                                            [](UtcMs t, const Row& row) { return t < row.time; });
        row_ = static_cast<std::size_t>(after - rows.begin()) - 1;
    }

    SkyVector At(double seconds) {
        while (time_ < seconds) {
            const double segmentEnd = row_ + 1 < rows_.size()
                                          ? SecondsAfter(start_, rows_[row_ + 1].time)
                                          : std::numeric_limits<double>::infinity();
            if (segmentEnd <= time_) {
                ++row_;
                continue;
            }
            const double to = std::min(seconds, segmentEnd);
            Advance(to);
            if (to == segmentEnd) ++row_;
        }
        return {std::cos(dec_) * std::cos(ra_), std::cos(dec_) * std::sin(ra_), std::sin(dec_)};
    }

  private:
    // The rates at `t` seconds, linear within the current segment; radians a second.
    RatePair Rates(double t) const {
        const Row& a = rows_[row_];
        RatePair rate{a.eastArcsecPerMinute, a.northArcsecPerMinute};
        if (row_ + 1 < rows_.size()) {
            const Row& b = rows_[row_ + 1];
            const double from = SecondsAfter(start_, a.time);
            const double f = (t - from) / (SecondsAfter(start_, b.time) - from);
            rate.east += (b.eastArcsecPerMinute - rate.east) * f;
            rate.north += (b.northArcsecPerMinute - rate.north) * f;
        }
        return {rate.east * kRadiansPerArcsecPerMinute, rate.north * kRadiansPerArcsecPerMinute};
    }

    // RA's rate: within a hair of a pole it is held finite.
    static double RaRate(double east, double dec) { return east / std::max(std::cos(dec), 1e-9); }

    // Classical Runge-Kutta in pieces of at most a minute: the rates are straight lines in
    // time, so Dec comes out exact and RA to far below a millisecond of arc.
    void Advance(double to) {
        const double pieces = std::max(1.0, std::ceil((to - time_) / 60));
        const double h = (to - time_) / pieces;
        for (double piece = 0; piece < pieces; ++piece) {
            const double t = time_;
            const RatePair r1 = Rates(t), r2 = Rates(t + h / 2), r4 = Rates(t + h);
            const double k1 = RaRate(r1.east, dec_);
            const double k2 = RaRate(r2.east, dec_ + h / 2 * r1.north);
            const double k3 = RaRate(r2.east, dec_ + h / 2 * r2.north);
            const double k4 = RaRate(r4.east, dec_ + h * r2.north);
            ra_ += h / 6 * (k1 + 2 * k2 + 2 * k3 + k4);
            dec_ += h / 6 * (r1.north + 4 * r2.north + r4.north);
            time_ = piece + 1 == pieces ? to : t + h;
        }
    }

    const std::vector<Row>& rows_;
    UtcMs start_;
    std::size_t row_ = 0;
    double time_ = 0;  // seconds after the start
    double ra_ = 0;
    double dec_ = 0;
};

// Whether the rate changes by more than 2% between two rows the track is interpolated in.
bool Coarse(const std::vector<Row>& rows, std::size_t first, std::size_t last) {
    for (std::size_t i = first; i < last; ++i) {
        const Row& a = rows[i];
        const Row& b = rows[i + 1];
        const double change = std::hypot(b.eastArcsecPerMinute - a.eastArcsecPerMinute,
                                         b.northArcsecPerMinute - a.northArcsecPerMinute);
        const double size = std::max(std::hypot(a.eastArcsecPerMinute, a.northArcsecPerMinute),
                                     std::hypot(b.eastArcsecPerMinute, b.northArcsecPerMinute));
        if (change > 0.02 * size) return true;
    }
    return false;
}

}  // namespace

Steps ConstantSteps(const TrackParams& params, int rowCount) {
    const float x = params.SignX == "+" ? params.DeltaX : -params.DeltaX;
    const float y = params.SignY == "+" ? params.DeltaY : -params.DeltaY;
    return Steps(static_cast<std::size_t>(rowCount > 0 ? rowCount : 0), PixelOffset{x, y});
}

std::optional<std::string> FollowingCoverageProblem(const Ephemeris::Table& table, UtcMs start,
                                                    const TrackParams& params, int rowCount) {
    if (rowCount <= 0) return std::nullopt;
    const UtcMs end = EndOfTrack(start, rowCount * static_cast<double>(params.TimeInterval));
    const std::vector<Row>& rows = table.rows;
    const std::string needed =
        "The track needs the ephemeris from " + UtcTimeText(start) + " to " + UtcTimeText(end);
    if (rows.empty() || start < rows.front().time || end > rows.back().time) {
        if (rows.empty()) return needed + ", but it holds no row with a rate";
        return needed + ", but it covers " + UtcTimeText(rows.front().time) + " to " +
               UtcTimeText(rows.back().time);
    }
    if (const auto gap = Ephemeris::SpanWithoutRate(table, start, end)) {
        return needed + ", but it gives no rate from " + Ephemeris::SpanText(*gap);
    }
    return std::nullopt;
}

std::variant<FollowingTrack, std::string> FollowEphemeris(
    const Ephemeris::Table& table, UtcMs start, const TrackParams& params, int rowCount,
    std::optional<double> typedDeclinationDegrees) {
    if (rowCount <= 0) return FollowingTrack{};
    if (auto problem = FollowingCoverageProblem(table, start, params, rowCount)) {
        return std::move(*problem);
    }
    const double interval = params.TimeInterval;
    const UtcMs end = EndOfTrack(start, rowCount * interval);
    const std::vector<Row>& rows = table.rows;
    // The track may end a fraction of a millisecond after the last row.
    const double last = SecondsAfter(start, rows.back().time);

    // The rows the track is interpolated in: the last at or before its start through the
    // first at or after its end.
    const auto first = static_cast<std::size_t>(
        std::upper_bound(rows.begin(), rows.end(), start,
                         [](UtcMs t, const Row& row) { return t < row.time; }) -
        rows.begin() - 1);
    const auto final =
        std::max(first, static_cast<std::size_t>(
                            std::lower_bound(rows.begin(), rows.end(), end,
                                             [](const Row& row, UtcMs t) { return row.time < t; }) -
                            rows.begin()));

    FollowingTrack track;
    std::vector<Ephemeris::PathSegment> segments;
    for (std::size_t i = first; i < final; ++i) {
        std::optional<Ephemeris::PathSegment> segment = Ephemeris::SegmentAt(table, i);
        if (!segment) break;
        segments.push_back(*segment);
    }
    const bool positions = final > first && segments.size() == final - first;
    const std::optional<double> declination = positions                ? std::nullopt
                                              : rows[first].decDegrees ? rows[first].decDegrees
                                                                       : typedDeclinationDegrees;
    if (!positions && !declination) track.notes.emplace_back(kFlatSkyNote);
    if (Coarse(rows, first, final)) track.notes.emplace_back(kCoarseTableNote);

    // A rate that never changes over the track gives the very step its motion and PA give
    // when typed, read into single precision as the boxes read them. Without a declination
    // the typed track is as true as any.
    if (!positions && !declination) {
        if (const std::optional<RatePair> steady = SteadyRate(rows, start, end)) {
            const Ephemeris::Rate rate{steady->east, steady->north};
            const std::optional<float> motion = ToSingle(rate.MotionArcsecPerMinute());
            const std::optional<PixelOffset> offset =
                motion ? OffsetFor(params, *motion, static_cast<float>(rate.PositionAngleDegrees()),
                                   params.TimeInterval)
                       : std::nullopt;
            if (!offset) return std::string(kOverflowMessage);
            track.steps.assign(static_cast<std::size_t>(rowCount), *offset);
            return track;
        }
    }

    // The star's place seen from the object, east and north in arcsec, to the camera's
    // axes as the offset rule turns a motion's east and north parts; then the flags.
    const double turn = static_cast<double>(params.CameraAngle) * DegToRad;
    const double cosTurn = std::cos(turn);
    const double sinTurn = std::sin(turn);
    const PixelOffset flags = WithReversals(params, PixelOffset{1, 1});
    const double pixel = params.PixSize;
    const auto camera = [&](double east, double north) {
        return PixelPoint{flags.x * (east * cosTurn - north * sinTurn) / pixel,
                          flags.y * (north * cosTurn + east * sinTurn) / pixel};
    };

    std::optional<RateIntegral> flat;
    std::optional<PositionWalker> walker;
    std::optional<SphereWalker> sphere;
    SkyVector origin;
    if (positions) {
        walker.emplace(rows, first, std::move(segments), start);
        origin = walker->At(0);
    } else if (declination) {
        sphere.emplace(rows, start, *declination);
        origin = sphere->At(0);
    } else {
        flat.emplace(rows, start);
    }

    track.steps.reserve(static_cast<std::size_t>(rowCount));
    track.path.reserve(static_cast<std::size_t>(rowCount));
    RatePair moved;  // the flat sum, arcsec per minute times seconds
    PixelPoint previous;
    for (int k = 0; k < rowCount; ++k) {
        const double b = std::min((k + 1) * interval, last);
        PixelPoint point;
        if (flat) {
            const RatePair area = flat->Integral(std::min(k * interval, last), b);
            moved.east += area.east;
            moved.north += area.north;
            point = camera(-moved.east / 60, -moved.north / 60);
        } else {
            const SkyVector at = walker ? walker->At(b) : sphere->At(b);
            const std::optional<Ephemeris::Tangent> seen = Ephemeris::Project(origin, at);
            if (!seen) return std::string(kOverflowMessage);
            point = camera(seen->east * kArcsecPerRadian, seen->north * kArcsecPerRadian);
        }
        const std::optional<float> x = ToSingle(point.x - previous.x);
        const std::optional<float> y = ToSingle(point.y - previous.y);
        if (!x || !y || !std::isfinite(point.x) || !std::isfinite(point.y)) {
            return std::string(kOverflowMessage);
        }
        track.steps.push_back(PixelOffset{*x, *y});
        track.path.push_back(point);
        previous = point;
    }
    return track;
}

std::variant<Steps, std::string> FollowingSteps(const Ephemeris::Table& table, UtcMs start,
                                                const TrackParams& params, int rowCount) {
    auto followed = FollowEphemeris(table, start, params, rowCount);
    if (auto* problem = std::get_if<std::string>(&followed)) return std::move(*problem);
    return std::move(std::get<FollowingTrack>(followed).steps);
}

std::optional<std::string> TrackTextOf(const FollowingTrack& track, std::string_view intervalText,
                                       std::string_view decimalSeparator) {
    if (track.path.empty()) return TrackTextFromSteps(track.steps, intervalText, decimalSeparator);
    std::string text;
    text.reserve(track.path.size() * (intervalText.size() + 16));
    std::string line(intervalText);
    line.resize(intervalText.size() + 2 * (2 + kMagnitudeDigits + decimalSeparator.size()) + 2);
    char* const afterInterval = line.data() + intervalText.size();
    // The written totals in whole tenths, which no sum of lines can make drift.
    double writtenX = 0;
    double writtenY = 0;
    for (std::size_t k = 0; k < track.path.size(); ++k) {
        const double tenthsX = RoundHalfEven(track.path[k].x * 10);
        const double tenthsY = RoundHalfEven(track.path[k].y * 10);
        // Beyond 2^53 tenths whole numbers are no longer exact.
        if (!(std::fabs(tenthsX) < 0x1p53) || !(std::fabs(tenthsY) < 0x1p53)) return std::nullopt;
        // Written from the whole tenths themselves: through a float, a step of a million
        // pixels would lose its last tenth and the written sums would stray from the path.
        char* at =
            WriteTenths(afterInterval, tenthsX - writtenX, track.steps[k].x, decimalSeparator);
        at = WriteTenths(at, tenthsY - writtenY, track.steps[k].y, decimalSeparator);
        writtenX = tenthsX;
        writtenY = tenthsY;
        *at++ = '\r';
        *at++ = '\n';
        text.append(line.data(), static_cast<std::size_t>(at - line.data()));
    }
    return text;
}

std::optional<std::string> TrackTextFromSteps(const Steps& steps, std::string_view intervalText,
                                              std::string_view decimalSeparator) {
    Axis x;
    Axis y;
    std::string text;
    text.reserve(steps.size() * (intervalText.size() + 16));
    // Each line is put together here after its interval field, which every line shares,
    // then appended at once.
    std::string line(intervalText);
    line.resize(intervalText.size() + 2 * (2 + kMagnitudeDigits + decimalSeparator.size()) + 2);
    char* const afterInterval = line.data() + intervalText.size();
    for (const PixelOffset& step : steps) {
        float xOut = 0;
        float yOut = 0;
        if (!x.Next(step.x, xOut) || !y.Next(step.y, yOut)) return std::nullopt;
        char* at = WriteStep(afterInterval, xOut, step.x, decimalSeparator);
        at = WriteStep(at, yOut, step.y, decimalSeparator);
        *at++ = '\r';
        *at++ = '\n';
        text.append(line.data(), static_cast<std::size_t>(at - line.data()));
    }
    return text;
}

}  // namespace Pelindra::TrackFile
