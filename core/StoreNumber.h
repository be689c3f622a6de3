#pragma once

#include <string_view>

#include "core/Messages.h"

// Reads a typed text with the number-reading rule and stores it, rounded to single, in
// a 32-bit field. A value beyond single range shows "Overflow", leaves the field as it
// was and returns false.
bool StoreNumber(std::string_view text, float& field, Messages& messages);

// The text a non-positive time interval is repaired to (the number text of 1).
inline constexpr std::string_view kRepairedIntervalText = " 1";
