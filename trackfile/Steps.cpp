#include "trackfile/Steps.h"

namespace Pelindra::TrackFile {

Steps ConstantSteps(const Core::TrackParams& params, int rowCount) {
    const float x = params.SignX == "+" ? params.DeltaX : -params.DeltaX;
    const float y = params.SignY == "+" ? params.DeltaY : -params.DeltaY;
    return Steps(static_cast<std::size_t>(rowCount > 0 ? rowCount : 0), Core::PixelOffset{x, y});
}

std::variant<Steps, std::string> FollowingSteps(const Ephemeris::Table&, Ephemeris::UtcMs,
                                                const Core::TrackParams&, int) {
    return std::string("following an ephemeris is not built yet");
}

std::optional<std::string> TrackTextFromSteps(const Steps&, std::string_view, std::string_view) {
    return std::nullopt;
}

}  // namespace Pelindra::TrackFile
