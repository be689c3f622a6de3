#include "core/Offsets.h"

#include <cmath>
#include <optional>

#include "core/DisplayPattern.h"
#include "core/Rounding.h"
#include "core/Validation.h"

namespace Pelindra::Core {

namespace {

// The order of the operations is part of the result; keep it as written.
double AxisOffset(const TrackParams& p, double trig) {
    return ((-static_cast<double>(p.Motion) * trig) * static_cast<double>(p.TimeInterval)) /
           static_cast<double>(p.PixSize) / 60.0;
}

}  // namespace

UpdateResult UpdateOffsets(TrackParams& params, OffsetDisplay& display, Messages& messages,
                           std::string_view decimalSeparator) {
    const double r = static_cast<double>(params.PA) * DegToRad;
    const std::optional<float> x = ToSingle(AxisOffset(params, std::sin(r)));
    const std::optional<float> y = ToSingle(AxisOffset(params, std::cos(r)));
    if (!x || !y) {
        messages.ShowError(std::string(kOverflowMessage));
        return UpdateResult::Overflow;
    }
    float X = *x;
    float Y = *y;

    // With a fork mount the West flags apply on both sides of the pier.
    if (params.MountType == -1 || params.EastWest == -1) {
        if (params.RaRevWest == 1) X = -X;
        if (params.DecRevWest == 1) Y = -Y;
    }
    if (params.MountType == 0 && params.EastWest == 0) {
        if (params.RARevEast == 1) X = -X;
        if (params.DecRevEast == 1) Y = -Y;
    }

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
