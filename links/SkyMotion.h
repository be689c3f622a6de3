#pragma once

#include <optional>
#include <string>
#include <variant>

#include "ephemeris/Table.h"

namespace Pelindra::Links {

// The object's motion on the sky as the guider and the mount take it: eastward (along RA,
// already times cos(Dec)) and northward, in arcsec per minute, with its declination when
// known.
struct SkyMotion {
    double eastArcsecPerMinute = 0;
    double northArcsecPerMinute = 0;
    std::optional<double> declinationDegrees;

    // dRA/dt in arcsec of RA per minute: the eastward rate divided by cos(Dec). nullopt
    // without a declination, or within a hair of a pole, where it has no finite value.
    [[nodiscard]] std::optional<double> RaArcsecPerMinute() const;
};

// From the Motion and PA boxes: east = motion sin(PA), north = motion cos(PA).
SkyMotion SkyMotionFromBoxes(float motionArcsecPerMinute, float positionAngleDegrees,
                             std::optional<double> declinationDegrees);

// From an ephemeris at `time`: the rates and, where the table gives it, the declination,
// as the ephemeris' RateAndDeclinationAt finds them, so the guider and the mount take the
// rate a following track moves at. Where there is none the message says why.
[[nodiscard]] std::variant<SkyMotion, std::string> SkyMotionAt(const Ephemeris::Table& table,
                                                               Ephemeris::UtcMs time);

// Where the object's motion comes from: an ephemeris at a time, or the Motion and PA boxes;
// and the declinations that may be known besides.
struct MotionSources {
    float motionArcsecPerMinute = 0;
    float positionAngleDegrees = 0;
    const Ephemeris::Table* table = nullptr;  // none, or an ephemeris loaded
    bool ratesFromTable = false;              // the rates too, not only the declination
    Ephemeris::UtcMs time = 0;                // the moment in the table
    std::optional<double> typedDeclinationDegrees;
};

// The object's motion for the guider and the mount: the table's rates at `time` when
// `ratesFromTable`, else the boxes'; the declination the table gives at `time`, else the
// one typed, else none (the mount may then give its own). A table that cannot give its
// rates at `time` says why; one that only lends its declination is passed over.
[[nodiscard]] std::variant<SkyMotion, std::string> ObjectMotion(const MotionSources& sources);

// What the links say when a rate along RA is asked for without a declination.
inline constexpr const char* kNoDeclination =
    "this needs the object's declination: PHD2 and the mount take the RA rate as dRA/dt, "
    "which is the eastward rate divided by cos(Dec). Load an ephemeris that lists R.A. and "
    "Dec., or type the declination in Guide > Connections...";

}  // namespace Pelindra::Links
