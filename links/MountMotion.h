#pragma once

#include <QtGlobal>
#include <string>

namespace Pelindra::Links {

enum class PierSide { East, West };

// Where the mount reported pointing, and when it said so.
struct CoordinateSample {
    double raHours = 0;
    double decDegrees = 0;
    qint64 ms = 0;
};

enum class AxisMotion { AsObject, Reversed, Still, Other };

// How the mount's coordinates moved between two samples, against the object's motion.
struct WatchedMotion {
    AxisMotion ra = AxisMotion::Still;
    AxisMotion dec = AxisMotion::Still;
    double raArcsecPerSecond = 0;  // dRA/dt, in arcsec of RA
    double decArcsecPerSecond = 0;
    double seconds = 0;
};

// The object moves at `raArcsecPerSecond` (dRA/dt) and `decArcsecPerSecond`. An axis
// moves as the object does within a fifth of its rate, plus 2 arcsec over the time
// watched for the mount's rounding.
[[nodiscard]] WatchedMotion JudgeMotion(const CoordinateSample& first, const CoordinateSample& last,
                                        double raArcsecPerSecond, double decArcsecPerSecond);

// The verdict in words, with what to do when Dec moves the other way on `side`, whose
// "Dec rate reversed" choice is `decReversedOnSide`.
[[nodiscard]] std::string DescribeWatch(const WatchedMotion& motion, double raArcsecPerSecond,
                                        double decArcsecPerSecond, const char* sideName,
                                        bool decReversedOnSide);

}  // namespace Pelindra::Links
