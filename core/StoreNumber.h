#pragma once

#include <string_view>

#include "core/Messages.h"

namespace Pelindra::Core {

enum class StoreResult { Stored, Overflow };

// Reads what was typed into a box and stores it, rounded to single, in a 32-bit field. A
// value beyond single range shows "Overflow" and leaves the field as it was.
[[nodiscard]] StoreResult StoreNumber(std::string_view text, float& field, Messages& messages);

}  // namespace Pelindra::Core
