#pragma once

#include <string>
#include <variant>

#include "core/TrackParams.h"
#include "links/SkyMotion.h"

namespace Pelindra::Links {

enum class Phd2Axes {
    Camera,  // the guide camera's X and Y, in pixels per hour
    Sky,     // RA (as dRA/dt) and Dec, in arcsec per hour
};

// The lock-shift rate PHD2 is asked to hold: [X, Y] in pixels/hr or [RA, Dec] in arcsec/hr.
struct Phd2Rate {
    Phd2Axes axes = Phd2Axes::Camera;
    double first = 0;
    double second = 0;

    [[nodiscard]] const char* Units() const;
    [[nodiscard]] const char* AxesName() const;
};

// The rate for `motion` with the record's pixel size, interval, camera angle, pier side and
// reversal flags. Camera axes: each offset per interval, signed as the captions are, times
// 3600 / interval, so the lock point moves as a track file moves the guide point. Sky axes:
// dRA/dt and the northward rate, which needs the declination. Otherwise why not.
[[nodiscard]] std::variant<Phd2Rate, std::string> Phd2RateFor(const Core::TrackParams& params,
                                                              const SkyMotion& motion,
                                                              Phd2Axes axes);

// Whether `next` differs from `last` by more than `fraction` of `last`'s size, or is along
// other axes: the test for re-sending a changing rate.
[[nodiscard]] bool RateChanged(const Phd2Rate& last, const Phd2Rate& next, double fraction);

}  // namespace Pelindra::Links
