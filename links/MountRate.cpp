#include "links/MountRate.h"

namespace Pelindra::Links {

namespace {

constexpr double kSecondsPerMinute = 60;

}  // namespace

std::variant<MountTrackRate, std::string> MountTrackRateFor(const SkyMotion& motion) {
    const auto raPerMinute = motion.RaArcsecPerMinute();
    if (!raPerMinute) return std::string(kNoDeclination);
    return MountTrackRate{kSiderealArcsecPerSecond - *raPerMinute / kSecondsPerMinute,
                          motion.northArcsecPerMinute / kSecondsPerMinute};
}

}  // namespace Pelindra::Links
