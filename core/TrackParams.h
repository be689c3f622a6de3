#pragma once

#include <cstdint>
#include <string>

namespace Pelindra::Core {

// Every input of the tracking computation and its latest result. The widths are
// part of the behaviour: inputs are stored as 32-bit floats and rounded there.
struct TrackParams {
    float Motion = 0;            // arcsec per minute
    float PA = 0;                // position angle, degrees
    float PixSize = 0;           // arcsec per pixel
    float TotalTime = 0;         // minutes
    float TimeInterval = 0;      // seconds
    std::int16_t MountType = 0;  // -1 fork, 0 German equatorial
    std::int16_t EastWest = 0;   // -1 West, 0 East
    std::int16_t RaRevWest = 0;  // check-box states: only 1 reverses
    std::int16_t DecRevWest = 0;
    std::int16_t RARevEast = 0;
    std::int16_t DecRevEast = 0;
    std::string Directory;  // folder last used for saving, UTF-8
    // Position angle on the sky, from north through east, of the camera's +Y axis. Not one
    // of the twelve classic entries: 0 keeps every number as it always was.
    float CameraAngle = 0;  // degrees

    // Outputs, written only by UpdateOffsets.
    float DeltaX = 0;
    float DeltaY = 0;
    std::string SignX;
    std::string SignY;
};

// Booleans stored in 16-bit fields.
inline constexpr std::int16_t kTrue = -1;
inline constexpr std::int16_t kFalse = 0;

}  // namespace Pelindra::Core
