#pragma once

#include <optional>
#include <string>
#include <variant>

#include "ephemeris/Table.h"

namespace Pelindra::Ephemeris {

// The object's apparent motion at one moment.
struct Rate {
    double eastArcsecPerMinute = 0;
    double northArcsecPerMinute = 0;

    // hypot(east, north): what Horizons calls Sky_motion.
    double MotionArcsecPerMinute() const;
    // atan2(east, north) in degrees, from north through east, in [0, 360): Sky_mot_PA.
    double PositionAngleDegrees() const;

    // What the Motion and PA boxes receive, as if typed: the program's number text of the
    // value rounded to single precision. nullopt when the motion does not fit a float.
    std::optional<std::string> MotionText() const;
    std::string PositionAngleText() const;
};

// The rate at `time`, as the track that follows the table moves: at a row's time that row's
// own; between two rows that give positions, the rate along the path through them (see
// PathSegment), along the axes the table gives its rates in; between others the eastward
// and northward rates interpolated linearly in time (never the position angle, which
// wraps). Outside the rows' span, or where the table lists a row without a rate, there is
// none: the message names the time asked and the span.
std::variant<Rate, std::string> RateAt(const Table& table, UtcMs time);

// The rate at `time` as RateAt gives it, with the object's declination there when the
// table gives positions: along the same path, else interpolated linearly.
struct RateAndDeclination {
    Rate rate;
    std::optional<double> declinationDegrees;
};
std::variant<RateAndDeclination, std::string> RateAndDeclinationAt(const Table& table,
                                                                   UtcMs time);

// A span of time between two rows with a rate that holds a row without one.
struct Span {
    UtcMs from = 0;
    UtcMs to = 0;
};

// The first span without a rate that reaches into [from, to]: from the last row with a rate
// before a row without one to the next row with one. nullopt when there is none.
[[nodiscard]] std::optional<Span> SpanWithoutRate(const Table& table, UtcMs from, UtcMs to);

// "2008-10-07 02:40:00 UTC to 2008-10-07 03:00:00 UTC".
std::string SpanText(const Span& span);

}  // namespace Pelindra::Ephemeris
