#pragma once

#include <string>
#include <variant>

#include "links/SkyMotion.h"

namespace Pelindra::Links {

// INDI's sidereal TRACK_RATE_RA: the RA axis turns with the stars at this many arcsec of RA
// per second of time.
inline constexpr double kSiderealArcsecPerSecond = 15.041067;

// TELESCOPE_TRACK_RATE: how fast the mount's axes turn. An object moving east gains RA,
// so the RA axis turns that much slower than the stars; north is positive in Dec.
struct MountTrackRate {
    double raArcsecPerSecond = kSiderealArcsecPerSecond;
    double decArcsecPerSecond = 0;
};

// RA: 15.041067 - E / (60 cos Dec); Dec: N / 60. Without a declination, kNoDeclination.
[[nodiscard]] std::variant<MountTrackRate, std::string> MountTrackRateFor(const SkyMotion& motion);

}  // namespace Pelindra::Links
