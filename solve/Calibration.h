#pragma once

#include <optional>
#include <string>
#include <variant>

#include "core/TrackParams.h"
#include "solve/FitsFrame.h"

namespace Pelindra::Solve {

// A plate solution's linear part: degrees on the sky per pixel, the columns for the
// frame's +X (column) and +Y (row, file order) axes, the rows for east (increasing RA)
// and north, as FITS writes it (CD1_1 CD1_2 / CD2_1 CD2_2).
struct CdMatrix {
    double cd11 = 0, cd12 = 0;
    double cd21 = 0, cd22 = 0;
    [[nodiscard]] double Determinant() const { return cd11 * cd22 - cd12 * cd21; }
};

// What a solved frame says about the camera.
struct Calibration {
    double arcsecPerPixel = 0;      // of the frame's own binning
    double cameraAngleDegrees = 0;  // position angle of the +Y axis at the centre, [0, 360)
    bool mirrored = false;          // +X lies 90 degrees west of +Y instead of east
    double centreRaDegrees = 0;
    double centreDecDegrees = 0;
    double fieldWidthDegrees = 0;
    double fieldHeightDegrees = 0;
    CdMatrix cd;
};

// The camera from a CD matrix taken at the frame's centre, which lies at `centre`.
[[nodiscard]] Calibration CalibrationFromCd(const CdMatrix& cd, double centreRaDegrees,
                                            double centreDecDegrees, int width, int height);

// The solver's WCS file (a tangent projection, CD or PC and CDELT form) for a frame of
// `width` x `height`, or the reason it cannot be used.
[[nodiscard]] std::variant<Calibration, std::string> ReadWcsCalibration(const std::string& path,
                                                                        int width, int height);

// The pixel size and camera angle as they are shown and stored: 4 and 2 decimals, the
// angle in [0, 360).
[[nodiscard]] float RoundedPixelSize(const Calibration& calibration);
[[nodiscard]] float RoundedCameraAngle(const Calibration& calibration);

// "PIXEL_SIZE CAMERA_ANGLE MIRRORED" with a full stop whatever the locale.
[[nodiscard]] std::string CalibrationLine(const Calibration& calibration);

// Writes the pixel size, the camera angle and the reversal flags into the record, for a
// frame taken on `frameSide` of the pier. Pelindra's offsets take +X as 90 degrees east
// of +Y, so that side needs RA reversed exactly when the frame is mirrored and Dec never;
// a meridian flip turns the camera 180 degrees on the sky, so a German mount's other side
// has both turned over. A fork mount never flips and uses the West flags on both sides:
// only those are set.
void ApplyCalibration(Core::TrackParams& params, const Calibration& calibration,
                      PierSide frameSide);

// Sky north and east at the frame's centre as unit steps in pixels: x along +X (columns),
// y along +Y (rows in file order).
struct SkyDirections {
    double northX = 0, northY = 0;
    double eastX = 0, eastY = 0;
};
[[nodiscard]] SkyDirections NorthAndEast(const Calibration& calibration);

// The pier side the record's East/West choice names.
[[nodiscard]] PierSide RecordPierSide(const Core::TrackParams& params);

}  // namespace Pelindra::Solve
