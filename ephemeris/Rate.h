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

// The rate at `time`: at a row's time that row's own, between two rows the eastward and
// northward rates interpolated linearly in time (never the position angle, which wraps).
// Outside the rows' span there is none: the message names the time asked and the span.
std::variant<Rate, std::string> RateAt(const Table& table, UtcMs time);

}  // namespace Pelindra::Ephemeris
