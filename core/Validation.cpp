#include "core/Validation.h"

namespace Functions {

bool ValidateParams(const TrackParams& params, Messages& messages) {
    // Written as "not greater than" so that a NaN is rejected too.
    if (!(params.PixSize > 0)) {
        messages.ShowError(std::string(kPixelSizeMessage));
        return true;
    }
    if (!(params.TimeInterval > 0)) {
        messages.ShowError(std::string(kTimeIntervalMessage));
        return true;
    }
    return false;
}

}  // namespace Functions
