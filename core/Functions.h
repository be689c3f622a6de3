#pragma once

#include "core/TrackParams.h"

namespace Functions {

// The one record shared by every window for the whole run.
TrackParams& Params();

}  // namespace Functions
