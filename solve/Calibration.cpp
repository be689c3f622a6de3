#include "solve/Calibration.h"

#include <QString>
#include <cmath>
#include <numbers>

#include "solve/Cfitsio.h"

namespace Pelindra::Solve {

namespace {

constexpr double kRad = std::numbers::pi / 180;

struct Sky {
    double ra = 0;  // degrees
    double dec = 0;
};

// Gnomonic (tangent-plane) projection about `origin`; plane coordinates in degrees,
// xi toward increasing RA (east), eta toward north.
Sky FromPlane(const Sky& origin, double xiDegrees, double etaDegrees) {
    const double xi = xiDegrees * kRad;
    const double eta = etaDegrees * kRad;
    const double d0 = origin.dec * kRad;
    const double denominator = std::cos(d0) - eta * std::sin(d0);
    double ra = origin.ra + std::atan2(xi, denominator) / kRad;
    ra = std::fmod(ra, 360.0);
    if (ra < 0) ra += 360;
    const double dec =
        std::atan2(std::sin(d0) + eta * std::cos(d0), std::hypot(xi, denominator)) / kRad;
    return {ra, dec};
}

void ToPlane(const Sky& origin, const Sky& point, double& xiDegrees, double& etaDegrees) {
    const double d0 = origin.dec * kRad;
    const double d = point.dec * kRad;
    const double dra = (point.ra - origin.ra) * kRad;
    const double cosc = std::sin(d0) * std::sin(d) + std::cos(d0) * std::cos(d) * std::cos(dra);
    xiDegrees = std::cos(d) * std::sin(dra) / cosc / kRad;
    etaDegrees =
        (std::cos(d0) * std::sin(d) - std::sin(d0) * std::cos(d) * std::cos(dra)) / cosc / kRad;
}

std::string FitsReason(int status) {
    return Fits::Reason(Fits::Loaded(), status);
}

}  // namespace

Calibration CalibrationFromCd(const CdMatrix& cd, double centreRaDegrees, double centreDecDegrees,
                              int width, int height) {
    Calibration c;
    c.cd = cd;
    const double det = cd.Determinant();
    c.arcsecPerPixel = std::sqrt(std::fabs(det)) * 3600;
    // The +Y axis points (CD1_2, CD2_2) in (east, north): its position angle from north
    // through east.
    double angle = std::atan2(cd.cd12, cd.cd22) / kRad;
    if (angle < 0) angle += 360;
    if (angle >= 360) angle -= 360;
    c.cameraAngleDegrees = angle;
    c.mirrored = det < 0;
    c.centreRaDegrees = centreRaDegrees;
    c.centreDecDegrees = centreDecDegrees;
    c.fieldWidthDegrees = width * c.arcsecPerPixel / 3600;
    c.fieldHeightDegrees = height * c.arcsecPerPixel / 3600;
    return c;
}

std::variant<Calibration, std::string> ReadWcsCalibration(const std::string& path, int width,
                                                          int height) {
    std::string why;
    if (!Fits::Load(why)) return "the solver's answer cannot be read: " + why;
    fitsfile* file = nullptr;
    int status = 0;
    if (Fits::Loaded().openDiskFile(&file, path.c_str(), READONLY, &status) != 0) {
        return "the solver's answer cannot be read: " + FitsReason(status);
    }
    auto number = [&](const char* key) -> std::optional<double> {
        double value = 0;
        int keyStatus = 0;
        if (Fits::Loaded().readKey(file, TDOUBLE, key, &value, nullptr, &keyStatus) != 0)
            return std::nullopt;
        if (!std::isfinite(value)) return std::nullopt;
        return value;
    };
    char type[FLEN_VALUE] = {};
    int typeStatus = 0;
    Fits::Loaded().readKey(file, TSTRING, "CTYPE1", type, nullptr, &typeStatus);
    const auto crval1 = number("CRVAL1"), crval2 = number("CRVAL2");
    const auto crpix1 = number("CRPIX1"), crpix2 = number("CRPIX2");
    CdMatrix cd;
    bool haveCd = false;
    if (const auto a = number("CD1_1"), b = number("CD1_2"), c = number("CD2_1"),
        d = number("CD2_2");
        a && d) {
        cd = {*a, b.value_or(0), c.value_or(0), *d};
        haveCd = true;
    } else if (const auto s1 = number("CDELT1"), s2 = number("CDELT2"); s1 && s2) {
        cd = {*s1 * number("PC1_1").value_or(1), *s1 * number("PC1_2").value_or(0),
              *s2 * number("PC2_1").value_or(0), *s2 * number("PC2_2").value_or(1)};
        haveCd = true;
    }
    Fits::Loaded().closeFile(file, &status);
    if (typeStatus != 0 || !QString::fromLatin1(type).contains("TAN") || !crval1 || !crval2 ||
        !crpix1 || !crpix2 || !haveCd || cd.Determinant() == 0) {
        return std::string("the solver's answer is not a solution Pelindra can use");
    }

    // The camera is described at the frame's centre: the tangent plane there, and the
    // directions of the pixel axes in it, found from neighbouring pixels.
    const Sky reference{*crval1, *crval2};
    auto skyAt = [&](double x, double y) {
        const double dx = x - *crpix1;
        const double dy = y - *crpix2;
        return FromPlane(reference, cd.cd11 * dx + cd.cd12 * dy, cd.cd21 * dx + cd.cd22 * dy);
    };
    const double cx = (width + 1) / 2.0;  // FITS pixels count from 1
    const double cy = (height + 1) / 2.0;
    const Sky centre = skyAt(cx, cy);
    constexpr double kStep = 8;
    double xe1, xn1, xe0, xn0, ye1, yn1, ye0, yn0;
    ToPlane(centre, skyAt(cx + kStep, cy), xe1, xn1);
    ToPlane(centre, skyAt(cx - kStep, cy), xe0, xn0);
    ToPlane(centre, skyAt(cx, cy + kStep), ye1, yn1);
    ToPlane(centre, skyAt(cx, cy - kStep), ye0, yn0);
    const CdMatrix local{(xe1 - xe0) / (2 * kStep), (ye1 - ye0) / (2 * kStep),
                         (xn1 - xn0) / (2 * kStep), (yn1 - yn0) / (2 * kStep)};
    return CalibrationFromCd(local, centre.ra, centre.dec, width, height);
}

float RoundedPixelSize(const Calibration& calibration) {
    return static_cast<float>(std::round(calibration.arcsecPerPixel * 1e4) / 1e4);
}

float RoundedCameraAngle(const Calibration& calibration) {
    double angle = std::round(calibration.cameraAngleDegrees * 100) / 100;
    if (angle >= 360) angle -= 360;
    return static_cast<float>(angle);
}

std::string CalibrationLine(const Calibration& calibration) {
    // QString's numbers never follow the locale.
    return QString("%1 %2 %3")
        .arg(std::round(calibration.arcsecPerPixel * 1e4) / 1e4, 0, 'f', 4)
        .arg(static_cast<double>(RoundedCameraAngle(calibration)), 0, 'f', 2)
        .arg(calibration.mirrored ? 1 : 0)
        .toStdString();
}

SkyDirections NorthAndEast(const Calibration& calibration) {
    // The inverse of CD takes a step on the sky (east, north) to a step in pixels.
    const CdMatrix& cd = calibration.cd;
    const double det = cd.Determinant();
    auto unit = [](double x, double y, double& ux, double& uy) {
        const double length = std::hypot(x, y);
        ux = length > 0 ? x / length : 0;
        uy = length > 0 ? y / length : 0;
    };
    SkyDirections d;
    unit(-cd.cd12 / det, cd.cd11 / det, d.northX, d.northY);
    unit(cd.cd22 / det, -cd.cd21 / det, d.eastX, d.eastY);
    return d;
}

PierSide RecordPierSide(const Core::TrackParams& params) {
    return params.EastWest != 0 ? PierSide::West : PierSide::East;
}

void ApplyCalibration(Core::TrackParams& params, const Calibration& calibration,
                      PierSide frameSide) {
    params.PixSize = RoundedPixelSize(calibration);
    params.CameraAngle = RoundedCameraAngle(calibration);
    const std::int16_t raHere = calibration.mirrored ? 1 : 0;
    const std::int16_t raThere = calibration.mirrored ? 0 : 1;
    if (params.MountType == -1) {
        params.RaRevWest = raHere;
        params.DecRevWest = 0;
        return;
    }
    std::int16_t& raFrame = frameSide == PierSide::West ? params.RaRevWest : params.RARevEast;
    std::int16_t& decFrame = frameSide == PierSide::West ? params.DecRevWest : params.DecRevEast;
    std::int16_t& raOther = frameSide == PierSide::West ? params.RARevEast : params.RaRevWest;
    std::int16_t& decOther = frameSide == PierSide::West ? params.DecRevEast : params.DecRevWest;
    raFrame = raHere;
    decFrame = 0;
    raOther = raThere;
    decOther = 1;
}

}  // namespace Pelindra::Solve
