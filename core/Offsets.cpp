#include "core/Offsets.h"

#include <cmath>
#include <optional>

#include "core/DisplayPattern.h"
#include "core/Rounding.h"
#include "core/Validation.h"

namespace Pelindra::Core {

namespace {

// The order of the operations is part of the result; keep it as written.
double AxisOffset(const TrackParams& p, float motion, float intervalSeconds, double trig) {
    return ((-static_cast<double>(motion) * trig) * static_cast<double>(intervalSeconds)) /
           static_cast<double>(p.PixSize) / 60.0;
}

}  // namespace

std::optional<PixelOffset> OffsetFor(const TrackParams& setup, float motion, float positionAngle,
                                     float intervalSeconds) {
    // An angle of 0 leaves the position angle exactly as it was.
    const double r =
        (static_cast<double>(positionAngle) - static_cast<double>(setup.CameraAngle)) * DegToRad;
    const std::optional<float> x =
        ToSingle(AxisOffset(setup, motion, intervalSeconds, std::sin(r)));
    const std::optional<float> y =
        ToSingle(AxisOffset(setup, motion, intervalSeconds, std::cos(r)));
    if (!x || !y) return std::nullopt;
    return WithReversals(setup, PixelOffset{*x, *y});
}

PixelOffset WithReversals(const TrackParams& setup, PixelOffset offset) {
    // With a fork mount the West flags apply on both sides of the pier.
    if (setup.MountType == -1 || setup.EastWest == -1) {
        if (setup.RaRevWest == 1) offset.x = -offset.x;
        if (setup.DecRevWest == 1) offset.y = -offset.y;
    }
    if (setup.MountType == 0 && setup.EastWest == 0) {
        if (setup.RARevEast == 1) offset.x = -offset.x;
        if (setup.DecRevEast == 1) offset.y = -offset.y;
    }
    return offset;
}

UpdateResult UpdateOffsets(TrackParams& params, OffsetDisplay& display, Messages& messages,
                           std::string_view decimalSeparator) {
    const std::optional<PixelOffset> offset =
        OffsetFor(params, params.Motion, params.PA, params.TimeInterval);
    if (!offset) {
        messages.ShowError(std::string(kOverflowMessage));
        return UpdateResult::Overflow;
    }
    const float X = offset->x;
    const float Y = offset->y;

    // Zero, negative zero included, counts as "-".
    params.SignX.assign(1, X > 0 ? '+' : '-');
    params.SignY.assign(1, Y > 0 ? '+' : '-');
    params.DeltaX = std::fabs(X);
    params.DeltaY = std::fabs(Y);

    display.SetDeltaXCaption(params.SignX + FormatMagnitude(params.DeltaX, 2, decimalSeparator));
    display.SetDeltaYCaption(params.SignY + FormatMagnitude(params.DeltaY, 2, decimalSeparator));
    return UpdateResult::Shown;
}

UpdateResult ValidateAndUpdate(TrackParams& params, OffsetDisplay& display, Messages& messages,
                               std::string_view decimalSeparator) {
    if (ValidateParams(params, messages) == ParamsCheck::Unusable) {
        return UpdateResult::InvalidParams;
    }
    return UpdateOffsets(params, display, messages, decimalSeparator);
}

}  // namespace Pelindra::Core
