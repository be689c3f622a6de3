#pragma once

// Objects on exactly known great circles, worked out here from the geometry alone, for the
// tests of tracks that follow an ephemeris: their places and rates at any moment, the
// tables an ephemeris would give of them, and where a star that stood at the object's start
// appears seen from the object later (the gnomonic projection about it).

#include <array>
#include <cmath>
#include <numbers>
#include <vector>

#include "ephemeris/Table.h"

namespace ExactPath {

using Vec = std::array<double, 3>;

inline constexpr double kPi = std::numbers::pi;
inline constexpr double kArcsec = kPi / 180 / 3600;  // radians

inline double Dot(const Vec& a, const Vec& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
inline Vec Cross(const Vec& a, const Vec& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
inline Vec Add(const Vec& a, const Vec& b, double f = 1) {
    return {a[0] + f * b[0], a[1] + f * b[1], a[2] + f * b[2]};
}
inline Vec Times(const Vec& a, double f) {
    return {a[0] * f, a[1] * f, a[2] * f};
}
inline Vec Normal(const Vec& a) {
    return Times(a, 1 / std::sqrt(Dot(a, a)));
}

// Local east and north at `p` for the pole `pole`.
inline std::array<Vec, 2> Axes(const Vec& p, const Vec& pole = {0, 0, 1}) {
    const Vec east = Normal(Cross(pole, p));
    return {east, Cross(p, east)};
}

// The true pole of date in the ICRF from the IAU 2006/2000 series for the celestial
// intermediate pole (its polynomial part and the two largest nutation terms), written
// independently of the precession angles the program uses.
inline Vec PoleOfDate(double julianCenturies) {
    const double t = julianCenturies;
    const double omega = (125.04455501 - 1934.1362619 * t) * kPi / 180;
    const double sun2 = 2 * (280.4665 + 36000.7698 * t) * kPi / 180;
    const double x = (-0.016617 + 2004.191898 * t - 0.4297829 * t * t - 6.8440 * std::sin(omega) -
                      0.5236 * std::sin(sun2)) *
                     kArcsec;
    const double y = (-0.006951 - 0.025896 * t - 22.4072747 * t * t + 9.2052 * std::cos(omega) +
                      0.5734 * std::cos(sun2)) *
                     kArcsec;
    return {x, y, std::sqrt(1 - x * x - y * y)};
}

// An object that starts at (ra0, dec0) heading along the great circle at position angle pa0
// and has moved s(t) along it t minutes after the start: steady, s = w t, or a flyby,
// s = A (atan((t - tca) / tau) - atan(-tca / tau)).
struct GreatCircle {
    double ra0Degrees = 0;
    double dec0Degrees = 0;
    double pa0Degrees = 90;
    double arcsecPerMinute = 0;  // steady
    double flybyArcsec = 0;      // A; 0: steady
    double tauMinutes = 1;
    double tcaMinutes = 0;

    Vec Start() const {
        const double ra = ra0Degrees * kPi / 180, dec = dec0Degrees * kPi / 180;
        return {std::cos(dec) * std::cos(ra), std::cos(dec) * std::sin(ra), std::sin(dec)};
    }
    Vec Heading() const {
        const auto [east, north] = Axes(Start());
        const double pa = pa0Degrees * kPi / 180;
        return Add(Times(east, std::sin(pa)), north, std::cos(pa));
    }
    double Along(double t) const {  // radians
        if (flybyArcsec == 0) return arcsecPerMinute * t * kArcsec;
        return flybyArcsec * kArcsec *
               (std::atan((t - tcaMinutes) / tauMinutes) - std::atan(-tcaMinutes / tauMinutes));
    }
    double Speed(double t) const {  // radians per minute
        if (flybyArcsec == 0) return arcsecPerMinute * kArcsec;
        const double u = (t - tcaMinutes) / tauMinutes;
        return flybyArcsec * kArcsec / tauMinutes / (1 + u * u);
    }
    Vec At(double t) const {
        const double s = Along(t);
        return Add(Times(Start(), std::cos(s)), Heading(), std::sin(s));
    }
    Vec Velocity(double t) const {
        const double s = Along(t);
        return Times(Add(Times(Start(), -std::sin(s)), Heading(), std::cos(s)), Speed(t));
    }
    // The rate in arcsec per minute along the local axes of `pole` at t.
    std::array<double, 2> Rate(double t, const Vec& pole = {0, 0, 1}) const {
        const auto [east, north] = Axes(At(t), pole);
        const Vec v = Velocity(t);
        return {Dot(v, east) / kArcsec, Dot(v, north) / kArcsec};
    }
    // Where a star at the start appears from the object at t, along its ICRF east and
    // north, in arcsec.
    std::array<double, 2> Seen(double t) const {
        const Vec p = At(t);
        const auto [east, north] = Axes(p);
        const Vec star = Start();
        const double along = Dot(star, p);
        return {Dot(star, east) / along / kArcsec, Dot(star, north) / along / kArcsec};
    }
};

// A row every `rowMinutes` from `fromMinutes` through `toMinutes` after `zero`, with
// positions when `positions`, and rates along the axes of date at `epochCenturies` when
// `ofDate` (as Horizons gives them), else along the ICRF's (as the MPC does).
inline Pelindra::Ephemeris::Table Rows(const GreatCircle& object, Pelindra::Ephemeris::UtcMs zero,
                                      double fromMinutes, double toMinutes, double rowMinutes,
                                      bool positions, bool ofDate) {
    using namespace Pelindra::Ephemeris;
    Table table;
    table.format = ofDate ? Format::HorizonsText : Format::MpcService;
    const double centuries =
        (static_cast<double>(zero) / 86'400'000.0 + 2440587.5 - 2451545.0) / 36525;
    const Vec pole = ofDate ? PoleOfDate(centuries) : Vec{0, 0, 1};
    for (double t = fromMinutes; t <= toMinutes + 1e-9; t += rowMinutes) {
        Row row;
        row.time = zero + std::llround(t * 60'000);
        const auto rate = object.Rate(t, pole);
        row.eastArcsecPerMinute = rate[0];
        row.northArcsecPerMinute = rate[1];
        if (positions) {
            const Vec p = object.At(t);
            double ra = std::atan2(p[1], p[0]) * 180 / kPi;
            if (ra < 0) ra += 360;
            row.raDegrees = ra;
            row.decDegrees = std::asin(p[2]) * 180 / kPi;
        }
        table.rows.push_back(row);
    }
    return table;
}

// East and north on the sky (arcsec) to the camera's X and Y in pixels, from the offset
// rule X = -k sin(PA - angle), Y = -k cos(PA - angle): a star's place is minus a motion.
inline std::array<double, 2> OnCamera(const std::array<double, 2>& seen, double cameraDegrees,
                                      double arcsecPerPixel, double flipX, double flipY) {
    const double a = cameraDegrees * kPi / 180;
    const double motionEast = -seen[0], motionNorth = -seen[1];
    const double k = std::hypot(motionEast, motionNorth);
    const double pa = std::atan2(motionEast, motionNorth);
    return {flipX * -k * std::sin(pa - a) / arcsecPerPixel,
            flipY * -k * std::cos(pa - a) / arcsecPerPixel};
}

}  // namespace ExactPath
