#pragma once

#include <cstddef>
#include <optional>

#include "ephemeris/Table.h"

namespace Pelindra::Ephemeris {

// A direction on the sky as a unit vector: x toward RA 0 Dec 0, y toward RA 90, z north.
struct SkyVector {
    double x = 0;
    double y = 0;
    double z = 0;
};

SkyVector FromRaDec(double raDegrees, double decDegrees);
double DeclinationDegrees(const SkyVector& at);

// A place on the plane touching the sky at a centre, along the centre's local east and
// north, in radians.
struct Tangent {
    double east = 0;
    double north = 0;
};

// Where `star` appears seen from `centre` (the gnomonic projection), as a camera whose axes
// lie along the centre's east and north sees it. nullopt when the star is a right angle or
// more away.
[[nodiscard]] std::optional<Tangent> Project(const SkyVector& star, const SkyVector& centre);

// The eastward and northward rates, arcsec per minute.
struct EastNorth {
    double east = 0;
    double north = 0;
};

// Horizons' rates are apparent, along the axes of the true equator and equinox of date,
// while its positions of quantity 1 are astrometric, along the ICRF's: at the same place
// the two norths differ by up to a few tenths of a degree (precession since 2000, and
// nutation). True when the table's rates must be turned to its positions' axes.
[[nodiscard]] bool RatesAlongOtherAxes(const Table& table);

// A rate along the axes of date at `at` (ICRF) turned to the ICRF's axes there, and back.
EastNorth OfDateToIcrf(const EastNorth& rate, const SkyVector& at, UtcMs time);
EastNorth IcrfToOfDate(const EastNorth& rate, const SkyVector& at, UtcMs time);

// The object between two rows that both give its position: in the plane touching the sky
// midway between them, the quintic that passes through both positions with both rates as
// its slopes and, as its curvature at each row, the one the row's neighbours on both sides
// give (the quintic through their positions and rates), so place, rate and its change run
// on smoothly from one segment into the next. Without a usable neighbour a row's curvature
// is the cubic's through the two rows alone.
class PathSegment {
  public:
    // nullopt when either row lacks a position, the rows are no time apart, or their
    // positions and rates disagree more than any real ephemeris' do (another frame, or no
    // ephemeris at all): such a segment is left to the rates alone. `before` and `after`,
    // the rows next to `a` and `b`, may be null.
    static std::optional<PathSegment> Between(const Row* before, const Row& a, const Row& b,
                                              const Row* after, bool turnRates);

    // The place `minutes` after the first row.
    SkyVector At(double minutes) const;
    // The place and the rate there along the positions' axes.
    SkyVector At(double minutes, EastNorth& rate) const;
    double Minutes() const { return minutes_; }

  private:
    Tangent Plane(double minutes, Tangent* slope) const;

    SkyVector centre_, east_, north_;
    Tangent a_, b_;            // radians
    Tangent slopeA_, slopeB_;  // radians per minute
    Tangent bendA_, bendB_;    // radians per minute squared
    double minutes_ = 0;
};

// The segment of `table` that starts at row `i`, turning the rates as the table needs.
[[nodiscard]] std::optional<PathSegment> SegmentAt(const Table& table, std::size_t i);

}  // namespace Pelindra::Ephemeris
