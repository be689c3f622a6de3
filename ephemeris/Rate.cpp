#include "ephemeris/Rate.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/NumberText.h"
#include "core/Rounding.h"
#include "ephemeris/SkyPath.h"
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

std::optional<Span> SpanWithoutRate(const Table& table, UtcMs from, UtcMs to) {
    const std::vector<Row>& rows = table.rows;
    const auto byTime = [](UtcMs t, const Row& row) { return t < row.time; };
    for (const UtcMs hole : table.holes) {
        const auto after = std::upper_bound(rows.begin(), rows.end(), hole, byTime);
        const auto before = std::lower_bound(rows.begin(), rows.end(), hole,
                                       [](const Row& row, UtcMs t) { return row.time < t; });
        const Span span{before == rows.begin() ? hole : (before - 1)->time,
                        after == rows.end() ? hole : after->time};
        // Rows at either end keep their own rates: only the time strictly between has none.
        const bool reaches = from == to ? span.from < from && from < span.to
                                        : span.from < to && from < span.to;
        if (reaches || hole == from || hole == to) return span;
    }
    return std::nullopt;
}

std::string SpanText(const Span& span) {
    return UtcTimeText(span.from) + " to " + UtcTimeText(span.to);
}

std::variant<RateAndDeclination, std::string> RateAndDeclinationAt(const Table& table,
                                                                   UtcMs time) {
    const std::vector<Row>& rows = table.rows;
    if (rows.empty()) return std::string("the ephemeris holds no row with a rate");
    if (time < rows.front().time || time > rows.back().time) {
        return "no rate for " + UtcTimeText(time) + ": the ephemeris covers " +
               UtcTimeText(rows.front().time) + " to " + UtcTimeText(rows.back().time);
    }
    if (const std::optional<Span> gap = SpanWithoutRate(table, time, time)) {
        return "no rate from " + SpanText(*gap) + ": the ephemeris gives none there";
    }
    // The first row after `time`; the one before it starts the interval.
    const auto after = std::upper_bound(rows.begin(), rows.end(), time,
                                        [](UtcMs t, const Row& row) { return t < row.time; });
    const Row& a = *(after - 1);
    if (a.time == time || after == rows.end()) {
        return RateAndDeclination{Rate{a.eastArcsecPerMinute, a.northArcsecPerMinute},
                                  a.decDegrees};
    }
    const Row& b = *after;
    const auto i = static_cast<std::size_t>(after - rows.begin()) - 1;
    if (const std::optional<PathSegment> segment = SegmentAt(table, i)) {
        EastNorth rate;
        const SkyVector at = segment->At(static_cast<double>(time - a.time) / 60'000, rate);
        if (RatesAlongOtherAxes(table)) rate = IcrfToOfDate(rate, at, time);
        return RateAndDeclination{Rate{rate.east, rate.north}, DeclinationDegrees(at)};
    }
    const double f = static_cast<double>(time - a.time) / static_cast<double>(b.time - a.time);
    RateAndDeclination found{
        Rate{a.eastArcsecPerMinute + (b.eastArcsecPerMinute - a.eastArcsecPerMinute) * f,
             a.northArcsecPerMinute + (b.northArcsecPerMinute - a.northArcsecPerMinute) * f},
        std::nullopt};
    if (a.decDegrees && b.decDegrees) {
        found.declinationDegrees = *a.decDegrees + (*b.decDegrees - *a.decDegrees) * f;
    }
    return found;
}

std::variant<Rate, std::string> RateAt(const Table& table, UtcMs time) {
    auto found = RateAndDeclinationAt(table, time);
    if (auto* problem = std::get_if<std::string>(&found)) return std::move(*problem);
    return std::get<RateAndDeclination>(found).rate;
}

}  // namespace Pelindra::Ephemeris
