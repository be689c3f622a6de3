#include "ephemeris/SkyPath.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <optional>

namespace Pelindra::Ephemeris {

namespace {

constexpr double kRadiansPerDegree = std::numbers::pi / 180;
constexpr double kArcsecPerRadian = 180 * 3600 / std::numbers::pi;
constexpr double kRadiansPerArcsec = 1 / kArcsecPerRadian;
// sin(5 degrees): how far a segment's chord may turn from its mean rate.
constexpr double kMostTurn = 0.0871557427476582;

double Dot(const SkyVector& a, const SkyVector& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

SkyVector Cross(const SkyVector& a, const SkyVector& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

SkyVector Scaled(const SkyVector& a, double f) {
    return {a.x * f, a.y * f, a.z * f};
}

SkyVector Plus(const SkyVector& a, const SkyVector& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}

SkyVector Unit(const SkyVector& a) {
    return Scaled(a, 1 / std::sqrt(Dot(a, a)));
}

// East and north at `at` for the pole `pole`: east along pole x at, north at x east. At the
// pole itself any east will do.
void LocalAxes(const SkyVector& at, const SkyVector& pole, SkyVector& east, SkyVector& north) {
    const SkyVector across = Cross(pole, at);
    const double size = std::sqrt(Dot(across, across));
    east = size > 1e-12 ? Scaled(across, 1 / size) : Unit(Cross(at, SkyVector{1, 0, 0}));
    north = Cross(at, east);
}

// The true pole of date in the ICRF: the IAU 1976 precession angles and the four largest
// terms of nutation, to about a second of arc, far finer than the turn it gives needs.
// The ICRF's own 0.02" offset from the mean equator of J2000 is left out.
SkyVector ComputePoleOfDate(UtcMs time) {
    const double t = (static_cast<double>(time) / 86'400'000.0 + 2440587.5 - 2451545.0) / 36525;
    const double arcsec = kRadiansPerArcsec;
    const double zeta = (2306.2181 + (0.30188 + 0.017998 * t) * t) * t * arcsec;
    const double theta = (2004.3109 - (0.42665 + 0.041833 * t) * t) * t * arcsec;
    const double omega = (125.04452 - 1934.136261 * t) * kRadiansPerDegree;
    const double sun = (280.4665 + 36000.7698 * t) * kRadiansPerDegree;
    const double moon = (218.3165 + 481267.8813 * t) * kRadiansPerDegree;
    const double dPsi = (-17.20 * std::sin(omega) - 1.32 * std::sin(2 * sun) -
                         0.23 * std::sin(2 * moon) + 0.21 * std::sin(2 * omega)) *
                        arcsec;
    const double dEps = (9.20 * std::cos(omega) + 0.57 * std::cos(2 * sun) +
                         0.10 * std::cos(2 * moon) - 0.09 * std::cos(2 * omega)) *
                        arcsec;
    const double eps = 23.4392911 * kRadiansPerDegree - 46.8150 * t * arcsec;
    const double trueEps = eps + dEps;
    // The true pole along the mean equator of date: the third row of the nutation matrix.
    const SkyVector n{
        std::sin(trueEps) * std::sin(dPsi),
        std::sin(trueEps) * std::cos(dPsi) * std::cos(eps) - std::cos(trueEps) * std::sin(eps),
        std::sin(trueEps) * std::cos(dPsi) * std::sin(eps) + std::cos(trueEps) * std::cos(eps)};
    // Back through the precession matrix R3(-z) R2(theta) R3(-zeta), transposed.
    const double z = (2306.2181 + (1.09468 + 0.018203 * t) * t) * t * arcsec;
    const double cz = std::cos(zeta), sz = std::sin(zeta);
    const double ct = std::cos(theta), st = std::sin(theta);
    const double cZ = std::cos(z), sZ = std::sin(z);
    const double p[3][3] = {{cz * ct * cZ - sz * sZ, -sz * ct * cZ - cz * sZ, -st * cZ},
                            {cz * ct * sZ + sz * cZ, -sz * ct * sZ + cz * cZ, -st * sZ},
                            {cz * st, -sz * st, ct}};
    return Unit({p[0][0] * n.x + p[1][0] * n.y + p[2][0] * n.z,
                 p[0][1] * n.x + p[1][1] * n.y + p[2][1] * n.z,
                 p[0][2] * n.x + p[1][2] * n.y + p[2][2] * n.z});
}

// Each row's pole serves the segments on both sides of it and their neighbours' bends, four
// in all when a path is built row after row: the last few are kept, which gives the very
// same vectors for a quarter of the sines.
SkyVector PoleOfDate(UtcMs time) {
    struct Kept {
        UtcMs time;
        SkyVector pole;
    };
    thread_local std::array<std::optional<Kept>, 4> kept;
    thread_local std::size_t next = 0;
    for (const std::optional<Kept>& entry : kept) {
        if (entry && entry->time == time) return entry->pole;
    }
    const SkyVector pole = ComputePoleOfDate(time);
    kept[next] = Kept{time, pole};
    next = (next + 1) % kept.size();
    return pole;
}

// A rate along one pair of axes at `at`, taken along another.
EastNorth Turned(const EastNorth& rate, const SkyVector& at, const SkyVector& fromPole,
                 const SkyVector& toPole) {
    SkyVector fromEast, fromNorth, toEast, toNorth;
    LocalAxes(at, fromPole, fromEast, fromNorth);
    LocalAxes(at, toPole, toEast, toNorth);
    const SkyVector v = Plus(Scaled(fromEast, rate.east), Scaled(fromNorth, rate.north));
    return {Dot(v, toEast), Dot(v, toNorth)};
}

constexpr SkyVector kIcrfPole{0, 0, 1};

}  // namespace

SkyVector FromRaDec(double raDegrees, double decDegrees) {
    const double ra = raDegrees * kRadiansPerDegree;
    const double dec = decDegrees * kRadiansPerDegree;
    return {std::cos(dec) * std::cos(ra), std::cos(dec) * std::sin(ra), std::sin(dec)};
}

double DeclinationDegrees(const SkyVector& at) {
    return std::atan2(at.z, std::hypot(at.x, at.y)) / kRadiansPerDegree;
}

std::optional<Tangent> Project(const SkyVector& star, const SkyVector& centre) {
    const double along = Dot(star, centre);
    if (!(along > 0)) return std::nullopt;
    SkyVector east, north;
    LocalAxes(centre, kIcrfPole, east, north);
    return Tangent{Dot(star, east) / along, Dot(star, north) / along};
}

bool RatesAlongOtherAxes(const Table& table) {
    return table.format != Format::MpcService && !table.apparentPositions;
}

EastNorth OfDateToIcrf(const EastNorth& rate, const SkyVector& at, UtcMs time) {
    return Turned(rate, at, PoleOfDate(time), kIcrfPole);
}

EastNorth IcrfToOfDate(const EastNorth& rate, const SkyVector& at, UtcMs time) {
    return Turned(rate, at, kIcrfPole, PoleOfDate(time));
}

namespace {

// A row's place and rate in the plane about `centre`.
struct PlanePoint {
    Tangent place;  // radians
    Tangent slope;  // radians per minute
};

std::optional<PlanePoint> InPlane(const Row& row, bool turnRates, const SkyVector& centre,
                                  const SkyVector& east, const SkyVector& north) {
    if (!row.raDegrees || !row.decDegrees) return std::nullopt;
    const SkyVector p = FromRaDec(*row.raDegrees, *row.decDegrees);
    const double along = Dot(p, centre);
    if (!(along > 0.5)) return std::nullopt;  // more than 60 degrees away
    EastNorth rate{row.eastArcsecPerMinute, row.northArcsecPerMinute};
    if (turnRates) rate = OfDateToIcrf(rate, p, row.time);
    SkyVector localEast, localNorth;
    LocalAxes(p, kIcrfPole, localEast, localNorth);
    const SkyVector v = Scaled(Plus(Scaled(localEast, rate.east), Scaled(localNorth, rate.north)),
                               kRadiansPerArcsec);
    PlanePoint point;
    point.place = {Dot(p, east) / along, Dot(p, north) / along};
    const double rising = Dot(v, centre);
    point.slope = {(Dot(v, east) - point.place.east * rising) / along,
                   (Dot(v, north) - point.place.north * rising) / along};
    return point;
}

// Whether two rows' displacement agrees with the one their mean rate gives. A real table's
// agree in direction, and in size within a half even for a flyby whose rate doubles between
// rows; positions of another frame or of another thing do not.
bool Consistent(const PlanePoint& a, const PlanePoint& b, double minutes) {
    const double chordEast = b.place.east - a.place.east;
    const double chordNorth = b.place.north - a.place.north;
    const double meanEast = (a.slope.east + b.slope.east) / 2 * minutes;
    const double meanNorth = (a.slope.north + b.slope.north) / 2 * minutes;
    const double miss = std::hypot(chordEast - meanEast, chordNorth - meanNorth);
    if (miss <= 2 * kRadiansPerArcsec) return true;
    const double chord = std::hypot(chordEast, chordNorth);
    const double mean = std::hypot(meanEast, meanNorth);
    const double sine = std::fabs(chordEast * meanNorth - chordNorth * meanEast) / (chord * mean);
    const bool along = chordEast * meanEast + chordNorth * meanNorth > 0;
    return along && sine <= kMostTurn && chord <= 1.5 * mean && mean <= 1.5 * chord;
}

// The curvature at `middle` of the quintic through three rows' places and rates, `before`
// and `after` minutes away on either side: q(u) = p + v u + c2 u^2 + ... + c5 u^5, solved
// for c2..c5 with u in units of the longer gap so the system stays well scaled.
std::optional<Tangent> Bend(const PlanePoint& early, double before, const PlanePoint& middle,
                            const PlanePoint& late, double after) {
    if (!(before > 0) || !(after > 0)) return std::nullopt;
    const double unit = std::max(before, after);
    const double u[2] = {-before / unit, after / unit};
    const PlanePoint* ends[2] = {&early, &late};
    double m[4][4];
    double rhs[4][2];
    for (int j = 0; j < 2; ++j) {
        const double x = u[j];
        const PlanePoint& e = *ends[j];
        m[2 * j][0] = x * x;
        m[2 * j][1] = x * x * x;
        m[2 * j][2] = x * x * x * x;
        m[2 * j][3] = x * x * x * x * x;
        m[2 * j + 1][0] = 2 * x;
        m[2 * j + 1][1] = 3 * x * x;
        m[2 * j + 1][2] = 4 * x * x * x;
        m[2 * j + 1][3] = 5 * x * x * x * x;
        rhs[2 * j][0] = e.place.east - middle.place.east - middle.slope.east * unit * x;
        rhs[2 * j][1] = e.place.north - middle.place.north - middle.slope.north * unit * x;
        rhs[2 * j + 1][0] = (e.slope.east - middle.slope.east) * unit;
        rhs[2 * j + 1][1] = (e.slope.north - middle.slope.north) * unit;
    }
    // Gaussian elimination with partial pivoting, then back to c2 alone.
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r) {
            if (std::fabs(m[r][col]) > std::fabs(m[pivot][col])) pivot = r;
        }
        if (!(std::fabs(m[pivot][col]) > 1e-12)) return std::nullopt;
        std::swap(m[col], m[pivot]);
        std::swap(rhs[col], rhs[pivot]);
        for (int r = col + 1; r < 4; ++r) {
            const double f = m[r][col] / m[col][col];
            for (int c = col; c < 4; ++c) m[r][c] -= f * m[col][c];
            rhs[r][0] -= f * rhs[col][0];
            rhs[r][1] -= f * rhs[col][1];
        }
    }
    double c[4][2] = {};
    for (int r = 3; r >= 0; --r) {
        for (int k = 0; k < 2; ++k) {
            double sum = rhs[r][k];
            for (int cc = r + 1; cc < 4; ++cc) sum -= m[r][cc] * c[cc][k];
            c[r][k] = sum / m[r][r];
        }
    }
    return Tangent{2 * c[0][0] / (unit * unit), 2 * c[0][1] / (unit * unit)};
}

}  // namespace

std::optional<PathSegment> PathSegment::Between(const Row* before, const Row& a, const Row& b,
                                                const Row* after, bool turnRates) {
    if (!a.raDegrees || !a.decDegrees || !b.raDegrees || !b.decDegrees || !(b.time > a.time)) {
        return std::nullopt;
    }
    const SkyVector sum =
        Plus(FromRaDec(*a.raDegrees, *a.decDegrees), FromRaDec(*b.raDegrees, *b.decDegrees));
    if (!(Dot(sum, sum) > 1)) return std::nullopt;  // more than 120 degrees apart

    PathSegment s;
    s.minutes_ = static_cast<double>(b.time - a.time) / 60'000;
    s.centre_ = Unit(sum);
    LocalAxes(s.centre_, kIcrfPole, s.east_, s.north_);
    const auto place = [&](const Row& row) {
        return InPlane(row, turnRates, s.centre_, s.east_, s.north_);
    };
    const std::optional<PlanePoint> pa = place(a);
    const std::optional<PlanePoint> pb = place(b);
    if (!pa || !pb || !Consistent(*pa, *pb, s.minutes_)) return std::nullopt;
    s.a_ = pa->place;
    s.b_ = pb->place;
    s.slopeA_ = pa->slope;
    s.slopeB_ = pb->slope;

    // The cubic's own curvature at either end, where no neighbour gives a better one.
    const double h = s.minutes_;
    const auto cubic = [&](double ca, double ma, double cb, double mb, bool atA) {
        return atA ? (6 * (cb - ca) - 4 * h * ma - 2 * h * mb) / (h * h)
                   : (6 * (ca - cb) + 2 * h * ma + 4 * h * mb) / (h * h);
    };
    for (const bool atA : {true, false}) {
        Tangent bend{cubic(s.a_.east, s.slopeA_.east, s.b_.east, s.slopeB_.east, atA),
                     cubic(s.a_.north, s.slopeA_.north, s.b_.north, s.slopeB_.north, atA)};
        const Row* neighbour = atA ? before : after;
        const std::optional<PlanePoint> other = neighbour ? place(*neighbour) : std::nullopt;
        if (other) {
            const double gap =
                static_cast<double>(atA ? a.time - neighbour->time : neighbour->time - b.time) /
                60'000;
            const bool agrees = atA ? Consistent(*other, *pa, gap) : Consistent(*pb, *other, gap);
            const std::optional<Tangent> found = !agrees ? std::nullopt
                                                 : atA   ? Bend(*other, gap, *pa, *pb, h)
                                                         : Bend(*pa, h, *pb, *other, gap);
            if (found) bend = *found;
        }
        (atA ? s.bendA_ : s.bendB_) = bend;
    }
    return s;
}

Tangent PathSegment::Plane(double minutes, Tangent* slope) const {
    const double h = minutes_;
    const double s = minutes / h;
    const double s2 = s * s, s3 = s2 * s, s4 = s3 * s, s5 = s4 * s;
    // The quintic Hermite basis: places, slopes (times h) and curvatures (times h^2).
    const double p0 = 1 - 10 * s3 + 15 * s4 - 6 * s5;
    const double v0 = (s - 6 * s3 + 8 * s4 - 3 * s5) * h;
    const double a0 = (s2 - 3 * s3 + 3 * s4 - s5) / 2 * h * h;
    const double p1 = 10 * s3 - 15 * s4 + 6 * s5;
    const double v1 = (-4 * s3 + 7 * s4 - 3 * s5) * h;
    const double a1 = (s3 - 2 * s4 + s5) / 2 * h * h;
    if (slope) {
        const double dp0 = (-30 * s2 + 60 * s3 - 30 * s4) / h;
        const double dv0 = 1 - 18 * s2 + 32 * s3 - 15 * s4;
        const double da0 = (2 * s - 9 * s2 + 12 * s3 - 5 * s4) / 2 * h;
        const double dv1 = -12 * s2 + 28 * s3 - 15 * s4;
        const double da1 = (3 * s2 - 8 * s3 + 5 * s4) / 2 * h;
        slope->east = dp0 * (a_.east - b_.east) + dv0 * slopeA_.east + da0 * bendA_.east +
                      dv1 * slopeB_.east + da1 * bendB_.east;
        slope->north = dp0 * (a_.north - b_.north) + dv0 * slopeA_.north + da0 * bendA_.north +
                       dv1 * slopeB_.north + da1 * bendB_.north;
    }
    return {p0 * a_.east + v0 * slopeA_.east + a0 * bendA_.east + p1 * b_.east + v1 * slopeB_.east +
                a1 * bendB_.east,
            p0 * a_.north + v0 * slopeA_.north + a0 * bendA_.north + p1 * b_.north +
                v1 * slopeB_.north + a1 * bendB_.north};
}

SkyVector PathSegment::At(double minutes) const {
    const Tangent t = Plane(minutes, nullptr);
    return Unit(Plus(centre_, Plus(Scaled(east_, t.east), Scaled(north_, t.north))));
}

SkyVector PathSegment::At(double minutes, EastNorth& rate) const {
    Tangent slope;
    const Tangent t = Plane(minutes, &slope);
    const SkyVector w = Plus(centre_, Plus(Scaled(east_, t.east), Scaled(north_, t.north)));
    const double size = std::sqrt(Dot(w, w));
    const SkyVector p = Scaled(w, 1 / size);
    const SkyVector dw = Plus(Scaled(east_, slope.east), Scaled(north_, slope.north));
    const SkyVector v = Scaled(Plus(dw, Scaled(p, -Dot(p, dw))), kArcsecPerRadian / size);
    SkyVector east, north;
    LocalAxes(p, kIcrfPole, east, north);
    rate = {Dot(v, east), Dot(v, north)};
    return p;
}

std::optional<PathSegment> SegmentAt(const Table& table, std::size_t i) {
    if (i + 1 >= table.rows.size()) return std::nullopt;
    const std::vector<Row>& rows = table.rows;
    return PathSegment::Between(i > 0 ? &rows[i - 1] : nullptr, rows[i], rows[i + 1],
                                i + 2 < rows.size() ? &rows[i + 2] : nullptr,
                                RatesAlongOtherAxes(table));
}

}  // namespace Pelindra::Ephemeris
