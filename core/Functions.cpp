#include "core/Functions.h"

namespace Functions {

TrackParams& Params() {
    static TrackParams params;
    return params;
}

}  // namespace Functions
