#include "core/Validation.h"

namespace Pelindra::Core {

ParamsCheck ValidateParams(const TrackParams& params, Messages& messages) {
    // Written as "not greater than" so that a NaN is rejected too.
    if (!(params.PixSize > 0)) {
        messages.ShowError(std::string(kPixelSizeMessage));
        return ParamsCheck::Unusable;
    }
    if (!(params.TimeInterval > 0)) {
        messages.ShowError(std::string(kTimeIntervalMessage));
        return ParamsCheck::Unusable;
    }
    return ParamsCheck::Usable;
}

}  // namespace Pelindra::Core
