#pragma once

#include "core/TrackParams.h"
#include "fuzz/FuzzInput.h"

// Mount type, pier side and the four reversal flags from the next six bytes, each within
// the values the windows and the settings file can produce.
inline void TakeMount(FuzzInput& input, Pelindra::Core::TrackParams& params) {
    params.MountType = static_cast<std::int16_t>(-(input.Byte() & 1));
    params.EastWest = static_cast<std::int16_t>(-(input.Byte() & 1));
    params.RaRevWest = input.Byte() % 3;
    params.DecRevWest = input.Byte() % 3;
    params.RARevEast = input.Byte() % 3;
    params.DecRevEast = input.Byte() % 3;
}
