#include "core/IntervalRepair.h"

namespace Pelindra::Core {

std::optional<std::string_view> RepairInterval(float& timeInterval) {
    // Written as "not greater than" so that a NaN is repaired too.
    if (timeInterval > 0) return std::nullopt;
    timeInterval = 1;
    return kRepairedIntervalText;
}

}  // namespace Pelindra::Core
