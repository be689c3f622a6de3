#include "trackfile/Steps.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "core/DisplayPattern.h"
#include "core/Messages.h"
#include "core/Rounding.h"
#include "ephemeris/Rate.h"
#include "ephemeris/UtcTime.h"

namespace Pelindra::TrackFile {

using namespace Core;
using Ephemeris::FormatUtcTime;
using Ephemeris::Row;
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

}  // namespace

Steps ConstantSteps(const TrackParams& params, int rowCount) {
    const float x = params.SignX == "+" ? params.DeltaX : -params.DeltaX;
    const float y = params.SignY == "+" ? params.DeltaY : -params.DeltaY;
    return Steps(static_cast<std::size_t>(rowCount > 0 ? rowCount : 0), PixelOffset{x, y});
}

std::variant<Steps, std::string> FollowingSteps(const Ephemeris::Table& table, UtcMs start,
                                                const TrackParams& params, int rowCount) {
    if (rowCount <= 0) return Steps{};
    const double interval = params.TimeInterval;
    const UtcMs end = EndOfTrack(start, rowCount * interval);
    const std::vector<Row>& rows = table.rows;
    if (rows.empty() || start < rows.front().time || end > rows.back().time) {
        const std::string needed = "The track needs the ephemeris from " + FormatUtcTime(start) +
                                   " to " + FormatUtcTime(end);
        if (rows.empty()) return needed + ", but it holds no row with a rate";
        return needed + ", but it covers " + FormatUtcTime(rows.front().time) + " to " +
               FormatUtcTime(rows.back().time);
    }
    // The track may end a fraction of a millisecond after the last row.
    const double last = SecondsAfter(start, rows.back().time);

    // A rate that never changes over the track gives the very step its motion and PA give
    // when typed, read into single precision as the boxes read them.
    if (const std::optional<RatePair> steady = SteadyRate(rows, start, end)) {
        const Ephemeris::Rate rate{steady->east, steady->north};
        const std::optional<float> motion = ToSingle(rate.MotionArcsecPerMinute());
        const std::optional<PixelOffset> offset =
            motion ? OffsetFor(params, *motion, static_cast<float>(rate.PositionAngleDegrees()),
                               params.TimeInterval)
                   : std::nullopt;
        if (!offset) return std::string(kOverflowMessage);
        return Steps(static_cast<std::size_t>(rowCount), *offset);
    }

    // The offset rule with the motion's east and north parts, k sin(PA) and k cos(PA),
    // taken straight from the displacement: no angle is computed for any line.
    const double turn = static_cast<double>(params.CameraAngle) * DegToRad;
    const double cosTurn = std::cos(turn);
    const double sinTurn = std::sin(turn);
    // Arcsec per minute times seconds to pixels.
    const double toPixels = 1 / (60.0 * static_cast<double>(params.PixSize));
    const auto axis = [&](double along) { return ToSingle(-along * toPixels); };

    Steps steps;
    steps.reserve(static_cast<std::size_t>(rowCount));
    RateIntegral integral(rows, start);
    for (int k = 0; k < rowCount; ++k) {
        const double a = std::min(k * interval, last);
        const double b = std::min((k + 1) * interval, last);
        const RatePair moved = integral.Integral(a, b);
        const std::optional<float> x = axis(moved.east * cosTurn - moved.north * sinTurn);
        const std::optional<float> y = axis(moved.north * cosTurn + moved.east * sinTurn);
        if (!x || !y) return std::string(kOverflowMessage);
        steps.push_back(WithReversals(params, PixelOffset{*x, *y}));
    }
    return steps;
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
