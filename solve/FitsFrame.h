#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace Pelindra::Solve {

enum class PierSide { East, West };

// A guide frame's pixels, rows in file order (the guide camera's +Y direction), and what
// its header says about the scale, the pointing and the side of the pier.
struct Frame {
    int width = 0;
    int height = 0;
    std::vector<float> pixels;  // row after row, width * height values
    // PIXSCALE, else 206.265 x XPIXSZ (micrometres, binning included) / FOCALLEN (mm).
    std::optional<double> arcsecPerPixel;
    // RA and DEC (degrees, or "hh mm ss" and "dd mm ss" text), else OBJCTRA and OBJCTDEC.
    std::optional<double> raDegrees;
    std::optional<double> decDegrees;
    std::optional<PierSide> pierSide;  // PIERSIDE: EAST or WEST
};

// The largest frame read: a guide camera's frame is far smaller.
inline constexpr long kMaxFrameSide = 16384;
inline constexpr long long kMaxFramePixels = 64LL * 1024 * 1024;

// A FITS image of 16-bit integers or 32-bit floats in its primary unit, 2-D or the first
// plane of a cube. Anything else, or a file that cannot be read, gives the reason.
[[nodiscard]] std::variant<Frame, std::string> ReadFitsFrame(const std::string& path);

// The pixel values shown as black and white: the sky's background near black, the brighter
// stars white, whatever the camera's range.
struct DisplayLevels {
    float black = 0;
    float white = 1;
};
[[nodiscard]] DisplayLevels DisplayLevelsFor(const Frame& frame);

// The pixels alone as a 32-bit float FITS image, for the solver: none of the original
// header (an old WCS, odd keywords) can then mislead it. The reason when that fails.
[[nodiscard]] std::optional<std::string> WriteFitsPixels(const std::string& path,
                                                         const Frame& frame);

}  // namespace Pelindra::Solve
