#include "ephemeris/Rate.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/NumberText.h"
#include "core/Rounding.h"
#include "ephemeris/UtcTime.h"

namespace Pelindra::Ephemeris {

double Rate::MotionArcsecPerMinute() const {
    return std::hypot(eastArcsecPerMinute, northArcsecPerMinute);
}

double Rate::PositionAngleDegrees() const {
    const double degrees =
        std::atan2(eastArcsecPerMinute, northArcsecPerMinute) * 180 / std::numbers::pi;
    // atan2 gives (-180, 180]; -0 and tiny negatives must not come out as 360.
    const double wrapped = degrees < 0 ? degrees + 360 : degrees;
    return wrapped >= 360 ? 0 : wrapped + 0.0;
}

std::optional<std::string> Rate::MotionText() const {
    const std::optional<float> motion = Core::ToSingle(MotionArcsecPerMinute());
    if (!motion) return std::nullopt;
    return Core::NumberText(*motion);
}

std::string Rate::PositionAngleText() const {
    return Core::NumberText(static_cast<float>(PositionAngleDegrees()));
}

std::variant<Rate, std::string> RateAt(const Table& table, UtcMs time) {
    const std::vector<Row>& rows = table.rows;
    if (rows.empty()) return std::string("the ephemeris holds no row with a rate");
    if (time < rows.front().time || time > rows.back().time) {
        return "no rate for " + FormatUtcTime(time) + ": the ephemeris covers " +
               FormatUtcTime(rows.front().time) + " to " + FormatUtcTime(rows.back().time);
    }
    // The first row after `time`; the one before it starts the interval.
    const auto after = std::upper_bound(rows.begin(), rows.end(), time,
                                        [](UtcMs t, const Row& row) { return t < row.time; });
    const Row& a = *(after - 1);
    if (a.time == time || after == rows.end()) {
        return Rate{a.eastArcsecPerMinute, a.northArcsecPerMinute};
    }
    const Row& b = *after;
    const double f = static_cast<double>(time - a.time) / static_cast<double>(b.time - a.time);
    return Rate{a.eastArcsecPerMinute + (b.eastArcsecPerMinute - a.eastArcsecPerMinute) * f,
                a.northArcsecPerMinute + (b.northArcsecPerMinute - a.northArcsecPerMinute) * f};
}

}  // namespace Pelindra::Ephemeris
