#include "links/MountMotion.h"

#include <cmath>
#include <cstdio>

namespace Pelindra::Links {

namespace {

constexpr double kArcsecPerHourOfRa = 15 * 3600;
constexpr double kArcsecPerDegree = 3600;
constexpr double kRoundingArcsec = 2;

AxisMotion Judge(double measured, double expected, double seconds) {
    const double noise = kRoundingArcsec / seconds;
    const double tolerance = 0.2 * std::fabs(expected) + noise;
    if (std::fabs(measured - expected) <= tolerance) return AxisMotion::AsObject;
    if (std::fabs(measured + expected) <= tolerance) return AxisMotion::Reversed;
    if (std::fabs(measured) <= noise) return AxisMotion::Still;
    return AxisMotion::Other;
}

std::string Rate(double arcsecPerSecond) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.3f", arcsecPerSecond);
    return text;
}

std::string Axis(const char* name, AxisMotion motion, double measured, double expected) {
    std::string text = name;
    switch (motion) {
        case AxisMotion::AsObject:
            text += " moved as the object does";
            break;
        case AxisMotion::Reversed:
            text += " moved the other way";
            break;
        case AxisMotion::Still:
            text += " did not move";
            break;
        case AxisMotion::Other:
            text += " moved at another rate";
            break;
    }
    text += " (" + Rate(measured) + " arcsec/s; the object " + Rate(expected) + ")";
    return text;
}

}  // namespace

WatchedMotion JudgeMotion(const CoordinateSample& first, const CoordinateSample& last,
                          double raArcsecPerSecond, double decArcsecPerSecond) {
    WatchedMotion motion;
    motion.seconds = static_cast<double>(last.ms - first.ms) / 1000;
    if (!(motion.seconds > 0)) return motion;
    // RA wraps at 24 hours; the mount cannot have moved half a turn in a watch.
    double hours = std::remainder(last.raHours - first.raHours, 24.0);
    motion.raArcsecPerSecond = hours * kArcsecPerHourOfRa / motion.seconds;
    motion.decArcsecPerSecond =
        (last.decDegrees - first.decDegrees) * kArcsecPerDegree / motion.seconds;
    motion.ra = Judge(motion.raArcsecPerSecond, raArcsecPerSecond, motion.seconds);
    motion.dec = Judge(motion.decArcsecPerSecond, decArcsecPerSecond, motion.seconds);
    return motion;
}

std::string DescribeWatch(const WatchedMotion& motion, double raArcsecPerSecond,
                          double decArcsecPerSecond, const char* sideName, bool decReversedOnSide) {
    const std::string seconds = std::to_string(std::lround(motion.seconds));
    if (!(motion.seconds > 0) ||
        (motion.ra == AxisMotion::Still && motion.dec == AxisMotion::Still)) {
        return "the mount's coordinates did not change while watched, though the object "
               "moves: it does not follow its custom rate, or does not report where it points";
    }
    std::string text = "over " + seconds + " s " +
                       Axis("RA", motion.ra, motion.raArcsecPerSecond, raArcsecPerSecond) +
                       " and " +
                       Axis("Dec", motion.dec, motion.decArcsecPerSecond, decArcsecPerSecond);
    if (motion.dec == AxisMotion::Reversed) {
        text += std::string(". Turn ") + (decReversedOnSide ? "off" : "on") +
                " \"Dec rate reversed\" for the " + sideName +
                " side in Guide > Connections..., then track again";
    }
    return text;
}

}  // namespace Pelindra::Links
